#pragma once
// The daily restart: [local] dailyrestart=HH:MM restarts the program once a
// day at that local time, so a till that runs for weeks starts each day
// fresh. Times are "wall seconds": the local date and time as a count of
// seconds (days * 86400 + seconds of the day), as the clock on the wall
// shows it; a clock put forward past the time restarts at once, one put back
// does not restart twice.
#include <cstdint>
#include <string>

inline constexpr char kDailyRestartKey[] = "dailyrestart";
inline constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

// The value of dailyrestart read: whether the restart is on, its minute of the
// day, and for a value that could not be used a log text (the restart is off).
struct DailyTime {
  bool on = false;
  int minute_of_day = 0;
  std::string problem;
};
// "H:MM" or "HH:MM", 00:00 to 23:59, blanks around it allowed; empty = off.
DailyTime ParseDailyTime(const std::string& text);

// The local clock now in wall seconds.
int64_t LocalWallSeconds();

// The first moment at `minute_of_day` strictly after `after` (wall seconds).
int64_t NextDailyRestart(int64_t after, int minute_of_day);

// "reason:daily at:HH:MM".
std::string DailyRestartReason(int minute_of_day);
