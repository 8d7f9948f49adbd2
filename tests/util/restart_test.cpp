// The restart's command line and its cap.
#include "app/restart.h"

#include <gtest/gtest.h>

#include "app/watcher.h"

namespace {

TEST(RestartArgumentsTest, TheHistoryCrossesTheCommandLineWhole) {
  std::string arguments = RestartArguments(4242, {1700000000, 1700000123});
  RestartHistory history = ParseRestartArguments("\"C:\\pos\\Tarnlumo.exe\" " + arguments);
  EXPECT_EQ(history.previous_process, 4242u);
  EXPECT_EQ(history.times, (std::vector<int64_t>{1700000000, 1700000123}));
}

TEST(RestartArgumentsTest, ANormalOrGarbledCommandLineIsANormalStart) {
  for (const char* line : {"\"C:\\pos\\Tarnlumo.exe\"", "Tarnlumo.exe --restarted-after",
                           "Tarnlumo.exe --restarted-after x 12"}) {
    RestartHistory history = ParseRestartArguments(line);
    EXPECT_EQ(history.previous_process, 0u) << line;
    EXPECT_TRUE(history.times.empty()) << line;
  }
}

TEST(RestartArgumentsTest, ACopyTheWatcherStartedKnowsTheEndItReplaces) {
  std::string line = "\"C:\\pos\\Tarnlumo.exe\" " + RestartArguments(4242, {1700000000}) + " " +
                     kAbruptEndMarker + " 9";
  RestartHistory history = ParseRestartArguments(line);
  EXPECT_EQ(history.previous_process, 4242u);
  EXPECT_EQ(history.times, (std::vector<int64_t>{1700000000}));
  EXPECT_TRUE(history.after_abrupt_end);
  EXPECT_EQ(history.abrupt_exit_code, 9u);
  // The fatal path's restart is no abrupt end.
  EXPECT_FALSE(
      ParseRestartArguments("Tarnlumo.exe " + RestartArguments(4242, {1})).after_abrupt_end);
}

TEST(WatcherArgumentsTest, TheWatcherIsToldItsProgramAndTheRunsRestarts) {
  std::string line =
      "\"C:\\pos\\Tarnlumo.exe\" " + HistoryArguments(kWatchMarker, 777, {1700000000, 1700000050});
  EXPECT_TRUE(IsWatcherCommandLine(line));
  RestartHistory watched = ParseHistoryAfter(line, kWatchMarker);
  EXPECT_EQ(watched.previous_process, 777u);
  EXPECT_EQ(watched.times, (std::vector<int64_t>{1700000000, 1700000050}));
  // Neither a normal start nor a restarted copy is a watcher.
  EXPECT_FALSE(IsWatcherCommandLine("\"C:\\pos\\Tarnlumo.exe\""));
  EXPECT_FALSE(IsWatcherCommandLine("Tarnlumo.exe " + RestartArguments(777, {1})));
  EXPECT_EQ(ParseRestartArguments(line).previous_process, 0u);
  EXPECT_EQ(StandDownEventName(777), "TarnlumoWatch-777");
}

TEST(RecentRestartsTest, OnlyRestartsWithinTheLastTenMinutesCount) {
  const int64_t now = 1700001000;
  std::vector<int64_t> times = {now - 601, now - 600, now - 599, now - 1, now, now + 5};
  // Exactly ten minutes ago is out; a time in the future (a clock set back)
  // does not count either, so it can never keep the program down.
  EXPECT_EQ(RecentRestarts(times, now), (std::vector<int64_t>{now - 599, now - 1, now}));
  // Restarts that are all older than the window leave nothing to count.
  EXPECT_TRUE(RecentRestarts({now - 700, now - 650, now - 610}, now).empty());
}

TEST(RecentRestartsTest, TheCapIsReachedOnlyByEnoughRestartsWithinTheWindow) {
  const int64_t now = 1700001000;
  // One restart fewer than the cap within the window, two more just outside it.
  std::vector<int64_t> times = {now - 900, now - 600};
  for (size_t i = 1; i < kMaxRestarts; ++i) times.push_back(now - static_cast<int64_t>(i));
  EXPECT_EQ(RecentRestarts(times, now).size(), kMaxRestarts - 1);
  times.push_back(now - 599);
  EXPECT_EQ(RecentRestarts(times, now).size(), kMaxRestarts);
}

}  // namespace
