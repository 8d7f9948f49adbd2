// A log writer stuck while it holds the file lock: a stop and a flush still
// end in time, with every queued line in the file, and never close the
// handle under the stuck writer. The writer is stopped for real, on its own
// thread, at the place it holds the lock: this test program links its own
// FaultPoint.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log/log_file.h"
#include "log/log_state.h"
#include "tests/log/log_test_support.h"
#include "util/fault_point.h"

namespace {

std::atomic<bool> g_stick{false};
// Set by the writer once stuck; the test sets g_unstick to let it go on.
HANDLE g_stuck = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
HANDLE g_unstick = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);

}  // namespace

void FaultPoint(FaultSite site) {
  if (site != FaultSite::kLogWriterLocked || !g_stick.exchange(false)) return;
  ::SetEvent(g_stuck);
  ::WaitForSingleObject(g_unstick, INFINITE);
}

namespace {

// A stop's time in the tests; the bound it is checked against leaves Wine
// seconds of room, yet is far below what waiting once per line would take.
constexpr DWORD kStopMs = 2000;
constexpr DWORD kStopBoundMs = kStopMs + 4000;
constexpr int kQueuedLines = 30;

class LogStuckWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::ResetEvent(g_stuck);
    ::ResetEvent(g_unstick);
    SetTestClock(2026, 3, 6, 8, 30, 5);
    UseTestClock();
    ASSERT_TRUE(OpenLog("lumo", folder_.path()));
  }
  void TearDown() override {
    g_stick = false;
    ::SetEvent(g_unstick);
    StopLog();
    SetLogClockForTest(nullptr);
  }
  std::string DayFile() const { return folder_.path() + "log\\lumo_log\\20260306.txt"; }
  // Writes one line and leaves the writer stuck, holding the file lock,
  // right after it wrote that line.
  void StickTheWriter() {
    g_stick = true;
    WriteLog("before", "stuck");
    ASSERT_EQ(::WaitForSingleObject(g_stuck, 20000), WAIT_OBJECT_0) << "the writer never stuck";
  }
  static void QueueLines() {
    for (int i = 0; i < kQueuedLines; ++i) WriteLog("queued", std::to_string(i));
  }
  static std::vector<std::string> ExpectedLines() {
    std::vector<std::string> lines = {"08:30:05->[before] stuck"};
    for (int i = 0; i < kQueuedLines; ++i)
      lines.push_back("08:30:05->[queued] " + std::to_string(i));
    return lines;
  }

  TempFolder folder_;
};

TEST_F(LogStuckWriterTest, StopEndsInTimeWithEveryLineInTheFile) {
  StickTheWriter();
  QueueLines();
  DWORD start = ::GetTickCount();
  EXPECT_TRUE(StopLog(kStopMs));
  DWORD took = ::GetTickCount() - start;
  EXPECT_LT(took, kStopBoundMs);
  EXPECT_FALSE(LogIsOn());
  EXPECT_FALSE(LogIsStopping());
  EXPECT_EQ(SplitLines(ReadWholeFile(DayFile())), ExpectedLines());
}

// True when nothing else has the file open: an open that shares nothing
// fails while any other handle to it is open.
bool NobodyElseHasItOpen(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

TEST_F(LogStuckWriterTest, TheStuckWritersHandleStaysOpenUntilItLeaves) {
  StickTheWriter();
  QueueLines();
  ASSERT_TRUE(StopLog(kStopMs));
  // The stop closed its own handle but not the one the writer is using.
  EXPECT_FALSE(NobodyElseHasItOpen(DayFile()));
  // Let go, the writer sees it was left behind, closes its handle itself
  // and writes nothing more.
  ::SetEvent(g_unstick);
  EXPECT_TRUE(WaitUntil([&] { return NobodyElseHasItOpen(DayFile()); }, 10000));
  EXPECT_EQ(SplitLines(ReadWholeFile(DayFile())), ExpectedLines());
}

TEST_F(LogStuckWriterTest, AfterANormalStopNothingKeepsTheFileOpen) {
  WriteLog("a", "b");
  ASSERT_TRUE(StopLog(kStopMs));
  EXPECT_TRUE(NobodyElseHasItOpen(DayFile()));
}

TEST_F(LogStuckWriterTest, AfterAStuckWriterTheNextOpenLogsWithAWriterOfItsOwn) {
  StickTheWriter();
  ASSERT_TRUE(StopLog(kStopMs));
  // The old writer still holds its lock: an open that waited for it would
  // never return.
  TempFolder next_folder;
  ASSERT_TRUE(OpenLog("lumo", next_folder.path()));
  std::string next_file = next_folder.path() + "log\\lumo_log\\20260306.txt";
  WriteLog("next", "1");
  EXPECT_TRUE(
      WaitUntil([&] { return ReadWholeFile(next_file) == "08:30:05->[next] 1\r\n"; }, 10000))
      << ReadWholeFile(next_file);
  // The old writer, let go, leaves without taking the new run's lines and
  // without keeping the new writer asleep.
  ::SetEvent(g_unstick);
  ::Sleep(200);
  for (int i = 2; i <= 20; ++i) {
    WriteLog("next", std::to_string(i));
    std::string want = "08:30:05->[next] " + std::to_string(i);
    ASSERT_TRUE(
        WaitUntil([&] { return SplitLines(ReadWholeFile(next_file)).back() == want; }, 10000))
        << "line " << i << " of the new run was not written";
  }
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(SplitLines(ReadWholeFile(next_file)).size(), 20u);
  EXPECT_EQ(SplitLines(ReadWholeFile(DayFile())),
            std::vector<std::string>{"08:30:05->[before] stuck"});
}

TEST_F(LogStuckWriterTest, FlushWritesEveryQueuedLineWithinItsTime) {
  StickTheWriter();
  QueueLines();
  DWORD start = ::GetTickCount();
  FlushLogNow(kStopMs);
  EXPECT_LT(::GetTickCount() - start, kStopBoundMs);
  EXPECT_EQ(SplitLines(ReadWholeFile(DayFile())), ExpectedLines());
  // The stop after it finds nothing left and still ends in time.
  WriteLog("last", "");
  start = ::GetTickCount();
  EXPECT_TRUE(StopLog(kStopMs));
  EXPECT_LT(::GetTickCount() - start, kStopBoundMs);
  std::vector<std::string> expected = ExpectedLines();
  expected.push_back("08:30:05->[last] ");
  EXPECT_EQ(SplitLines(ReadWholeFile(DayFile())), expected);
}

TEST_F(LogStuckWriterTest, AStopWithoutATimeLimitStillWaitsForAWriterThatIsOnlySlow) {
  StickTheWriter();
  QueueLines();
  // Let go after a while: the stop without a limit must wait for it, and the
  // writer, not the stop, writes the rest.
  std::thread letter([] {
    ::Sleep(1000);
    ::SetEvent(g_unstick);
  });
  EXPECT_TRUE(StopLog());
  EXPECT_EQ(::WaitForSingleObject(g_unstick, 0), WAIT_OBJECT_0);
  letter.join();
  EXPECT_EQ(SplitLines(ReadWholeFile(DayFile())), ExpectedLines());
}

}  // namespace
