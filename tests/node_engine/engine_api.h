#pragma once
// The engine's C interface as a host sees it, written from its published
// binary interface, and loaded from node.dll by name the way the program
// does. Bool parameters are declared as the 4-byte slots they occupy, so
// tests can put garbage above the low byte.
// winsock2.h (used by the harness) must come before windows.h.
#include <windows.h>
#include <winsock2.h>

#include <cstdint>

namespace engine_test {

typedef int64_t jsValue;
typedef void* wkeWebView;
typedef void* wkeString;
typedef void* jsExecState;
struct wkeRect {
  int x, y, w, h;
};

typedef void(__cdecl* PaintUpdated)(wkeWebView, void*, HDC, int, int, int, int);
typedef void(__cdecl* LoadingFinish)(wkeWebView, void*, wkeString, int, wkeString);
typedef void(__cdecl* Console)(wkeWebView, void*, int, wkeString, wkeString, unsigned, wkeString);
typedef jsValue(__cdecl* NativeFunction)(jsExecState, void*);
struct wkeWindowFeatures {
  int x, y, width, height;
  bool menuBarVisible, statusBarVisible, toolBarVisible, locationBarVisible, scrollbarsVisible,
      resizable, fullscreen;
};
// Declared with the whole register as result, so tests can set bits above the
// low byte that the engine must ignore.
typedef unsigned(__cdecl* NavigationCallback)(wkeWebView, void*, int, wkeString);
typedef wkeWebView(__cdecl* CreateViewCallback)(wkeWebView, void*, int, wkeString,
                                                const wkeWindowFeatures*);

#define ENGINE_FUNCTIONS(X)                                                                 \
  X(wkeIsInitialize, int(__cdecl*)())                                                       \
  X(wkeInitialize, void(__cdecl*)())                                                        \
  X(wkeInit, void(__cdecl*)())                                                              \
  X(wkeInitializeEx, void(__cdecl*)(const void*))                                           \
  X(wkeCreateWebView, wkeWebView(__cdecl*)())                                               \
  X(wkeDestroyWebView, void(__cdecl*)(wkeWebView))                                          \
  X(wkeSetHandle, void(__cdecl*)(wkeWebView, HWND))                                         \
  X(wkeGetHostHWND, HWND(__cdecl*)(wkeWebView))                                             \
  X(wkeSetTransparent, void(__cdecl*)(wkeWebView, unsigned))                                \
  X(wkeOnPaintUpdated, void(__cdecl*)(wkeWebView, PaintUpdated, void*))                     \
  X(wkeOnLoadingFinish, void(__cdecl*)(wkeWebView, LoadingFinish, void*))                   \
  X(wkeOnConsole, void(__cdecl*)(wkeWebView, Console, void*))                               \
  X(wkeGetViewDC, HDC(__cdecl*)(wkeWebView))                                                \
  X(wkeRepaintIfNeeded, void(__cdecl*)(wkeWebView))                                         \
  X(wkeResize, void(__cdecl*)(wkeWebView, int, int))                                        \
  X(wkeFireKeyDownEvent, int(__cdecl*)(wkeWebView, unsigned, unsigned, unsigned))           \
  X(wkeFireKeyUpEvent, int(__cdecl*)(wkeWebView, unsigned, unsigned, unsigned))             \
  X(wkeFireKeyPressEvent, int(__cdecl*)(wkeWebView, unsigned, unsigned, unsigned))          \
  X(wkeFireMouseEvent, int(__cdecl*)(wkeWebView, unsigned, int, int, unsigned))             \
  X(wkeFireContextMenuEvent, int(__cdecl*)(wkeWebView, int, int, unsigned))                 \
  X(wkeFireMouseWheelEvent, int(__cdecl*)(wkeWebView, int, int, int, unsigned))             \
  X(wkeFireWindowsMessage, int(__cdecl*)(wkeWebView, HWND, UINT, WPARAM, LPARAM, LRESULT*)) \
  X(wkeSetFocus, void(__cdecl*)(wkeWebView))                                                \
  X(wkeKillFocus, void(__cdecl*)(wkeWebView))                                               \
  X(wkeMoveToCenter, void(__cdecl*)(wkeWebView))                                            \
  X(wkeGetCaretRect, wkeRect(__cdecl*)(wkeWebView))                                         \
  X(wkeLoadW, void(__cdecl*)(wkeWebView, const wchar_t*))                                   \
  X(wkeSetLocalStorageFullPath, void(__cdecl*)(wkeWebView, const wchar_t*))                 \
  X(wkeSetDebugConfig, void(__cdecl*)(wkeWebView, const char*, const char*))                \
  X(wkeRunJSW, jsValue(__cdecl*)(wkeWebView, const wchar_t*))                               \
  X(wkeGlobalExec, jsExecState(__cdecl*)(wkeWebView))                                       \
  X(wkeGetStringW, const wchar_t*(__cdecl*)(wkeString))                                     \
  X(wkeJsBindFunction, void(__cdecl*)(const char*, NativeFunction, void*, unsigned))        \
  X(jsArg, jsValue(__cdecl*)(jsExecState, int))                                             \
  X(jsToTempStringW, const wchar_t*(__cdecl*)(jsExecState, jsValue))                        \
  X(jsToInt, int(__cdecl*)(jsExecState, jsValue))                                           \
  X(jsUndefined, jsValue(__cdecl*)())                                                       \
  X(jsFalse, jsValue(__cdecl*)())                                                           \
  X(jsInt, jsValue(__cdecl*)(int))                                                          \
  X(jsBoolean, jsValue(__cdecl*)(unsigned))                                                 \
  X(jsStringW, jsValue(__cdecl*)(jsExecState, const wchar_t*))                              \
  X(jsGetGlobal, jsValue(__cdecl*)(jsExecState, const char*))                               \
  X(jsGet, jsValue(__cdecl*)(jsExecState, jsValue, const char*))                            \
  X(jsGlobalObject, jsValue(__cdecl*)(jsExecState))                                         \
  X(jsGetWebView, wkeWebView(__cdecl*)(jsExecState))                                        \
  X(wkeGetURL, const char*(__cdecl*)(wkeWebView))                                           \
  X(wkeGetFrameUrl, const char*(__cdecl*)(wkeWebView, void*))                               \
  X(wkeIsMainFrame, int(__cdecl*)(wkeWebView, void*))                                       \
  X(wkeWebFrameGetMainFrame, void*(__cdecl*)(wkeWebView))                                   \
  X(wkeOnNavigation, void(__cdecl*)(wkeWebView, NavigationCallback, void*))                 \
  X(wkeOnCreateView, void(__cdecl*)(wkeWebView, CreateViewCallback, void*))                 \
  X(wkeSetNavigationToNewWindowEnable, void(__cdecl*)(wkeWebView, unsigned))                \
  X(nodeStandinDebugConfigCount, int(__cdecl*)())                                           \
  X(nodeStandinLastDebugConfig, const char*(__cdecl*)(const char*))                         \
  X(nodeStandinSetFetchTimeout, void(__cdecl*)(unsigned))                                   \
  X(nodeStandinSetScriptTimeLimit, void(__cdecl*)(unsigned))

struct EngineApi {
#define ENGINE_POINTER(name, type) \
  using name##_type = type;        \
  name##_type name = nullptr;
  ENGINE_FUNCTIONS(ENGINE_POINTER)
#undef ENGINE_POINTER
  // Loads node.dll from the test's folder; false when it or a function is missing.
  bool Load();
  HMODULE module = nullptr;
};

// The one loaded table for all tests.
EngineApi& Engine();

}  // namespace engine_test
