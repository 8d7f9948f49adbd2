#include "page/console_report.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <exception>

#include "app/app_state.h"
#include "app/event_report.h"
#include "app/fatal_shutdown.h"
#include "app/status_file.h"
#include "log/log_file.h"
#include "page/engine_text.h"
#include "page/page_host.h"
#include "page/page_navigation.h"
#include "util/json_document.h"

namespace {

constexpr int kReportedLevel = 3;  // error and above
// An error raised by a report, or within this time after one whose message
// or stack names clientJS2, is only logged: a page without a working
// clientJS2 would otherwise turn every report into the next error, forever.
constexpr DWORD kReportEchoWindowMs = 2000;
constexpr char kPageEntry[] = "clientJS2";
// Code reported when the C++ runtime terminates (an uncaught exception).
constexpr int kTerminateCode = 3;

bool g_reporting = false;
DWORD g_last_report_tick = 0;
bool g_reported_once = false;

FatalShutdown g_shutdown = [] { ShutdownAfterFatalError(); };
FatalShutdown g_exit = [] { EndProcessNow(); };
// Fatal errors seen so far; a second one, during the first one's shutdown,
// ends the process at once.
std::atomic<int> g_fatal_errors{0};
// How long the second error's line may wait for the log file.
constexpr DWORD kSecondErrorFlushMs = 500;

std::string EngineString(wkeString text) {
  auto get_string = Node().wkeGetStringW;
  if (text == nullptr || get_string == nullptr) return "";
  return TextOf(get_string(text));
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Replaces every backslash-apostrophe pair by a double quote, character by
// character: the second byte of a code page 936 character may be 0x5C, and
// such a byte is no backslash (treating it as one would put a bare quote into
// the script and break the character).
std::string ReplaceBackslashApostrophes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c) && i + 1 < text.size()) {
      out += text[i];
      out += text[++i];
    } else if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\'') {
      out += '"';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsEchoOfAReport(const std::string& msg, const std::string& stack) {
  if (g_reporting) return true;
  if (!g_reported_once || ::GetTickCount() - g_last_report_tick > kReportEchoWindowMs) return false;
  return msg.find(kPageEntry) != std::string::npos || stack.find(kPageEntry) != std::string::npos;
}

LONG WINAPI UnhandledExceptionReport(EXCEPTION_POINTERS* exception) {
  char message[128];
  snprintf(message, sizeof(message), "unhandled exception at %p thread:%lu",
           exception->ExceptionRecord->ExceptionAddress,
           static_cast<unsigned long>(::GetCurrentThreadId()));
  FatalErrorHandler(static_cast<int>(exception->ExceptionRecord->ExceptionCode), message);
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
// program running in a broken state. Faults inside the libraries are theirs
// to handle; unhandled ones reach UnhandledExceptionReport.
LONG WINAPI OwnCodeFaultReport(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (!IsHardwareFault(record->ExceptionCode) || !InOwnProgram(record->ExceptionAddress))
    return EXCEPTION_CONTINUE_SEARCH;
  UnhandledExceptionReport(exception);  // returns only where a test replaced the shutdown
  return EXCEPTION_CONTINUE_SEARCH;
}

void TerminateReport() {
  FatalErrorHandler(kTerminateCode, "terminate called");
  g_exit();
}

}  // namespace

std::string EscapeForJson(const std::string& text) {
  JsonDocument document;
  document.SetText("", text);
  std::string quoted = document.ToText("", false, true);
  size_t first = quoted.find('"');
  size_t last = quoted.rfind('"');
  if (first == std::string::npos || last <= first) return "";
  return quoted.substr(first + 1, last - first - 1);
}

std::string ErrorReportScript(int level, unsigned line, const std::string& msg,
                              const std::string& sname) {
  // Backslash-apostrophe stands for a double quote and is replaced
  // everywhere at the end, inside the escaped texts too.
  std::string report =
      "{\\'c\\':\\'sys\\',\\'a\\':\\'error\\',\\'data\\':{\\'level\\':" + std::to_string(level) +
      ",\\'line\\':" + std::to_string(line) + ",\\'msg\\':\\'" + EscapeForJson(msg) +
      "\\',\\'sname\\':\\'" + EscapeForJson(sname) + "\\'}}";
  return "clientJS2(" + ReplaceBackslashApostrophes(report) + ")";
}

void __cdecl ConsoleReport(wkeWebView, void*, int level, wkeString message, wkeString source,
                           unsigned line, wkeString stack) {
  if (level < kReportedLevel) return;
  std::string msg = EngineString(message);
  std::string sname = EngineString(source);
  std::string trace = EngineString(stack);
  WriteLog("控制台消息", "level:" + std::to_string(level) + " msg:" + msg + " sname:" + sname +
                             " line:" + std::to_string(line) + " fllow:" + trace);
  if (IsEchoOfAReport(msg, trace)) return;
  // A document the view was led to gets no reports meant for the page.
  if (!PageOnTrustedOrigin()) return;
  g_reporting = true;
  Host().RunScript(ErrorReportScript(level, line, msg, sname));
  g_reporting = false;
  g_reported_once = true;
  g_last_report_tick = ::GetTickCount();
}

int FatalErrorHandler(int code, const std::string& message) {
  bool first = g_fatal_errors.fetch_add(1) == 0;
  std::string text = "code:" + std::to_string(code) + " msg:" + message;
  WriteLog("错误提示", text);
  ReportToEventLog(EventId::kFatalError, text);
  StatusFatalError(text);
  if (!first) {
    FlushLogNow(kSecondErrorFlushMs);
    g_exit();
    return 1;
  }
  g_shutdown();
  return 1;
}

void InstallFatalErrorHandler() {
  ::SetUnhandledExceptionFilter(UnhandledExceptionReport);
  static const bool kOwnFaultsWatched = ::AddVectoredExceptionHandler(1, OwnCodeFaultReport);
  (void)kOwnFaultsWatched;
  std::set_terminate(TerminateReport);
}

void FailInternalCheck(int code, const char* what) {
  FatalErrorHandler(code, what);
  g_exit();
  EndProcessNow();  // the exit seam returns only in tests that replace it badly
}

void SetFatalShutdownForTest(FatalShutdown shutdown, FatalShutdown exit_process) {
  g_shutdown = shutdown ? shutdown : [] { ShutdownAfterFatalError(); };
  g_exit = exit_process ? exit_process : [] { EndProcessNow(); };
  g_fatal_errors = 0;
}
