// Folder creation, thread start and the time texts.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "log/log_file.h"
#include "tests/log/log_test_support.h"

namespace {

TEST(MakeDirectoryPathTest, CreatesNestedMissingFolders) {
  TempFolder folder;
  std::string path = folder.path() + "a\\b\\c\\";
  ASSERT_TRUE(MakeDirectoryPath(path));
  EXPECT_TRUE(FolderExists(folder.path() + "a\\b\\c"));
  EXPECT_TRUE(MakeDirectoryPath(path));  // existing: still true
}

TEST(MakeDirectoryPathTest, AcceptsAPathWithoutTheTrailingBackslash) {
  TempFolder folder;
  ASSERT_TRUE(MakeDirectoryPath(folder.path() + "x\\y"));
  EXPECT_TRUE(FolderExists(folder.path() + "x\\y"));
}

TEST(MakeDirectoryPathTest, DriveRootExists) {
  EXPECT_TRUE(MakeDirectoryPath("C:\\"));
  EXPECT_TRUE(MakeDirectoryPath("C:"));
}

TEST(MakeDirectoryPathTest, EmptyAndRelativeNamesFail) {
  EXPECT_FALSE(MakeDirectoryPath(""));
  EXPECT_FALSE(MakeDirectoryPath("relative_folder_of_the_test\\"));
  EXPECT_FALSE(FolderExists("relative_folder_of_the_test"));
}

TEST(MakeDirectoryPathTest, FailsBelowAFile) {
  TempFolder folder;
  WriteWholeFile(folder.path() + "file", "x");
  EXPECT_FALSE(MakeDirectoryPath(folder.path() + "file\\sub\\"));
  EXPECT_FALSE(MakeDirectoryPath(folder.path() + "file\\"));
}

TEST(MakeDirectoryPathTest, ChineseFolderNames) {
  TempFolder folder;
  std::string path = folder.path() + "\xc8\xd5\xd6\xbe\\\xb2\xe2\xca\xd4\\";  // 日志\测试
  ASSERT_TRUE(MakeDirectoryPath(path));
  EXPECT_TRUE(FolderExists(path));
}

std::atomic<int> g_thread_runs{0};

DWORD WINAPI CountRun(void* argument) {
  g_thread_runs += *static_cast<int*>(argument);
  return 7;
}

TEST(StartThreadTest, KeepsTheHandleWhenAsked) {
  int step = 1;
  HANDLE thread = nullptr;
  int before = g_thread_runs.load();
  ASSERT_TRUE(StartThread(CountRun, &step, &thread));
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(::WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(::GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  ::CloseHandle(thread);
  EXPECT_EQ(g_thread_runs.load(), before + 1);
}

TEST(StartThreadTest, RunsDetachedWithoutAHandle) {
  static int step = 10;
  int before = g_thread_runs.load();
  ASSERT_TRUE(StartThread(CountRun, &step));
  EXPECT_TRUE(WaitUntil([&] { return g_thread_runs.load() == before + 10; }));
}

TEST(TimeTextTest, TimeFormHasTwoDigitsEach) {
  EXPECT_EQ(TimeText(MakeTime(2026, 3, 6, 8, 30, 5), TimeForm::kTime), "08:30:05");
  EXPECT_EQ(TimeText(MakeTime(2026, 3, 6, 0, 0, 0), TimeForm::kTime), "00:00:00");
  EXPECT_EQ(TimeText(MakeTime(2026, 3, 6, 23, 59, 59), TimeForm::kTime), "23:59:59");
}

TEST(TimeTextTest, DateFormIsYearMonthDay) {
  EXPECT_EQ(TimeText(MakeTime(2026, 3, 6, 8, 30, 5), TimeForm::kDate), "20260306");
  EXPECT_EQ(TimeText(MakeTime(2025, 12, 31, 0, 0, 0), TimeForm::kDate), "20251231");
  EXPECT_EQ(TimeText(MakeTime(987, 1, 2, 0, 0, 0), TimeForm::kDate), "9870102");
}

}  // namespace
