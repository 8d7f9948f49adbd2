// Deleting old months' day files, on real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log_file.h"
#include "tests/log/log_test_support.h"

namespace {

class LogCleanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseTestClock();
    ResetLogCleanUpForTest();
  }
  void TearDown() override {
    StopLog();
    SetLogClockForTest(nullptr);
  }
  std::string LogFolder() const { return folder_.path() + "log\\lumo_log\\"; }
  void OpenOn(int year, int month, int day) {
    SetTestClock(year, month, day, 9, 0, 0);
    ASSERT_TRUE(OpenLog("lumo", folder_.path()));
  }
  void MakeFiles(const std::vector<std::string>& names) {
    for (const std::string& name : names) WriteWholeFile(LogFolder() + name, "x\r\n");
  }
  bool Present(const std::string& name) const { return FileExists(LogFolder() + name); }

  TempFolder folder_;
};

TEST_F(LogCleanTest, MidMarchKeepsThisAndLastMonthAndLastYearsMarch) {
  OpenOn(2026, 3, 15);
  MakeFiles({"20260301.txt", "20260228.txt", "20250310.txt", "20260115.txt", "notes.txt",
             "20251231.txt", "20250415.txt"});
  CleanOldLogs();
  EXPECT_TRUE(Present("20260301.txt"));
  EXPECT_TRUE(Present("20260228.txt"));
  EXPECT_TRUE(Present("20250310.txt"));
  EXPECT_TRUE(Present("20260315.txt"));  // today's own file
  EXPECT_TRUE(Present("notes.txt"));
  EXPECT_FALSE(Present("20260115.txt"));
  EXPECT_FALSE(Present("20251231.txt"));
  EXPECT_FALSE(Present("20250415.txt"));
}

TEST_F(LogCleanTest, SecondOfJanuaryKeepsDecember) {
  OpenOn(2026, 1, 2);
  MakeFiles({"20251201.txt", "20251231.txt", "20260101.txt", "20251130.txt", "20250215.txt"});
  CleanOldLogs();
  EXPECT_TRUE(Present("20251201.txt"));
  EXPECT_TRUE(Present("20251231.txt"));
  EXPECT_TRUE(Present("20260101.txt"));
  EXPECT_FALSE(Present("20251130.txt"));
  EXPECT_FALSE(Present("20250215.txt"));
}

TEST_F(LogCleanTest, NamesWithoutMonthDigitsAndOtherFilesStay) {
  OpenOn(2026, 3, 15);
  MakeFiles(
      {"2026.txt", "abcdXY.txt", "abcd1x.txt", "abcd00.txt", "20260115.log", "20260115.txt.bak"});
  ASSERT_TRUE(::CreateDirectoryA((LogFolder() + "20250115.txt").c_str(), nullptr));
  CleanOldLogs();
  for (const char* name :
       {"2026.txt", "abcdXY.txt", "abcd1x.txt", "abcd00.txt", "20260115.log", "20260115.txt.bak"}) {
    EXPECT_TRUE(Present(name)) << name;
  }
  EXPECT_TRUE(FolderExists(LogFolder() + "20250115.txt"));
}

TEST_F(LogCleanTest, WorksOncePerRun) {
  OpenOn(2026, 3, 15);
  MakeFiles({"20260115.txt"});
  CleanOldLogs();
  EXPECT_FALSE(Present("20260115.txt"));
  MakeFiles({"20260116.txt"});
  CleanOldLogs();
  EXPECT_TRUE(Present("20260116.txt"));
}

TEST_F(LogCleanTest, ReadsTodayThroughTheLogClock) {
  OpenOn(2026, 3, 15);
  MakeFiles({"20260314.txt", "20260615.txt", "20260501.txt"});
  // The day moved on to June while the log stayed open.
  SetTestClock(2026, 6, 1, 0, 0, 0);
  CleanOldLogs();
  EXPECT_FALSE(Present("20260314.txt"));
  EXPECT_TRUE(Present("20260615.txt"));
  EXPECT_TRUE(Present("20260501.txt"));
  // The day file still held open is not deleted under the writer.
  EXPECT_TRUE(Present("20260315.txt"));
}

}  // namespace
