#pragma once
// The page's console output and uncaught errors as the engine reports them.
#include <string>

#include "protocol_json.h"

struct ConsoleMessage {
  int level = 1;  // 1 log, 2 warning, 3 error, 4 debug, 5 info
  std::string message;
  std::string source;  // script URL
  unsigned line = 0;   // 1-based; 0 when unknown
  std::string stack;   // one "at function (url:line:column)" per line
};

enum ConsoleLevel {
  kLevelLog = 1,
  kLevelWarning = 2,
  kLevelError = 3,
  kLevelDebug = 4,
  kLevelInfo = 5
};

// From Runtime.consoleAPICalled; false for calls that are not console output.
bool ConsoleMessageFromApiCall(const Json& params, ConsoleMessage* message);
// From Runtime.exceptionThrown, or the exceptionDetails of a failed evaluation.
ConsoleMessage ConsoleMessageFromException(const Json& exception_details);
