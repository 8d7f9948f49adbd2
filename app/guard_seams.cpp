// The program's GuardSeams: the real clock, a check a minute. Kept alone in
// its file, so a program that defines GetGuardSeams itself (the fault-test
// build) never pulls this one from the library.
#include "app/guard_seams.h"

#include "app/daily_restart.h"

GuardSeams GetGuardSeams() {
  GuardSeams seams;
  seams.wall_clock = LocalWallSeconds;
  return seams;
}
