#pragma once
// What the restart guards take from outside: how often they look, and the
// local clock. The program uses the real clock and a one-minute check; the
// fault-test build (tests/faults/) links its own GuardSeams, which reads
// shorter checks and a shifted clock from a file in the program folder, so
// end-to-end tests need not wait a minute or until a set time of day.
#include <windows.h>

#include <cstdint>

inline constexpr DWORD kGuardCheckMs = 60 * 1000;

struct GuardSeams {
  DWORD check_ms = kGuardCheckMs;
  // The local clock in wall seconds (see daily_restart.h).
  int64_t (*wall_clock)() = nullptr;
};

// Read once when the guards start.
GuardSeams GetGuardSeams();
