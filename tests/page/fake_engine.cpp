#include "tests/page/fake_engine.h"

#include <cstdarg>
#include <cstdio>

namespace {

FakeEngine fake;
NodeApi table;

void Record(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  fake.calls.emplace_back(line);
}

void FillViewFunctions(NodeApi& t) {
  t.wkeIsInitialize = [] { return fake.initialized; };
  t.wkeInitialize = [] {
    Record("initialize");
    fake.initialized = true;
  };
  t.wkeCreateWebView = [] {
    Record("create");
    return fake.next_view;
  };
  t.wkeDestroyWebView = [](wkeWebView v) { Record("destroy %p", v); };
  t.wkeSetHandle = [](wkeWebView, HWND w) { Record("handle %p", static_cast<void*>(w)); };
  t.wkeSetTransparent = [](wkeWebView, bool on) { Record("transparent %d", on ? 1 : 0); };
  t.wkeOnPaintUpdated = [](wkeWebView, wkePaintUpdatedCallback, void* p) {
    Record("on-paint %p", p);
  };
  t.wkeGetViewDC = [](wkeWebView) { return fake.view_dc; };
  t.wkeRepaintIfNeeded = [](wkeWebView) { Record("repaint"); };
  t.wkeResize = [](wkeWebView, int w, int h) {
    Record("resize %d %d", w, h);
    fake.width = w;
    fake.height = h;
  };
  t.wkeGetWidth = [](wkeWebView) { return fake.width; };
  t.wkeGetHeight = [](wkeWebView) { return fake.height; };
  t.wkeGetContentWidth = [](wkeWebView) { return fake.content_width; };
  t.wkeGetContentHeight = [](wkeWebView) { return fake.content_height; };
  t.wkePaint = [](wkeWebView, void* bits, int pitch) {
    Record("paint %d", pitch);
    auto* bytes = static_cast<unsigned char*>(bits);
    for (int i = 0; i < pitch * fake.height; ++i) bytes[i] = static_cast<unsigned char>(i);
  };
}

void FillInputFunctions(NodeApi& t) {
  t.wkeFireKeyDownEvent = [](wkeWebView, unsigned k, unsigned f, bool s) {
    Record("key-down %u 0x%x %d", k, f, s ? 1 : 0);
    return fake.fire_result;
  };
  t.wkeFireKeyUpEvent = [](wkeWebView, unsigned k, unsigned f, bool s) {
    Record("key-up %u 0x%x %d", k, f, s ? 1 : 0);
    return fake.fire_result;
  };
  t.wkeFireKeyPressEvent = [](wkeWebView, unsigned k, unsigned f, bool s) {
    Record("key-press %u 0x%x %d", k, f, s ? 1 : 0);
    return fake.fire_result;
  };
  t.wkeFireMouseEvent = [](wkeWebView, unsigned m, int x, int y, unsigned f) {
    Record("mouse 0x%x %d %d 0x%x", m, x, y, f);
    return fake.fire_result;
  };
  t.wkeFireContextMenuEvent = [](wkeWebView, int x, int y, unsigned f) {
    Record("context %d %d 0x%x", x, y, f);
    return fake.fire_result;
  };
  t.wkeFireMouseWheelEvent = [](wkeWebView, int x, int y, int d, unsigned f) {
    Record("wheel %d %d %d 0x%x", x, y, d, f);
    return fake.fire_result;
  };
  t.wkeFireWindowsMessage = [](wkeWebView, HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
    Record("windows-message 0x%x", m);
    return fake.fire_result;
  };
  t.wkeSetFocus = [](wkeWebView) { Record("focus"); };
  t.wkeKillFocus = [](wkeWebView) { Record("kill-focus"); };
  t.wkeGetCaretRect = [](wkeWebView) { return fake.caret; };
}

void FillScriptFunctions(NodeApi& t) {
  t.wkeLoadW = [](wkeWebView, const wchar_t* url) { fake.loads.emplace_back(url); };
  t.wkeSetDebugConfig = [](wkeWebView, const char* n, const char* v) {
    Record("debug %s %s", n, v);
  };
  t.wkeRunJSW = [](wkeWebView, const wchar_t* s) {
    fake.scripts.emplace_back(s);
    fake.script_thread = ::GetCurrentThreadId();
    return fake.script_result;
  };
  t.wkeRunJS = [](wkeWebView, const char* s) {
    Record("run-js %s", s);
    return jsValue{0};
  };
  t.wkeGlobalExec = [](wkeWebView) {
    Record("global-exec");
    return kFakeExecState;
  };
  t.jsToInt = [](jsExecState s, jsValue v) {
    Record("to-int %p", s);
    return static_cast<int>(v);
  };
  t.wkeOnConsole = [](wkeWebView, wkeConsoleCallback, void* p) { Record("on-console %p", p); };
  t.wkeOnLoadingFinish = [](wkeWebView, wkeLoadingFinishCallback, void* p) {
    Record("on-loading-finish %p", p);
  };
  t.wkeSetLocalStorageFullPath = [](wkeWebView, const wchar_t* p) { fake.loads.emplace_back(p); };
  t.wkeMoveToCenter = [](wkeWebView) { Record("center"); };
}

void FillValueFunctions(NodeApi& t) {
  t.wkeJsBindFunction = [](const char* name, jsNativeFunction fn, void* param, unsigned count) {
    fake.bound_name = name;
    fake.bound_function = fn;
    fake.bound_param = param;
    fake.bound_count = count;
  };
  t.jsArg = [](jsExecState, int index) { return kFakeFirstArgument + index; };
  t.jsToTempStringW = [](jsExecState, jsValue v) -> const wchar_t* {
    return v == kFakeFirstArgument ? L"\u53c2\u6570\u4e00" : nullptr;
  };
  t.jsUndefined = [] { return kFakeUndefined; };
  t.jsFalse = [] { return kFakeFalse; };
  t.jsInt = [](int v) { return kFakeIntTag | static_cast<uint32_t>(v); };
  t.jsBoolean = [](bool b) { return b ? kFakeTrue : kFakeBooleanFalse; };
  t.jsStringW = [](jsExecState, const wchar_t* text) {
    fake.made_strings.emplace_back(text);
    return kFakeString;
  };
}

}  // namespace

bool FakeEngine::Called(const std::string& line) const {
  for (const auto& call : calls) {
    if (call == line) return true;
  }
  return false;
}

int FakeEngine::Count(const std::string& prefix) const {
  int count = 0;
  for (const auto& call : calls) count += call.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  return count;
}

FakeEngine& Fake() { return fake; }

NodeApi& InstallFakeEngine() {
  fake = FakeEngine();
  table = NodeApi();
  FillViewFunctions(table);
  FillInputFunctions(table);
  FillScriptFunctions(table);
  FillValueFunctions(table);
  SetNodeApiForTest(&table);
  return table;
}

void UninstallFakeEngine() { SetNodeApiForTest(nullptr); }
