// The restart's command line and its cap.
#include <gtest/gtest.h>

#include "app/restart.h"

namespace {

TEST(RestartArgumentsTest, TheHistoryCrossesTheCommandLineWhole) {
  std::string arguments = RestartArguments(4242, {1700000000, 1700000123});
  RestartHistory history =
      ParseRestartArguments("\"C:\\pos\\Tarnlumo.exe\" " + arguments);
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

TEST(RecentRestartsTest, OnlyRestartsWithinTheLastTenMinutesCount) {
  const int64_t now = 1700001000;
  std::vector<int64_t> times = {now - 601, now - 600, now - 599, now - 1, now, now + 5};
  // Exactly ten minutes ago is out; a time in the future (a clock set back)
  // does not count either, so it can never keep the program down.
  EXPECT_EQ(RecentRestarts(times, now), (std::vector<int64_t>{now - 599, now - 1, now}));
  EXPECT_LT(RecentRestarts({now - 700, now - 650, now - 610}, now).size(), kMaxRestarts);
}

}  // namespace
