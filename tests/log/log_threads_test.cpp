// Many threads logging at once: every line once, whole and in queue order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/log_file.h"
#include "tests/log/log_test_support.h"

namespace {

constexpr int kThreads = 8;
constexpr int kLinesPerThread = 1500;

class LogThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTestClock(2026, 3, 6, 12, 0, 0);
    UseTestClock();
    ASSERT_TRUE(OpenLog("lumo", folder_.path()));
  }
  void TearDown() override {
    StopLog();
    SetLogClockForTest(nullptr);
  }
  std::vector<std::string> Lines() const {
    return SplitLines(ReadWholeFile(folder_.path() + "log\\lumo_log\\20260306.txt"));
  }

  TempFolder folder_;
};

// Reads "12:00:00->[t] <thread> <n>"; false for anything else (a torn or
// merged line).
bool ParseLine(const std::string& line, int* thread, int* number) {
  char tail = 0;
  return std::sscanf(line.c_str(), "12:00:00->[t] %d %d%c", thread, number, &tail) == 2;
}

void RunThreads(const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(body, t);
  for (std::thread& thread : threads) thread.join();
}

// Each thread's numbers must be 0, 1, 2, ... with no gap and no repeat;
// returns how many lines each thread got into the file.
std::vector<int> CheckPerThreadOrder(const std::vector<std::string>& lines) {
  std::vector<int> next(kThreads, 0);
  for (const std::string& line : lines) {
    int thread = -1;
    int number = -1;
    EXPECT_TRUE(ParseLine(line, &thread, &number)) << line;
    if (thread < 0 || thread >= kThreads) continue;
    EXPECT_EQ(number, next[thread]) << "thread " << thread;
    next[thread] = number + 1;
  }
  return next;
}

TEST_F(LogThreadsTest, EveryLineOfEveryThreadArrivesOnceWholeAndInOrder) {
  RunThreads([](int t) {
    for (int n = 0; n < kLinesPerThread; ++n) {
      WriteLog("t", std::to_string(t) + " " + std::to_string(n));
    }
  });
  ASSERT_TRUE(StopLog());
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesPerThread));
  for (int count : CheckPerThreadOrder(lines)) EXPECT_EQ(count, kLinesPerThread);
}

// No line waits for the stop to be written: the writer is woken for every
// line that finds it idle, in bursts and one at a time alike.
TEST_F(LogThreadsTest, EveryLineReachesTheFileWithoutAStop) {
  RunThreads([](int t) {
    for (int n = 0; n < kLinesPerThread; ++n) {
      WriteLog("t", std::to_string(t) + " " + std::to_string(n));
      if (n % 100 == 0) ::Sleep(1);
    }
  });
  size_t all = static_cast<size_t>(kThreads * kLinesPerThread);
  EXPECT_TRUE(WaitUntil([&] { return Lines().size() == all; }, 10000)) << Lines().size();
  for (int round = 0; round < 50; ++round) {
    WriteLog("t", "0 " + std::to_string(kLinesPerThread + round));
    ASSERT_TRUE(WaitUntil([&] { return Lines().size() == all + round + 1; }, 5000))
        << "line " << round << " of a quiet log was not written";
  }
  ASSERT_TRUE(StopLog());
  std::vector<int> counts = CheckPerThreadOrder(Lines());
  EXPECT_EQ(counts[0], kLinesPerThread + 50);
}

TEST_F(LogThreadsTest, FileOrderIsQueueOrder) {
  // The test's own lock makes the order of entering the queue known: the
  // sequence number taken with it.
  std::mutex order;
  int sequence = 0;
  RunThreads([&](int t) {
    for (int n = 0; n < kLinesPerThread / 4; ++n) {
      std::lock_guard<std::mutex> hold(order);
      WriteLog("t", std::to_string(t) + " " + std::to_string(sequence++));
    }
  });
  ASSERT_TRUE(StopLog());
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(sequence));
  for (int i = 0; i < sequence; ++i) {
    int thread = -1;
    int number = -1;
    ASSERT_TRUE(ParseLine(lines[i], &thread, &number)) << lines[i];
    ASSERT_EQ(number, i);
  }
}

// One round: writers run while the log stops. A line whose WriteLog returned
// before the stop began must be on disk; once a thread's line is refused, so
// are its later ones, so each thread shows a gapless run from 0.
void StopWhileWriting(const std::string& day_file) {
  std::atomic<bool> stop_begun{false};
  std::vector<int> queued_before_stop(kThreads, 0);
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int n = 0; n < kLinesPerThread / 10; ++n) {
        WriteLog("t", std::to_string(t) + " " + std::to_string(n));
        if (!stop_begun.load()) queued_before_stop[t] = n + 1;
      }
    });
  }
  ::Sleep(1);
  stop_begun.store(true);
  bool stopped = StopLog();
  for (std::thread& writer : writers) writer.join();
  ASSERT_TRUE(stopped);
  std::vector<std::string> lines = SplitLines(ReadWholeFile(day_file));
  std::vector<int> counts = CheckPerThreadOrder(lines);
  size_t total = 0;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_GE(counts[t], queued_before_stop[t]) << "thread " << t;
    total += counts[t];
  }
  EXPECT_EQ(lines.size(), total);
}

TEST_F(LogThreadsTest, StopDuringWritesKeepsEveryLineQueuedBeforeIt) {
  // The race between the writer's last look at the queue and the stop is
  // narrow; many rounds give it many chances to show.
  const int kRounds = 30;
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    // Each later round opens a folder of its own, so every file holds one
    // round's lines.
    std::string base = folder_.path();
    if (round > 0) {
      base += "round" + std::to_string(round) + "\\";
      ASSERT_TRUE(OpenLog("lumo", base));
    }
    StopWhileWriting(base + "log\\lumo_log\\20260306.txt");
  }
}

}  // namespace
