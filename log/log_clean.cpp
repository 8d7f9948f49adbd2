// Deleting the day files of old months, once per run.
#include <atomic>
#include <string>

#include "log/log_clock.h"
#include "log/log_file.h"
#include "log/log_state.h"
#include "util/scoped_handle.h"

namespace {

constexpr char kDayFilePattern[] = "*.txt";
// A day file is named YYYYMMDD.txt: the month is at this offset.
constexpr size_t kMonthOffset = 4;

std::atomic<bool> g_clean_up_done{false};

// The month digits of a day file name; 0 for a name without two digits
// there, which the clean-up never deletes.
int MonthOfName(const std::string& name) {
  if (name.size() < kMonthOffset + 2) return 0;
  char tens = name[kMonthOffset];
  char ones = name[kMonthOffset + 1];
  if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return 0;
  return (tens - '0') * 10 + (ones - '0');
}

// Only the month is compared, so a file of the same month of an earlier year
// survives: the shop keeps at least the current and the last month.
bool IsOldMonth(int month, int current) {
  int previous = current == 1 ? 12 : current - 1;
  return month != 0 && month != current && month != previous;
}

void DeleteOldFiles(const std::string& directory, int current_month) {
  WIN32_FIND_DATAA found;
  ScopedFindHandle search(::FindFirstFileA((directory + kDayFilePattern).c_str(), &found));
  if (!search.IsValid()) return;
  do {
    if (LogIsStopping()) return;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (IsOldMonth(MonthOfName(found.cFileName), current_month)) {
      ::DeleteFileA((directory + found.cFileName).c_str());
    }
  } while (::FindNextFileA(search.Get(), &found));
}

}  // namespace

void CleanOldLogs() {
  // Before the first OpenLog there is no folder; "*.txt" alone would search
  // the current folder, so wait for a call that knows where the logs are.
  std::string directory = CurrentLogDirectory();
  if (directory.empty()) return;
  if (g_clean_up_done.exchange(true)) return;
  if (LogIsStopping()) return;
  SYSTEMTIME today;
  ReadLogClock(&today);
  DeleteOldFiles(directory, today.wMonth);
}

void ResetLogCleanUpForTest() { g_clean_up_done.store(false); }
