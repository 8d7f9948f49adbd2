// The restart thread's pace: failed attempts are retried one pause apart
// until one succeeds, a browser that ran a while is replaced at once, one that
// just came up only after the pause, and stopping cuts a pause short.
#include "restart_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPauseMs = 300;

int MsSince(Clock::time_point from) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count());
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Requests once and waits until attempt number `count` has ended; the time it took.
int RequestAndWait(RestartLoop& loop, int count) {
  auto asked = Clock::now();
  loop.Request();
  while (loop.attempts() < count && MsSince(asked) < 10000) Sleep(2);
  return MsSince(asked);
}

TEST(RestartLoopTest, FailuresAreRetriedOnePauseApartAndALiveBrowserOnlyWhenItDies) {
  int failures = 3;
  RestartLoop loop([&] { return failures-- <= 0; });
  loop.set_pause_ms(kPauseMs);
  int took = RequestAndWait(loop, 4);
  // The first at once, then three fixed pauses (a growing back-off takes longer).
  EXPECT_GE(took, 3 * kPauseMs - 10);
  EXPECT_LT(took, 5 * kPauseMs);
  Sleep(kPauseMs * 2);
  EXPECT_EQ(loop.attempts(), 4);  // none after the success
  // Died after running longer than a pause: replaced at once; right after it
  // came up: after the pause.
  EXPECT_LT(RequestAndWait(loop, 5), kPauseMs / 2);
  EXPECT_GE(RequestAndWait(loop, 6), kPauseMs - 20);
}

TEST(RestartLoopTest, StopCutsThePauseShortAndEndsTheRetries) {
  RestartLoop loop([] { return false; });
  loop.set_pause_ms(60000);
  RequestAndWait(loop, 1);
  auto asked = Clock::now();
  loop.Stop();
  EXPECT_LT(MsSince(asked), 1000);
  EXPECT_TRUE(loop.stopping());
  loop.Request();
  Sleep(50);
  EXPECT_EQ(loop.attempts(), 1);
}

}  // namespace
