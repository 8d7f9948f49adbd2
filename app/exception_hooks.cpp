#include "app/exception_hooks.h"

#include <windows.h>

#include <exception>

#include "app/fatal_error.h"
#include "app/fatal_shutdown.h"

namespace {

// Code reported when the C++ runtime terminates (an uncaught exception).
constexpr int kTerminateCode = 3;

// Runs on the failing thread, which after a stack overflow has only a few
// pages left: nothing here formats text or allocates.
LONG WINAPI UnhandledExceptionReport(EXCEPTION_POINTERS* exception) {
  FatalExceptionHandler(static_cast<int>(exception->ExceptionRecord->ExceptionCode),
                        exception->ExceptionRecord->ExceptionAddress);
  return EXCEPTION_EXECUTE_HANDLER;
}

bool IsHardwareFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
      return true;
  }
  return false;
}

bool InOwnProgram(const void* address) {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<const char*>(address), &module);
  return module != nullptr && module == ::GetModuleHandleA(nullptr);
}

// A hardware fault in the program's own code is fatal where it happens, before
// any handler up the stack sees it: the engine's event dispatch or the window
// system's message dispatch may catch and swallow it, which would leave the
// program running in a broken state. A stack overflow is fatal wherever it
// happens: no handler up that stack has room to recover from it, and the
// thread would die without a word. Other faults inside the libraries are
// theirs to handle; unhandled ones reach UnhandledExceptionReport.
LONG WINAPI OwnCodeFaultReport(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_STACK_OVERFLOW &&
      (!IsHardwareFault(record->ExceptionCode) || !InOwnProgram(record->ExceptionAddress)))
    return EXCEPTION_CONTINUE_SEARCH;
  UnhandledExceptionReport(exception);  // returns only where a test replaced the shutdown
  return EXCEPTION_CONTINUE_SEARCH;
}

void TerminateReport() {
  FatalErrorHandler(kTerminateCode, "terminate called");
  ExitAfterFatalError();
}

}  // namespace

void InstallFatalErrorHandler() {
  // First the threads that will carry a fault through, so a hook that fires
  // finds them waiting.
  PrepareFatalPath();
  ::SetUnhandledExceptionFilter(UnhandledExceptionReport);
  static const bool kOwnFaultsWatched = ::AddVectoredExceptionHandler(1, OwnCodeFaultReport);
  (void)kOwnFaultsWatched;
  std::set_terminate(TerminateReport);
}
