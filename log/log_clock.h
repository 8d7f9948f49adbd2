#pragma once
// The local clock as the log sees it, and the date helpers built on it. Inside
// the log folder only; other modules use TimeText from log_file.h.
#include <windows.h>

#include <cstdint>

// Reads the local time through the test seam, or GetLocalTime without one.
void ReadLogClock(SYSTEMTIME* now);
// The calendar date of a local time as one comparable number, YYYYMMDD.
uint32_t DateKey(const SYSTEMTIME& time);
