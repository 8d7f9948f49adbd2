#pragma once
// The Chromium-backed node.dll as the program sees it: loaded by file name,
// every function found by its plain name and called in the C convention.
#include <windows.h>

#include <cstdint>
#include <string>

typedef void* wkeWebView;
typedef void* wkeString;
typedef void* jsExecState;
typedef int64_t jsValue;
typedef void(__cdecl* wkePaintUpdatedCallback)(wkeWebView, void*, HDC, int, int, int, int);
typedef void(__cdecl* wkeLoadingFinishCallback)(wkeWebView, void*, wkeString, int, wkeString);
typedef void(__cdecl* wkeConsoleCallback)(wkeWebView, void*, int, wkeString, wkeString, unsigned,
                                          wkeString);
typedef jsValue(__cdecl* wkeNativeFunction)(jsExecState, void*);
typedef bool(__cdecl* wkeNavigationCallback)(wkeWebView, void*, int, wkeString);
typedef wkeWebView(__cdecl* wkeCreateViewCallback)(wkeWebView, void*, int, wkeString, const void*);

#define ENGINE_FUNCTIONS(X)                                                             \
  X(wkeInitialize, void(__cdecl*)())                                                    \
  X(wkeIsInitialize, BOOL(__cdecl*)())                                                  \
  X(wkeCreateWebView, wkeWebView(__cdecl*)())                                           \
  X(wkeDestroyWebView, void(__cdecl*)(wkeWebView))                                      \
  X(wkeSetHandle, void(__cdecl*)(wkeWebView, HWND))                                     \
  X(wkeSetTransparent, void(__cdecl*)(wkeWebView, bool))                                \
  X(wkeOnPaintUpdated, void(__cdecl*)(wkeWebView, wkePaintUpdatedCallback, void*))      \
  X(wkeOnLoadingFinish, void(__cdecl*)(wkeWebView, wkeLoadingFinishCallback, void*))    \
  X(wkeOnConsole, void(__cdecl*)(wkeWebView, wkeConsoleCallback, void*))                \
  X(wkeGetViewDC, HDC(__cdecl*)(wkeWebView))                                            \
  X(wkeResize, void(__cdecl*)(wkeWebView, int, int))                                    \
  X(wkeFireMouseEvent, BOOL(__cdecl*)(wkeWebView, unsigned, int, int, unsigned))        \
  X(wkeFireKeyDownEvent, BOOL(__cdecl*)(wkeWebView, unsigned, unsigned, bool))          \
  X(wkeLoadW, void(__cdecl*)(wkeWebView, const wchar_t*))                               \
  X(wkeSetLocalStorageFullPath, void(__cdecl*)(wkeWebView, const wchar_t*))             \
  X(wkeSetDebugConfig, void(__cdecl*)(wkeWebView, const char*, const char*))            \
  X(wkeRunJSW, jsValue(__cdecl*)(wkeWebView, const wchar_t*))                           \
  X(wkeGlobalExec, jsExecState(__cdecl*)(wkeWebView))                                   \
  X(wkeGetStringW, const wchar_t*(__cdecl*)(wkeString))                                 \
  X(wkeJsBindFunction, void(__cdecl*)(const char*, wkeNativeFunction, void*, unsigned)) \
  X(jsArg, jsValue(__cdecl*)(jsExecState, int))                                         \
  X(jsToTempStringW, const wchar_t*(__cdecl*)(jsExecState, jsValue))                    \
  X(jsToInt, int(__cdecl*)(jsExecState, jsValue))                                       \
  X(jsUndefined, jsValue(__cdecl*)())                                                   \
  X(jsInt, jsValue(__cdecl*)(int))                                                      \
  X(jsBoolean, jsValue(__cdecl*)(bool))                                                 \
  X(jsStringW, jsValue(__cdecl*)(jsExecState, const wchar_t*))                          \
  X(jsGetGlobal, jsValue(__cdecl*)(jsExecState, const char*))                           \
  X(jsGet, jsValue(__cdecl*)(jsExecState, jsValue, const char*))                        \
  X(jsGlobalObject, jsValue(__cdecl*)(jsExecState))                                     \
  X(jsGetWebView, wkeWebView(__cdecl*)(jsExecState))                                    \
  X(wkeGetURL, const char*(__cdecl*)(wkeWebView))                                       \
  X(wkeOnNavigation, void(__cdecl*)(wkeWebView, wkeNavigationCallback, void*))          \
  X(wkeOnCreateView, void(__cdecl*)(wkeWebView, wkeCreateViewCallback, void*))          \
  X(wkeSetNavigationToNewWindowEnable, void(__cdecl*)(wkeWebView, bool))

struct Engine {
#define ENGINE_POINTER(name, type) \
  using name##_type = type;        \
  name##_type name = nullptr;
  ENGINE_FUNCTIONS(ENGINE_POINTER)
#undef ENGINE_POINTER
};

// Loads bin\chromium\node.dll beside the test program; null when it or a function is missing.
const Engine* LoadEngine();
// Folder of the test program, with a trailing backslash.
std::string ProgramFolder();
// Runs the GUI thread's messages until `done` holds or timeout_ms passes.
template <typename Done>
bool PumpUntil(Done done, int timeout_ms) {
  DWORD start = ::GetTickCount();
  for (;;) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    if (done()) return true;
    if (::GetTickCount() - start > static_cast<DWORD>(timeout_ms)) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}
