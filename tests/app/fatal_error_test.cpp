#include "app/fatal_error.h"

#include <gtest/gtest.h>

#include <chrono>

#include "app/exception_hooks.h"
#include "app/fatal_shutdown.h"
#include "log/log_file.h"
#include "tests/app/test_log.h"
#include "tests/support/run_out_of_stack.h"

namespace testing::internal {
bool InDeathTestChild();  // GoogleTest's own, not in its public headers
}

namespace {

TEST(FatalShutdownBudgetTest, CountsFromTheErrorNotFromWhenTheShutdownStarts) {
  const ULONGLONG error = 100000;
  EXPECT_EQ(FatalShutdownBudget(error, error), kFatalBoundMs - kShutdownMarginMs);
  // A GUI thread that was in a 5 s sleep when the error came leaves 5 s less.
  EXPECT_EQ(FatalShutdownBudget(error, error + 5000), kFatalBoundMs - kShutdownMarginMs - 5000);
  EXPECT_EQ(FatalShutdownBudget(error, error + kFatalBoundMs - kShutdownMarginMs), 0u);
  // Past the deadline nothing waits again.
  EXPECT_EQ(FatalShutdownBudget(error, error + 15000), 0u);
}

TEST(FatalErrorTextTest, AHardwareFaultIsDescribedOffTheFailingThread) {
  FatalRecord record;
  record.code = -1073741571;
  record.address = reinterpret_cast<const void*>(0x1234);
  record.thread = 77;
  std::string text = FatalErrorText(record);
  EXPECT_EQ(text.rfind("code:-1073741571 msg:unhandled exception at ", 0), 0u) << text;
  EXPECT_NE(text.find("1234 thread:77"), std::string::npos) << text;
  record.address = nullptr;
  snprintf(record.message, sizeof(record.message), "check failed: x");
  EXPECT_EQ(FatalErrorText(record), "code:-1073741571 msg:check failed: x");
}

int g_shutdowns = 0;

TEST(FatalErrorTest, FatalErrorsAreLoggedAndShutTheProgramDown) {
  TestFolder folder("fatal_seam");
  ASSERT_TRUE(OpenLog("lumo", folder.path()));
  g_shutdowns = 0;
  SetFatalShutdownForTest([] { ++g_shutdowns; }, [] {});
  EXPECT_EQ(FatalErrorHandler(5, "boom"), 1);
  SetFatalShutdownForTest(nullptr, nullptr);
  EXPECT_EQ(g_shutdowns, 1);
  StopLog();
  EXPECT_EQ(LogMessages(folder.path(), "错误提示"), std::vector<std::string>{"code:5 msg:boom"});
}

int g_exits = 0;

TEST(FatalErrorTest, ASecondErrorDuringTheFirstOnesShutdownEndsTheProcessAtOnce) {
  TestFolder folder("fatal_second");
  ASSERT_TRUE(OpenLog("lumo", folder.path()));
  g_shutdowns = 0;
  g_exits = 0;
  SetFatalShutdownForTest([] { ++g_shutdowns; }, [] { ++g_exits; });
  FatalErrorHandler(5, "first");
  FatalErrorHandler(6, "second");
  SetFatalShutdownForTest(nullptr, nullptr);
  EXPECT_EQ(g_shutdowns, 1);
  EXPECT_EQ(g_exits, 1);
  StopLog();
  EXPECT_EQ(LogMessages(folder.path(), "错误提示"),
            (std::vector<std::string>{"code:5 msg:first", "code:6 msg:second"}));
}

// The death tests run their body again in a child process, so the folder
// must be the same in both: a fixed one, emptied before the child writes.
std::string DeathFolder(const std::string& name) {
  std::string folder = "C:\\lumo_tests\\" + name + "\\";
  ::CreateDirectoryA("C:\\lumo_tests", nullptr);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  std::string log_file = folder + "log\\lumo_log\\" + TimeText(now, TimeForm::kDate) + ".txt";
  if (!::testing::internal::InDeathTestChild()) ::DeleteFileA(log_file.c_str());
  return folder;
}

bool EndedByFatalError(int status) { return status == static_cast<int>(kFatalExitCode); }

void ExpectLoggedAndShutDown(const std::string& folder, const std::string& fatal_start) {
  std::vector<std::string> fatal = LogMessages(folder, "错误提示");
  ASSERT_EQ(fatal.size(), 1u);
  EXPECT_EQ(fatal[0].rfind(fatal_start, 0), 0u) << fatal[0];
  EXPECT_EQ(LogMessages(folder, "重启").size(), 1u);
  EXPECT_EQ(LogMessages(folder, "开始销毁").size(), 1u);
  EXPECT_EQ(LogMessages(folder, "销毁").size(), 1u);
}

// A real crash in a child process reaches the fatal handler: it logs the
// exception code and runs the shutdown, whose last lines close the log.
TEST(FatalErrorDeathTest, AnUnhandledExceptionIsLoggedAndShutsDownInOrder) {
  std::string folder = DeathFolder("fatal_death");
  EXPECT_EXIT(
      {
        OpenLog("lumo", folder);
        InstallFatalErrorHandler();
        *static_cast<volatile int*>(nullptr) = 1;
      },
      EndedByFatalError, "");
  ExpectLoggedAndShutDown(folder, "code:-1073741819 msg:unhandled exception at ");
}

DWORD WINAPI OverflowThread(void*) { return static_cast<DWORD>(RunOutOfStack(0)); }

constexpr char kStackOverflow[] = "code:-1073741571 msg:unhandled exception at ";

// No stack is left on the failing thread for the fatal path: it still logs,
// shuts down and ends with the fatal exit code.
TEST(FatalErrorDeathTest, AStackOverflowIsLoggedAndShutsDownInOrder) {
  std::string folder = DeathFolder("fatal_overflow");
  EXPECT_EXIT(
      {
        OpenLog("lumo", folder);
        InstallFatalErrorHandler();
        RunOutOfStack(0);
      },
      EndedByFatalError, "");
  ExpectLoggedAndShutDown(folder, kStackOverflow);
}

// On a worker while the main thread sleeps far past the bound: the fatal
// path needs neither, and the process ends within the bound.
TEST(FatalErrorDeathTest, AStackOverflowOnAWorkerEndsTheProcessWhileTheMainThreadSleeps) {
  std::string folder = DeathFolder("fatal_overflow_worker");
  auto started = std::chrono::steady_clock::now();
  EXPECT_EXIT(
      {
        OpenLog("lumo", folder);
        InstallFatalErrorHandler();
        ::CreateThread(nullptr, 0, OverflowThread, nullptr, 0, nullptr);
        ::Sleep(60000);
        ::ExitProcess(0);
      },
      EndedByFatalError, "");
  auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  // The child's own start under Wine takes a few seconds of this.
  EXPECT_LT(seconds, 30) << "the sleeping main thread held the fatal path up";
  ExpectLoggedAndShutDown(folder, kStackOverflow);
}

}  // namespace
