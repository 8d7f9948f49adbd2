#pragma once
// Fatal internal errors: whatever thread fails, its error is written down in
// fixed storage (no heap, little stack: the thread may have run out of it),
// the fatal path's own thread takes over, and the failing thread stops where
// it is. The fatal path logs "错误提示", restarts when allowed, shuts down
// within the bound and ends the process.
#include <windows.h>

#include <string>

// One fatal error as the failing thread left it. A hardware fault leaves its
// address and no message; the text is made on the fatal path.
struct FatalRecord {
  int code = 0;
  const void* address = nullptr;
  DWORD thread = 0;
  char message[480] = {};
};

// Logs "错误提示" "code:<code> msg:<message>" and ends the process through the
// fatal path, from any thread; a second fatal error meanwhile ends it at
// once. Returns 1 only where a test replaced the shutdown.
int FatalErrorHandler(int code, const std::string& message);
// A hardware fault (an exception hook's report): the same, with the message
// "unhandled exception at <address> thread:<id>" made later, off the failing
// thread's stack.
int FatalExceptionHandler(int code, const void* address);
// A failed internal consistency check: reported as fatal, then the process ends.
[[noreturn]] void FailInternalCheck(int code, const char* what);
#define LUMO_CHECK(condition, code)                                           \
  do {                                                                        \
    if (!(condition)) FailInternalCheck((code), "check failed: " #condition); \
  } while (0)
// Ends the process at once after a fatal error (a test's seam when one is set).
void ExitAfterFatalError();

// The "错误提示" text of a record: "code:<code> msg:<message>".
std::string FatalErrorText(const FatalRecord& record);
// Writes a record to the log ("错误提示"), the event log and the status file.
void LogFatalError(const FatalRecord& record);

// Seam for tests: what the fatal path runs instead of the fatal shutdown and
// the exit (null restores them); also forgets earlier fatal errors. With a
// seam set, everything runs on the failing thread, which then goes on.
using FatalShutdown = void (*)();
void SetFatalShutdownForTest(FatalShutdown shutdown, FatalShutdown exit_process);
