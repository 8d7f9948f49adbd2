// The logger in a process where nothing has opened it yet. Its own program,
// so no earlier test has worked out a log folder.
#include <gtest/gtest.h>

#include <string>

#include "log/log_file.h"
#include "log/log_state.h"
#include "tests/log/log_test_support.h"

namespace {

TEST(LogFirstUseTest, NothingHappensBeforeTheFirstOpen) {
  TempFolder folder;
  char previous[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.path().c_str()));
  WriteWholeFile(folder.path() + "20000115.txt", "not a log");

  SetTestClock(2026, 3, 15, 9, 0, 0);
  UseTestClock();
  WriteLog("early", "dropped");
  EXPECT_FALSE(StopLog());
  EXPECT_FALSE(OpenLog());  // no names yet: no folder to open in
  EXPECT_FALSE(LogIsOn());
  // Without a log folder the clean-up must not search the current folder.
  CleanOldLogs();
  EXPECT_TRUE(FileExists(folder.path() + "20000115.txt"));
  ::SetCurrentDirectoryA(previous);

  // The clean-up did no work, so it still runs once the folder is known.
  ASSERT_TRUE(OpenLog("lumo", folder.path()));
  std::string logs = folder.path() + "log\\lumo_log\\";
  WriteWholeFile(logs + "20000115.txt", "old");
  CleanOldLogs();
  EXPECT_FALSE(FileExists(logs + "20000115.txt"));

  WriteLog("first", "kept");
  ASSERT_TRUE(StopLog());
  EXPECT_EQ(ReadWholeFile(logs + "20260315.txt"), "09:00:00->[first] kept\r\n");
  SetLogClockForTest(nullptr);
}

}  // namespace
