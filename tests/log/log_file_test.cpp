// The logger end to end: real day files, the real writer thread.
#include "log/log_file.h"

#include <gtest/gtest.h>

#include <string>

#include "log/log_state.h"
#include "tests/log/log_test_support.h"

namespace {

// "开始销毁" and "客户通信" as code page 936 bytes, as the program passes them.
const std::string kStartOfShutdown = "\xbf\xaa\xca\xbc\xcf\xfa\xbb\xd9";
const std::string kClientLink = "\xbf\xcd\xbb\xa7\xcd\xa8\xd0\xc5";

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTestClock(2026, 3, 6, 8, 30, 5);
    UseTestClock();
  }
  void TearDown() override {
    StopLog();
    SetLogClockForTest(nullptr);
  }
  std::string LogFolder() const { return folder_.path() + "log\\lumo_log\\"; }
  std::string DayFile(const std::string& date) const { return LogFolder() + date + ".txt"; }
  bool Open() { return OpenLog("lumo", folder_.path()); }

  TempFolder folder_;
};

TEST_F(LogFileTest, WritesStampedLineIntoTheDayFile) {
  ASSERT_TRUE(Open());
  WriteLog("page", "loaded");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[page] loaded\r\n");
}

TEST_F(LogFileTest, EmptyMessageEndsInBracketSpace) {
  ASSERT_TRUE(Open());
  WriteLog(kStartOfShutdown);
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[" + kStartOfShutdown + "] \r\n");
}

TEST_F(LogFileTest, LineBreaksInsideAMessageCannotStartALineOfTheirOwn) {
  // A pushed message or a page's call is logged as it came: a line break in
  // it must not make what follows read as a line the program wrote.
  ASSERT_TRUE(Open());
  WriteLog("x", "first\r\n08:30:05->[\xb4\xed\xce\xf3\xcc\xe1\xca\xbe] forged\nthird\x01\x7f");
  WriteLog("next", "line");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")),
            "08:30:05->[x] first\\r\\n08:30:05->[\xb4\xed\xce\xf3\xcc\xe1\xca\xbe] forged\\nthird"
            "\\x01\\x7F\r\n08:30:05->[next] line\r\n");
}

TEST_F(LogFileTest, ChineseTextKeepsItsCodePageBytes) {
  // The base folder itself has a Chinese name ("日志测试"), as a till's
  // program folder may.
  std::string base = folder_.path() + "\xc8\xd5\xd6\xbe\xb2\xe2\xca\xd4\\";
  ASSERT_TRUE(OpenLog("lumo", base));
  WriteLog(kClientLink, "\xd5\xfd\xb3\xa3 \x81\x40\xfe\xfe");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(base + "log\\lumo_log\\20260306.txt"),
            "08:30:05->[" + kClientLink + "] \xd5\xfd\xb3\xa3 \x81\x40\xfe\xfe\r\n");
}

TEST_F(LogFileTest, StopTwiceAndStopWhileClosedReturnFalse) {
  EXPECT_FALSE(StopLog());
  ASSERT_TRUE(Open());
  EXPECT_TRUE(LogIsOn());
  EXPECT_TRUE(StopLog());
  EXPECT_FALSE(LogIsOn());
  EXPECT_FALSE(StopLog());
}

TEST_F(LogFileTest, LinesBeforeOpenAndAfterStopGoNowhere) {
  WriteLog("early", "dropped");
  ASSERT_TRUE(Open());
  WriteLog("kept", "one");
  ASSERT_TRUE(StopLog());
  WriteLog("late", "dropped");
  // A dropped line must not wait in the queue for the next open either.
  ASSERT_TRUE(Open());
  WriteLog("kept", "two");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[kept] one\r\n08:30:05->[kept] two\r\n");
}

TEST_F(LogFileTest, RestartOnTheSameDayAppends) {
  ASSERT_TRUE(MakeDirectoryPath(LogFolder()));
  WriteWholeFile(DayFile("20260306"), "from an earlier run\r\n");
  ASSERT_TRUE(Open());
  WriteLog("run", "1");
  ASSERT_TRUE(StopLog());
  SetTestClock(2026, 3, 6, 17, 0, 0);
  ASSERT_TRUE(Open());
  WriteLog("run", "2");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")),
            "from an earlier run\r\n08:30:05->[run] 1\r\n17:00:00->[run] 2\r\n");
}

TEST_F(LogFileTest, OthersMayReadAndWriteTheOpenFile) {
  ASSERT_TRUE(Open());
  WriteLog("a", "1");
  ASSERT_TRUE(WaitUntil([&] { return !ReadWholeFile(DayFile("20260306")).empty(); }));
  HANDLE other = ::CreateFileA(DayFile("20260306").c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  ::SetFilePointer(other, 0, nullptr, FILE_END);
  DWORD written = 0;
  ::WriteFile(other, "other\r\n", 7, &written, nullptr);
  ::CloseHandle(other);
  // Our next line goes after the other writer's, not over it.
  WriteLog("a", "2");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[a] 1\r\nother\r\n08:30:05->[a] 2\r\n");
}

TEST_F(LogFileTest, StopReturnsOnlyWhenEveryQueuedLineIsOnDisk) {
  ASSERT_TRUE(Open());
  const int kLines = 20000;
  for (int i = 0; i < kLines; ++i) WriteLog("bulk", std::to_string(i));
  ASSERT_TRUE(StopLog());
  std::vector<std::string> lines = SplitLines(ReadWholeFile(DayFile("20260306")));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLines));
  for (int i = 0; i < kLines; ++i) {
    ASSERT_EQ(lines[i], "08:30:05->[bulk] " + std::to_string(i));
  }
}

TEST_F(LogFileTest, SecondOpenWhileOpenKeepsTheFirstFolder) {
  TempFolder other;
  ASSERT_TRUE(Open());
  WriteLog("a", "1");
  ASSERT_TRUE(OpenLog("else", other.path()));
  WriteLog("a", "2");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[a] 1\r\n08:30:05->[a] 2\r\n");
  EXPECT_FALSE(FolderExists(other.path() + "log\\"));
}

TEST_F(LogFileTest, FailedFirstOpenLeavesLoggingOffAndForgetsTheFolder) {
  std::string blocker = folder_.path() + "not_a_folder";
  WriteWholeFile(blocker, "x");
  EXPECT_FALSE(OpenLog("lumo", blocker + "\\"));
  EXPECT_FALSE(LogIsOn());
  WriteLog("a", "dropped");
  EXPECT_FALSE(StopLog());
  // The next open with a usable folder works its directory out again.
  ASSERT_TRUE(Open());
  WriteLog("a", "kept");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[a] kept\r\n");
}

TEST_F(LogFileTest, OpenWithoutNamesBeforeAnyOpenFails) {
  EXPECT_FALSE(OpenLog());
  EXPECT_FALSE(OpenLog("lumo", ""));
  EXPECT_FALSE(LogIsOn());
}

TEST_F(LogFileTest, AddsTheBackslashABaseFolderLacks) {
  std::string base = folder_.path();
  base.pop_back();
  ASSERT_TRUE(OpenLog("lumo", base));
  WriteLog("a", "b");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(DayFile("20260306")), "08:30:05->[a] b\r\n");
}

}  // namespace
