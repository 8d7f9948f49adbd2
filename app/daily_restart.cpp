#include "app/daily_restart.h"

#include <windows.h>

#include <cstdio>

#include "app/guard_text.h"
#include "net/url_text.h"

namespace {

// FILETIME counts 100 ns steps.
constexpr int64_t kFileTimeStepsPerSecond = 10000000;

bool ParseClockPart(const std::string& text, size_t min_digits, uint64_t limit, int* value) {
  uint64_t number = 0;
  if (text.size() < min_digits || text.size() > 2 || !ParseDecimal(text, &number)) return false;
  if (number >= limit) return false;
  *value = static_cast<int>(number);
  return true;
}

std::string ClockText(int minute_of_day) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02d:%02d", minute_of_day / 60, minute_of_day % 60);
  return text;
}

}  // namespace

DailyTime ParseDailyTime(const std::string& text) {
  DailyTime daily;
  std::string value = TrimBlanksAndControls(text);
  if (value.empty()) return daily;
  size_t colon = value.find(':');
  int hour = 0;
  int minute = 0;
  if (colon != std::string::npos && ParseClockPart(value.substr(0, colon), 1, 24, &hour) &&
      ParseClockPart(value.substr(colon + 1), 2, 60, &minute)) {
    daily.on = true;
    daily.minute_of_day = hour * 60 + minute;
    return daily;
  }
  daily.problem = std::string(kDailyRestartKey) + "=" + text + " 无效(应为 HH:MM),每日重启关闭";
  return daily;
}

int64_t LocalWallSeconds() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  FILETIME wall;
  if (!::SystemTimeToFileTime(&local, &wall)) return 0;
  ULARGE_INTEGER steps;
  steps.LowPart = wall.dwLowDateTime;
  steps.HighPart = wall.dwHighDateTime;
  return static_cast<int64_t>(steps.QuadPart / kFileTimeStepsPerSecond);
}

int64_t NextDailyRestart(int64_t after, int minute_of_day) {
  int64_t day_start = after - after % kSecondsPerDay;
  int64_t at = day_start + static_cast<int64_t>(minute_of_day) * 60;
  return at > after ? at : at + kSecondsPerDay;
}

std::string DailyRestartReason(int minute_of_day) {
  return "reason:daily at:" + ClockText(minute_of_day);
}
