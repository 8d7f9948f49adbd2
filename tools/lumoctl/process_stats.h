#pragma once
// Handles, threads and private bytes of another process, for the soak's
// before-and-after figures. Wine implements some of the usual calls only for
// the calling process, so each figure has a second way of being read, and
// says which one gave it.
#include <windows.h>

#include <cstdint>

struct ProcessStats {
  // -1 where no way of reading the figure worked.
  long long handles = -1;
  long long threads = -1;
  long long private_bytes = -1;
  // Which call gave each figure ("none" when none did).
  const char* handles_from = "none";
  const char* threads_from = "none";
  const char* private_bytes_from = "none";
};

// False when the process cannot be opened at all.
bool ReadProcessStats(DWORD process_id, ProcessStats* stats);
