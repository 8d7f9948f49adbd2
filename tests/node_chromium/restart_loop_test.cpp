// The restart thread's pace: failed attempts are retried one pause apart
// until one succeeds, a browser that ran a while is replaced at once, one that
// just came up only after the pause, and stopping cuts a pause short. The
// pause is measured on a clock the test moves, so each decision is exact
// however slow the machine is; only bounds of seconds use the real clock.
#include "restart_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

using Clock = RestartLoop::Clock;
constexpr int kPauseMs = 200;
constexpr int kWaitLimitMs = 20000;

int MsSince(Clock::time_point from) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count());
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A clock that stands still until the test moves it.
class TestClock {
 public:
  Clock::time_point Now() const { return start_ + std::chrono::milliseconds(offset_ms_.load()); }
  void Advance(int ms) { offset_ms_ += ms; }

 private:
  const Clock::time_point start_ = Clock::now();
  std::atomic<int64_t> offset_ms_{0};
};

// Requests once and waits until attempt number `count` has ended; the real time it took.
int RequestAndWait(RestartLoop& loop, int count) {
  auto asked = Clock::now();
  loop.Request();
  while (loop.attempts() < count && MsSince(asked) < kWaitLimitMs) Sleep(2);
  EXPECT_EQ(loop.attempts(), count);
  return MsSince(asked);
}

TEST(RestartLoopTest, FailuresAreRetriedOnePauseApartAndALiveBrowserOnlyWhenItDies) {
  TestClock clock;
  int failures = 3;
  RestartLoop loop([&] { return failures-- <= 0; });
  loop.set_clock_for_test([&] { return clock.Now(); });
  loop.set_pause_ms(kPauseMs);
  int took = RequestAndWait(loop, 4);
  // The first at once, then three fixed pauses (a growing back-off waits longer).
  EXPECT_EQ(loop.waits_ms(), (std::vector<int>{0, kPauseMs, kPauseMs, kPauseMs}));
  // The pauses are really slept (a slow machine only makes this longer).
  EXPECT_GE(took, 3 * kPauseMs - 10);
  Sleep(kPauseMs * 3);
  EXPECT_EQ(loop.attempts(), 4);  // none after the success
  // Died after running longer than a pause: replaced at once.
  clock.Advance(kPauseMs + 1);
  RequestAndWait(loop, 5);
  EXPECT_EQ(loop.waits_ms().back(), 0);
  // Died after running for part of a pause: waits for the rest of it.
  clock.Advance(kPauseMs / 4);
  RequestAndWait(loop, 6);
  EXPECT_EQ(loop.waits_ms().back(), kPauseMs - kPauseMs / 4);
  // Died right after it came up: after a whole pause.
  took = RequestAndWait(loop, 7);
  EXPECT_EQ(loop.waits_ms().back(), kPauseMs);
  EXPECT_GE(took, kPauseMs - 10);
  EXPECT_EQ(loop.waits_ms().size(), 7u);
}

TEST(RestartLoopTest, StopCutsThePauseShortAndEndsTheRetries) {
  RestartLoop loop([] { return false; });
  // Ten minutes: a Stop that waited the pause out would fail the bound below.
  loop.set_pause_ms(600000);
  RequestAndWait(loop, 1);
  auto asked = Clock::now();
  loop.Stop();
  EXPECT_LT(MsSince(asked), 10000);
  EXPECT_TRUE(loop.stopping());
  loop.Request();
  Sleep(200);
  EXPECT_EQ(loop.attempts(), 1);
}

}  // namespace
