// The restart thread's pace: failed attempts are retried one pause apart
// until one succeeds, a browser that ran for a while is replaced at once, and
// stopping cuts a pause short.
#include "restart_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPauseMs = 300;

int MsBetween(Clock::time_point from, Clock::time_point to) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

template <typename Done>
bool WaitFor(Done done, int timeout_ms = 5000) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Attempts that fail until the `failures`-th one, recording when each started.
struct Attempts {
  std::mutex lock;
  std::vector<Clock::time_point> started;
  int failures = 0;
  bool Run() {
    std::lock_guard<std::mutex> hold(lock);
    started.push_back(Clock::now());
    return static_cast<int>(started.size()) > failures;
  }
  size_t count() {
    std::lock_guard<std::mutex> hold(lock);
    return started.size();
  }
};

TEST(RestartLoopTest, FailedAttemptsAreRetriedOnePauseApartUntilOneSucceeds) {
  Attempts attempts;
  attempts.failures = 3;
  RestartLoop loop([&] { return attempts.Run(); });
  loop.set_pause_ms(kPauseMs);
  auto asked = Clock::now();
  loop.Request();
  ASSERT_TRUE(WaitFor([&] { return loop.attempts() == 4; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs * 3));
  EXPECT_EQ(loop.attempts(), 4);                                   // none after the success
  EXPECT_LT(MsBetween(asked, attempts.started[0]), kPauseMs / 2);  // the first at once
  for (size_t i = 1; i < attempts.started.size(); ++i) {
    int gap = MsBetween(attempts.started[i - 1], attempts.started[i]);
    EXPECT_GE(gap, kPauseMs - 5) << i;  // fixed, not growing
    EXPECT_LT(gap, kPauseMs * 3) << i;
  }
}

TEST(RestartLoopTest, ABrowserThatRanAPauseIsReplacedAtOnceOneThatJustStartedAfterThePause) {
  Attempts attempts;
  RestartLoop loop([&] { return attempts.Run(); });
  loop.set_pause_ms(kPauseMs);
  loop.Request();
  ASSERT_TRUE(WaitFor([&] { return loop.attempts() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs * 2));
  auto died = Clock::now();
  loop.Request();
  ASSERT_TRUE(WaitFor([&] { return loop.attempts() == 2; }));
  EXPECT_LT(MsBetween(died, attempts.started[1]), kPauseMs / 2);
  died = Clock::now();
  loop.Request();  // dies right after it came up
  ASSERT_TRUE(WaitFor([&] { return loop.attempts() == 3; }));
  EXPECT_GE(MsBetween(died, attempts.started[2]), kPauseMs - 20);
}

TEST(RestartLoopTest, StopCutsThePauseShortAndEndsTheRetries) {
  Attempts attempts;
  attempts.failures = 1000;
  RestartLoop loop([&] { return attempts.Run(); });
  loop.set_pause_ms(60000);
  loop.Request();
  ASSERT_TRUE(WaitFor([&] { return loop.attempts() == 1; }));
  auto asked = Clock::now();
  loop.Stop();
  EXPECT_LT(MsBetween(asked, Clock::now()), 1000);
  EXPECT_TRUE(loop.stopping());
  loop.Request();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(attempts.count(), 1u);
}

}  // namespace
