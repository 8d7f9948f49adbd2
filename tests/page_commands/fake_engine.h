#pragma once
// A scripted stand-in of the engine's table for the command and report
// tests: script values carry a tag in their high word so a test can read
// back what the program replied, and scripts run in the page are recorded.
#include <functional>
#include <string>
#include <vector>

#include "ext/node_api.h"

enum class ReplyKind { kUndefined = 1, kBool = 2, kInt = 3, kText = 4 };

struct Reply {
  ReplyKind kind;
  int number = 0;    // bool or int
  std::string text;  // code page 936, for kText
};

class FakeEngine {
 public:
  FakeEngine();   // installs itself as the engine table
  ~FakeEngine();  // restores the real one
  // Calls the handler as the page would with one string argument.
  Reply Call(jsValue (*handler)(jsExecState), const std::string& argument);
  std::vector<std::string> scripts_run;  // code page 936
  int center_calls = 0;
  // location.origin of the calling document, as jsGetGlobal/jsGet read it.
  std::string caller_origin = "http://127.0.0.1:8099";
  // Set before construction ends: false leaves jsGetGlobal and jsGet out of
  // the table, as in an engine build without them.
  void SetOriginFunctions(bool present);
  // Gives the engine a main frame URL (UTF-8) that wkeGetURL reports; without
  // it the table has no wkeGetURL.
  void SetMainFrameUrl(const std::string& url);
  std::string main_frame_url;
  // Runs inside wkeRunJSW, for events raised while a script runs.
  std::function<void(const std::string& script)> on_run;
};

// The engine string handed to the console handler (wkeGetStringW returns it).
wkeString EngineString(const wchar_t* text);
