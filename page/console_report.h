#pragma once
// Script errors of the page reach the log and the page itself (as a
// "sys"/"error" message through clientJS2); fatal internal errors reach the
// log and shut the program down in order.
#include <string>

#include "ext/node_api.h"

// The console handler registered with the page host.
void __cdecl ConsoleReport(wkeWebView view, void* param, int level, wkeString message,
                           wkeString source, unsigned line, wkeString stack);
// The text of a JSON string value without its quotes, escaped.
std::string EscapeForJson(const std::string& text);
// The script run in the page for one report:
// clientJS2({"c":"sys","a":"error","data":{"level":..,"line":..,"msg":"..","sname":".."}})
std::string ErrorReportScript(int level, unsigned line, const std::string& msg,
                              const std::string& sname);

// Logs "错误提示" "code:<code> msg:<message>" and ends the process through the
// fatal shutdown, from any thread; a second fatal error meanwhile ends it at
// once. Returns 1 only where a test replaced the shutdown.
int FatalErrorHandler(int code, const std::string& message);
// Makes unhandled exceptions, std::terminate and failed internal checks
// reach FatalErrorHandler for the rest of the run.
void InstallFatalErrorHandler();
// A failed internal consistency check: reported as fatal, then the process ends.
[[noreturn]] void FailInternalCheck(int code, const char* what);
#define LUMO_CHECK(condition, code)                                           \
  do {                                                                        \
    if (!(condition)) FailInternalCheck((code), "check failed: " #condition); \
  } while (0)

// Seam for tests: what the fatal path runs instead of the fatal shutdown and
// the exit (null restores them); also forgets earlier fatal errors.
using FatalShutdown = void (*)();
void SetFatalShutdownForTest(FatalShutdown shutdown, FatalShutdown exit_process);
