#pragma once
// The engine's C interface as the host program sees it: every function and
// callback uses the C calling convention, script values are 64-bit integers
// (returned in EDX:EAX), views, strings and execution states are opaque
// pointers to our own objects.
#include <windows.h>

#include <cstdint>
#include <string>

namespace node_standin {
class View;
struct ExecState;
struct EngineString;
}  // namespace node_standin

typedef int64_t jsValue;
typedef node_standin::View* wkeWebView;
typedef node_standin::EngineString* wkeString;
typedef node_standin::ExecState* jsExecState;

struct wkeRect {
  int x;
  int y;
  int w;
  int h;
};

typedef void(__cdecl* wkePaintUpdatedCallback)(wkeWebView view, void* param, HDC dc, int x, int y,
                                               int cx, int cy);
typedef void(__cdecl* wkeLoadingFinishCallback)(wkeWebView view, void* param, wkeString url,
                                                int result, wkeString failed_reason);
typedef void(__cdecl* wkeConsoleCallback)(wkeWebView view, void* param, int level,
                                          wkeString message, wkeString source_name,
                                          unsigned source_line, wkeString stack_trace);
typedef jsValue(__cdecl* jsNativeFunction)(jsExecState state, void* param);

// What a page asks for when it opens a window; the headless view has no
// windows, so these are only passed on.
struct wkeWindowFeatures {
  int x;
  int y;
  int width;
  int height;
  bool menuBarVisible;
  bool statusBarVisible;
  bool toolBarVisible;
  bool locationBarVisible;
  bool scrollbarsVisible;
  bool resizable;
  bool fullscreen;
};

// Asked before a top-level navigation starts: true lets it go on. The bool
// result is read from the low byte of the register only.
typedef bool(__cdecl* wkeNavigationCallback)(wkeWebView view, void* param, int navigation_type,
                                             wkeString url);
// Asked when the page opens a window: null opens nothing, the view itself
// loads the URL there.
typedef wkeWebView(__cdecl* wkeCreateViewCallback)(wkeWebView view, void* param,
                                                   int navigation_type, wkeString url,
                                                   const wkeWindowFeatures* features);

namespace node_standin {

// Results of the loading-finished event.
enum LoadResult { kLoadSucceeded = 0, kLoadFailed = 1, kLoadCancelled = 2 };

// Why a navigation happens, as the navigation and new-view events say.
enum NavigationType {
  kNavigationLinkClick = 0,
  kNavigationFormSubmit = 1,
  kNavigationBackForward = 2,
  kNavigationReload = 3,
  kNavigationFormResubmit = 4,
  kNavigationOther = 5,  // script, redirects, the host's own load
};

// Levels of the console event.
enum ConsoleLevel {
  kConsoleLog = 1,
  kConsoleWarning = 2,
  kConsoleError = 3,
  kConsoleDebug = 4,
  kConsoleInfo = 5,
};

// An engine string handed to a callback; valid while the callback runs.
struct EngineString {
  std::u16string text;
};

}  // namespace node_standin
