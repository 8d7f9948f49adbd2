// The program's own FaultPoint: does nothing. Kept alone in its file, so a
// program that defines FaultPoint itself (the fault-test build) never pulls
// this one from the library.
#include "util/fault_point.h"

void FaultPoint(FaultSite) {}
