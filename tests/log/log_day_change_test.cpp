// The writer's change of day: the date is checked before every line.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "log/log_state.h"
#include "tests/log/log_test_support.h"

namespace {

std::atomic<DWORD> g_caller_thread{0};

// The caller's thread still sees the last second of 6 March; every other
// thread (the writer) already sees 7 March. The writer thus meets the new
// date before it writes, with no need to time anything.
void MidnightClock(SYSTEMTIME* now) {
  if (::GetCurrentThreadId() == g_caller_thread.load()) {
    *now = MakeTime(2026, 3, 6, 23, 59, 59);
  } else {
    *now = MakeTime(2026, 3, 7, 0, 0, 1);
  }
}

class LogDayChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTestClock(2026, 3, 6, 10, 0, 0);
    UseTestClock();
  }
  void TearDown() override {
    StopLog();
    SetLogClockForTest(nullptr);
  }
  std::string DayFile(const std::string& date) const {
    return folder_.path() + "log\\lumo_log\\" + date + ".txt";
  }
  bool Open() { return OpenLog("lumo", folder_.path()); }

  TempFolder folder_;
};

TEST_F(LogDayChangeTest, LineQueuedBeforeMidnightGoesIntoTheNewDaysFile) {
  g_caller_thread.store(::GetCurrentThreadId());
  SetLogClockForTest(&MidnightClock);
  ASSERT_TRUE(Open());
  ASSERT_TRUE(FileExists(DayFile("20260306")));
  WriteLog("day", "last of the day");
  // A stop would keep the line in the old file (see below), so let the
  // writer get to it first.
  ASSERT_TRUE(WaitUntil([&] { return !ReadWholeFile(DayFile("20260307")).empty(); }));
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260307")), "23:59:59->[day] last of the day\r\n");
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "");
}

TEST_F(LogDayChangeTest, EachDayGetsItsOwnFile) {
  ASSERT_TRUE(Open());
  WriteLog("day", "one");
  ASSERT_TRUE(WaitUntil([&] { return !ReadWholeFile(DayFile("20260306")).empty(); }));
  SetTestClock(2026, 3, 7, 0, 0, 2);
  WriteLog("day", "two");
  WriteLog("day", "three");
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(DayFile("20260307")).size() > 25; }));
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "10:00:00->[day] one\r\n");
  EXPECT_EQ(ReadWholeFile(DayFile("20260307")), "00:00:02->[day] two\r\n00:00:02->[day] three\r\n");
}

TEST_F(LogDayChangeTest, ClockSetBackAlsoChangesTheFile) {
  ASSERT_TRUE(Open());
  SetTestClock(2026, 3, 5, 9, 0, 0);
  WriteLog("day", "back");
  ASSERT_TRUE(WaitUntil([&] { return !ReadWholeFile(DayFile("20260305")).empty(); }));
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260305")), "09:00:00->[day] back\r\n");
}

TEST_F(LogDayChangeTest, FailedReopenTurnsLoggingOffUntilTheNextOpen) {
  ASSERT_TRUE(Open());
  // A folder where the new day's file should go makes its open fail.
  ASSERT_TRUE(::CreateDirectoryA(DayFile("20260307").c_str(), nullptr));
  SetTestClock(2026, 3, 7, 0, 0, 3);
  WriteLog("day", "lost");
  ASSERT_TRUE(WaitUntil([] { return !LogIsOn(); }));
  WriteLog("day", "dropped while off");
  EXPECT_FALSE(StopLog());

  // The writer and the wake-up event survive: a later open logs again.
  ASSERT_TRUE(::RemoveDirectoryA(DayFile("20260307").c_str()));
  ASSERT_TRUE(OpenLog());
  WriteLog("day", "back");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260307")), "00:00:03->[day] back\r\n");
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "");
}

TEST_F(LogDayChangeTest, LinesLeftAtAStopAcrossMidnightStayInTheOldFile) {
  g_caller_thread.store(::GetCurrentThreadId());
  SetLogClockForTest(&MidnightClock);
  ASSERT_TRUE(Open());
  // Many lines, so the stop begins while most still wait in the queue: the
  // reopen is refused during a stop and those lines end the old day's file.
  const int kLines = 3000;
  for (int i = 0; i < kLines; ++i) WriteLog("day", std::to_string(i));
  ASSERT_TRUE(StopLog());
  std::vector<std::string> old_day = SplitLines(ReadWholeFile(DayFile("20260306")));
  std::vector<std::string> new_day = SplitLines(ReadWholeFile(DayFile("20260307")));
  // Together, in order, exactly once: the new day's file takes a prefix.
  new_day.insert(new_day.end(), old_day.begin(), old_day.end());
  ASSERT_EQ(new_day.size(), static_cast<size_t>(kLines));
  for (int i = 0; i < kLines; ++i) ASSERT_EQ(new_day[i], "23:59:59->[day] " + std::to_string(i));
}

}  // namespace
