#include "log/log_clock.h"

#include <atomic>
#include <string>

#include "log/log_file.h"

namespace {

// Read by every logging thread and the writer, swapped by tests.
std::atomic<LocalClock> g_clock{nullptr};

// The last two characters of "0" + number: always two digits for 0..99.
std::string TwoDigits(int number) {
  std::string text = "0" + std::to_string(number);
  return text.substr(text.size() - 2);
}

}  // namespace

void SetLogClockForTest(LocalClock clock) { g_clock.store(clock); }

void ReadLogClock(SYSTEMTIME* now) {
  LocalClock clock = g_clock.load();
  if (clock) {
    clock(now);
  } else {
    ::GetLocalTime(now);
  }
}

uint32_t DateKey(const SYSTEMTIME& time) {
  return time.wYear * 10000u + time.wMonth * 100u + time.wDay;
}

std::string TimeText(const SYSTEMTIME& time, TimeForm form) {
  if (form == TimeForm::kDate) {
    return std::to_string(time.wYear) + TwoDigits(time.wMonth) + TwoDigits(time.wDay);
  }
  return TwoDigits(time.wHour) + ":" + TwoDigits(time.wMinute) + ":" + TwoDigits(time.wSecond);
}
