#pragma once
// A recording stand-in for the engine's function table, for tests of the host
// window and the bridge that must see exactly what the program passes.
#include <windows.h>

#include <string>
#include <vector>

#include "ext/node_api.h"

// Script values the fake makes, recognisable in results.
constexpr jsValue kFakeUndefined = 0xA0A0;
constexpr jsValue kFakeFalse = 0xF0F0;
constexpr jsValue kFakeTrue = 0xB1;
constexpr jsValue kFakeBooleanFalse = 0xB0;
constexpr jsValue kFakeString = 0x5757;
constexpr jsValue kFakeIntTag = jsValue{1} << 40;  // jsInt(v) = tag | v
constexpr jsValue kFakeFirstArgument = 100;        // jsArg(state, i) = 100 + i
// The execution state wkeGlobalExec gives.
const jsExecState kFakeExecState = reinterpret_cast<jsExecState>(0xE5);

struct FakeEngine {
  // Answers.
  bool initialized = true;                                      // wkeIsInitialize
  wkeWebView next_view = reinterpret_cast<wkeWebView>(0x5150);  // wkeCreateWebView
  bool fire_result = true;                                      // every wkeFire* function
  HDC view_dc = nullptr;                                        // wkeGetViewDC
  wkeRect caret = {0, 0, 0, 0};                                 // wkeGetCaretRect
  int width = 0, height = 0;                  // wkeGetWidth/Height (also set by wkeResize)
  int content_width = 0, content_height = 0;  // wkeGetContentWidth/Height
  jsValue script_result = 0;                  // wkeRunJSW
  // Records, one line per call, e.g. "resize 200 100".
  std::vector<std::string> calls;
  std::vector<std::wstring> scripts;       // texts given to wkeRunJSW
  std::vector<std::wstring> loads;         // URLs given to wkeLoadW
  DWORD script_thread = 0;                 // thread that ran the last script
  std::vector<std::wstring> made_strings;  // texts given to jsStringW
  // The last binding: name, native function, parameter, argument count.
  std::string bound_name;
  jsNativeFunction bound_function = nullptr;
  void* bound_param = nullptr;
  unsigned bound_count = 0;

  bool Called(const std::string& line) const;
  int Count(const std::string& prefix) const;
};

// The one fake of the process; Install() resets it and makes Node() use it.
FakeEngine& Fake();
// Resets the fake and installs its full table; the returned table may be
// edited (a null entry plays a missing engine function) and re-installed.
NodeApi& InstallFakeEngine();
void UninstallFakeEngine();
