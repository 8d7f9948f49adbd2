// The fault-test build's GuardSeams, read from files in the program folder:
//   guard-test.txt  lines "check-ms <ms>" (the guards' check interval) and
//                   "clock <HH:MM:SS> <unix seconds>" (the local clock showed
//                   HH:MM:SS at that moment and runs on from it). The file
//                   stays, so a copy the guards started keeps the same clock.
//   allocate.txt    "<MB>": that much private memory is committed and written
//                   once when the guards start, then the file is deleted, so
//                   the memory guard sees a real process grow and the copy
//                   that replaces it runs normally.
#include <windows.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "app/daily_restart.h"
#include "app/guard_seams.h"
#include "app/system_utils.h"

namespace {

// Any day will do: only the time of day and its passing matter.
constexpr int64_t kShiftedDay = 1000;

int64_t g_clock_at = 0;      // wall seconds shown at g_clock_anchor
int64_t g_clock_anchor = 0;  // unix seconds

int64_t ShiftedClock() {
  return g_clock_at + (static_cast<int64_t>(std::time(nullptr)) - g_clock_anchor);
}

bool ParseClock(const std::string& hms, int64_t* seconds) {
  int h = 0, m = 0, s = 0;
  char c1 = 0, c2 = 0;
  std::istringstream in(hms);
  if (!(in >> h >> c1 >> m >> c2 >> s) || c1 != ':' || c2 != ':') return false;
  *seconds = h * 3600 + m * 60 + s;
  return true;
}

void AllocateOnce(const std::string& folder) {
  std::string path = folder + "allocate.txt";
  std::ifstream file(path);
  size_t mb = 0;
  if (!(file >> mb) || mb == 0) return;
  file.close();
  ::DeleteFileA(path.c_str());
  size_t bytes = mb * 1024 * 1024;
  char* block =
      static_cast<char*>(::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (block == nullptr) return;
  // Written, not only committed: the memory is really in use. Never freed.
  for (size_t at = 0; at < bytes; at += 4096) block[at] = 1;
}

}  // namespace

GuardSeams GetGuardSeams() {
  GuardSeams seams;
  seams.wall_clock = LocalWallSeconds;
  std::string folder = ProcessDirectory();
  std::ifstream file(folder + "guard-test.txt");
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "check-ms") {
      unsigned long ms = 0;
      if (words >> ms && ms > 0) seams.check_ms = static_cast<DWORD>(ms);
    } else if (key == "clock") {
      std::string hms;
      long long anchor = 0;
      int64_t seconds = 0;
      if (words >> hms >> anchor && ParseClock(hms, &seconds)) {
        g_clock_at = kShiftedDay * kSecondsPerDay + seconds;
        g_clock_anchor = anchor;
        seams.wall_clock = ShiftedClock;
      }
    }
  }
  AllocateOnce(folder);
  return seams;
}
