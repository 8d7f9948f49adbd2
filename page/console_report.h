#pragma once
// Script errors of the page reach the log and the page itself (as a
// "sys"/"error" message through clientJS2).
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

// The fatal-error handler and the exception hooks live in app/; code that
// reached them through this header keeps compiling.
#include "app/exception_hooks.h"
#include "app/fatal_error.h"
