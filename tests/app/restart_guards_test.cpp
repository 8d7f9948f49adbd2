// The restart guards' settings, their "is it time" logic on a clock the test
// drives, and the private-bytes reading on a process that really grows.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/daily_restart.h"
#include "app/memory_guard.h"
#include "app/orderly_restart.h"
#include "app/restart.h"

namespace {

constexpr int64_t kDay = 20000 * kSecondsPerDay;  // some day, at midnight
constexpr uint64_t kMb = 1024 * 1024;

int64_t At(int day, int h, int m, int s) {
  return kDay + day * kSecondsPerDay + h * 3600 + m * 60 + s;
}

TEST(MemoryLimitSetting, MissingOrBlankIsTheDefaultWithoutComplaint) {
  for (const char* text : {"", "  ", "\t"}) {
    MemoryLimit limit = ParseMemoryLimit(text, 1400);
    EXPECT_EQ(limit.mb, 1400u) << text;
    EXPECT_EQ(limit.problem, "") << text;
  }
}

TEST(MemoryLimitSetting, ZeroTurnsTheGuardOffAndNumbersAreTaken) {
  EXPECT_EQ(ParseMemoryLimit("0", 1400).mb, 0u);
  EXPECT_EQ(ParseMemoryLimit("2048", 1400).mb, 2048u);
  EXPECT_EQ(ParseMemoryLimit(" 300 ", 1400).mb, 300u);
  EXPECT_EQ(ParseMemoryLimit("64", 1400).mb, 64u);
  EXPECT_EQ(ParseMemoryLimit("2048", 1400).problem, "");
}

TEST(MemoryLimitSetting, BadValuesAreNamedAndTheDefaultApplies) {
  for (const char* text : {"abc", "-5", "1500MB", "1.5", "63", "99999999", "12 34"}) {
    MemoryLimit limit = ParseMemoryLimit(text, 4096);
    EXPECT_EQ(limit.mb, 4096u) << text;
    EXPECT_NE(limit.problem.find(std::string("maxmemorymb=") + text), std::string::npos)
        << limit.problem;
    EXPECT_NE(limit.problem.find("4096MB"), std::string::npos) << limit.problem;
  }
}

TEST(MemoryLimitSetting, DefaultFollowsTheTarget) {
  EXPECT_EQ(DefaultMemoryLimitMb(), sizeof(void*) == 4 ? 1400u : 4096u);
}

TEST(MemoryRestartReason, OnlyAboveTheLimit) {
  EXPECT_EQ(MemoryRestartReason(1400 * kMb, 1400), "");
  EXPECT_EQ(MemoryRestartReason(1523 * kMb + 5, 1400), "reason:memory private:1523MB limit:1400MB");
  EXPECT_EQ(MemoryRestartReason(1400 * kMb + 1, 1400), "reason:memory private:1400MB limit:1400MB");
  EXPECT_EQ(MemoryRestartReason(100000 * kMb, 0), "");
}

TEST(DailyTimeSetting, ClockTimesAreMinutesOfTheDay) {
  EXPECT_EQ(ParseDailyTime("03:30").minute_of_day, 210);
  EXPECT_EQ(ParseDailyTime("3:30").minute_of_day, 210);
  EXPECT_EQ(ParseDailyTime(" 23:59 ").minute_of_day, 1439);
  EXPECT_TRUE(ParseDailyTime("00:00").on);
  EXPECT_EQ(ParseDailyTime("00:00").minute_of_day, 0);
  EXPECT_EQ(ParseDailyTime("03:30").problem, "");
}

TEST(DailyTimeSetting, EmptyIsOffWithoutComplaint) {
  DailyTime daily = ParseDailyTime("");
  EXPECT_FALSE(daily.on);
  EXPECT_EQ(daily.problem, "");
}

TEST(DailyTimeSetting, BadValuesAreNamedAndTurnItOff) {
  for (const char* text :
       {"24:00", "12:60", "12:5", "1230", "ab:cd", "12:30:00", ":30", "-1:30", "123:00", "3h"}) {
    DailyTime daily = ParseDailyTime(text);
    EXPECT_FALSE(daily.on) << text;
    EXPECT_NE(daily.problem.find(std::string("dailyrestart=") + text), std::string::npos)
        << daily.problem;
  }
}

TEST(NextDailyRestart, IsTheFirstSuchMomentStrictlyAfter) {
  EXPECT_EQ(NextDailyRestart(At(0, 3, 29, 59), 210), At(0, 3, 30, 0));
  EXPECT_EQ(NextDailyRestart(At(0, 3, 30, 0), 210), At(1, 3, 30, 0));
  EXPECT_EQ(NextDailyRestart(At(0, 3, 30, 5), 210), At(1, 3, 30, 0));
  EXPECT_EQ(NextDailyRestart(At(0, 23, 0, 0), 0), At(1, 0, 0, 0));
  EXPECT_EQ(NextDailyRestart(At(0, 0, 0, 0), 0), At(1, 0, 0, 0));
}

TEST(DueRestartReason, DailyOnlyFromItsMoment) {
  GuardPlan plan;
  plan.daily = true;
  plan.daily_minute = 210;
  plan.daily_due = NextDailyRestart(At(0, 12, 0, 0), 210);
  EXPECT_EQ(DueRestartReason(plan, 0, At(1, 3, 29, 59)), "");
  EXPECT_EQ(DueRestartReason(plan, 0, At(1, 3, 30, 0)), "reason:daily at:03:30");
  // A clock put forward past the time restarts at the next check.
  EXPECT_EQ(DueRestartReason(plan, 0, At(3, 9, 0, 0)), "reason:daily at:03:30");
  plan.daily = false;
  EXPECT_EQ(DueRestartReason(plan, 0, At(3, 9, 0, 0)), "");
}

TEST(DueRestartReason, MemoryComesFirst) {
  GuardPlan plan;
  plan.memory_limit_mb = 300;
  plan.daily = true;
  plan.daily_minute = 210;
  plan.daily_due = At(0, 3, 30, 0);
  EXPECT_EQ(DueRestartReason(plan, 301 * kMb, At(0, 4, 0, 0)),
            "reason:memory private:301MB limit:300MB");
  EXPECT_EQ(DueRestartReason(plan, 300 * kMb, At(0, 3, 0, 0)), "");
}

// A run checked once a minute over two days and a half on a driven clock:
// started by a daily restart just after the time, it restarts once a day and
// never twice for the same day.
TEST(DueRestartReason, OnceADayWhenCheckedEveryMinute) {
  GuardPlan plan;
  plan.daily = true;
  plan.daily_minute = 210;
  int64_t start = At(0, 3, 30, 2);
  plan.daily_due = NextDailyRestart(start, 210);
  std::vector<int64_t> restarts;
  for (int64_t now = start; now < start + 60 * 3600; now += 60) {
    if (DueRestartReason(plan, 0, now).empty()) continue;
    restarts.push_back(now);
    plan.daily_due = NextDailyRestart(now, 210);  // the copy that replaces it starts now
  }
  ASSERT_EQ(restarts.size(), 2u);
  EXPECT_EQ(restarts[0], At(1, 3, 30, 2));
  EXPECT_EQ(restarts[1], At(2, 3, 30, 2));
}

TEST(GuardVerdict, WaitsForTheRunningCommandThenRestartsOnce) {
  GuardVerdict verdict;
  EXPECT_EQ(verdict.Decide("", false), "");
  EXPECT_EQ(verdict.Decide("reason:daily at:03:30", true), "");
  EXPECT_TRUE(verdict.Pending());
  // Still running, and the memory fell back meanwhile: the reason is kept.
  EXPECT_EQ(verdict.Decide("", true), "");
  EXPECT_EQ(verdict.Decide("", false), "reason:daily at:03:30");
  EXPECT_FALSE(verdict.Pending());
  EXPECT_EQ(verdict.Decide("", false), "");
  EXPECT_EQ(verdict.Decide("reason:memory private:2MB limit:1MB", false),
            "reason:memory private:2MB limit:1MB");
}

TEST(PageCommandScope, MarksTheCommandWhileItRuns) {
  EXPECT_FALSE(PageCommandRunning());
  {
    PageCommandScope outer;
    EXPECT_TRUE(PageCommandRunning());
    {
      PageCommandScope nested;  // a command that runs script calling another
    }
    EXPECT_TRUE(PageCommandRunning());
  }
  EXPECT_FALSE(PageCommandRunning());
}

TEST(PlannedRestartArguments, CarryTheFatalRestartsButAddNone) {
  const int64_t now = 1800000000;
  std::string arguments = PlannedRestartArguments(4242, {now - 700, now - 300, now - 20}, now);
  RestartHistory history = ParseRestartArguments("\"C:\\x\\Tarnlumo.exe\" " + arguments);
  // The new copy waits for this process ...
  EXPECT_EQ(history.previous_process, 4242u);
  EXPECT_FALSE(history.after_abrupt_end);
  // ... and sees the two fatal restarts still within the window, not a third.
  EXPECT_EQ(history.times, (std::vector<int64_t>{now - 300, now - 20}));
  EXPECT_EQ(RecentRestarts(history.times, now).size(), 2u);
  // With no fatal restart before it, the copy starts with a clean slate.
  EXPECT_TRUE(ParseRestartArguments("x " + PlannedRestartArguments(7, {}, now)).times.empty());
  EXPECT_EQ(ParseRestartArguments("x " + PlannedRestartArguments(7, {}, now)).previous_process, 7u);
}

TEST(LocalWallSeconds, ShowsTheLocalTimeOfDay) {
  SYSTEMTIME before;
  ::GetLocalTime(&before);
  int64_t wall = LocalWallSeconds();
  int of_day = before.wHour * 3600 + before.wMinute * 60 + before.wSecond;
  int64_t difference = (wall % kSecondsPerDay - of_day + kSecondsPerDay) % kSecondsPerDay;
  EXPECT_LE(difference, 2) << wall;
}

TEST(ReadPrivateBytes, GrowsWithMemoryInUse) {
  uint64_t before = 0;
  ASSERT_TRUE(ReadPrivateBytes(&before));
  const size_t size = 128 * kMb;
  char* block =
      static_cast<char*>(::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  for (size_t at = 0; at < size; at += 4096) block[at] = 1;
  uint64_t after = 0;
  ASSERT_TRUE(ReadPrivateBytes(&after));
  ::VirtualFree(block, 0, MEM_RELEASE);
  EXPECT_GE(after, before + 120 * kMb) << before << " -> " << after;
}

}  // namespace
