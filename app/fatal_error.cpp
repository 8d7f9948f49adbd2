#include "app/fatal_error.h"

#include <atomic>
#include <cstdio>

#include "app/event_report.h"
#include "app/fatal_shutdown.h"
#include "app/status_file.h"
#include "log/log_file.h"

namespace {

// How long a second error's line may wait for the log file when no deadline
// thread is there to write it.
constexpr DWORD kSecondErrorFlushMs = 500;

FatalShutdown g_test_shutdown = nullptr;
FatalShutdown g_test_exit = nullptr;
// Fatal errors seen so far; the first takes the fatal path, a second (during
// the first one's shutdown) ends the process at once, later ones only stop
// their thread.
std::atomic<int> g_fatal_errors{0};
FatalRecord g_records[2];

void CopyText(char* to, size_t size, const char* from) {
  size_t i = 0;
  for (; from != nullptr && from[i] != '\0' && i + 1 < size; ++i) to[i] = from[i];
  to[i] = '\0';
}

[[noreturn]] void StopThisThread() {
  for (;;) ::Sleep(INFINITE);
}

int Report(int code, const char* message, const void* address) {
  int index = g_fatal_errors.fetch_add(1);
  bool seam = g_test_shutdown != nullptr;
  // A third error only stops its thread: the second one's end is under way.
  if (index > 1 && !seam) StopThisThread();
  FatalRecord& record = g_records[index == 0 ? 0 : 1];
  record.code = code;
  record.address = address;
  record.thread = ::GetCurrentThreadId();
  CopyText(record.message, sizeof(record.message), message);
  if (seam) {
    LogFatalError(record);
    if (index == 0) {
      g_test_shutdown();
    } else {
      FlushLogNow(kSecondErrorFlushMs);
      ExitAfterFatalError();
    }
    return 1;
  }
  if (index == 0) {
    BeginFatalPath(record);
  } else {
    EndAfterSecondError(record);
  }
  StopThisThread();
}

}  // namespace

std::string FatalErrorText(const FatalRecord& record) {
  std::string message = record.message;
  if (message.empty() && record.address != nullptr) {
    char text[96];
    snprintf(text, sizeof(text), "unhandled exception at %p thread:%lu", record.address,
             static_cast<unsigned long>(record.thread));
    message = text;
  }
  return "code:" + std::to_string(record.code) + " msg:" + message;
}

void LogFatalError(const FatalRecord& record) {
  std::string text = FatalErrorText(record);
  WriteLog("错误提示", text);
  ReportToEventLog(EventId::kFatalError, text);
  StatusFatalError(text);
}

int FatalErrorHandler(int code, const std::string& message) {
  return Report(code, message.c_str(), nullptr);
}

int FatalExceptionHandler(int code, const void* address) { return Report(code, "", address); }

void ExitAfterFatalError() {
  if (g_test_exit != nullptr) {
    g_test_exit();
    return;
  }
  EndProcessNow();
}

void FailInternalCheck(int code, const char* what) {
  FatalErrorHandler(code, what);
  ExitAfterFatalError();
  EndProcessNow();  // the exit seam returns only in tests that replace it badly
}

void SetFatalShutdownForTest(FatalShutdown shutdown, FatalShutdown exit_process) {
  g_test_shutdown = shutdown;
  g_test_exit = exit_process;
  g_fatal_errors = 0;
}
