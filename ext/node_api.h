#pragma once
// The embedded browser engine node.dll: the C calling convention for every
// function and every callback; script values are 64-bit integers; texts are
// UTF-16 except where a function takes UTF-8 (char*).
#include <windows.h>

#include <cstdint>

#include "ext/runtime_library.h"

typedef void* wkeWebView;
typedef void* wkeString;
typedef void* jsExecState;
typedef void* wkeWebFrameHandle;
typedef int64_t jsValue;

struct wkeRect {
  int x;
  int y;
  int w;
  int h;
};

// Proxy settings of a view: kind 0 is no proxy; texts are code page 936.
struct wkeProxy {
  int type;
  char hostname[100];
  unsigned short port;
  char username[50];
  char password[50];
};

// Native function bound to a global script function: gets the execution
// state of the call and the parameter given at binding.
typedef jsValue(__cdecl* jsNativeFunction)(jsExecState state, void* param);

// Event callbacks; the first two arguments are always (view, parameter).
typedef void(__cdecl* wkePaintUpdatedCallback)(wkeWebView, void*, HDC, int x, int y, int cx,
                                               int cy);
typedef void(__cdecl* wkeLoadingFinishCallback)(wkeWebView, void*, wkeString url, int result,
                                                wkeString failed_reason);
typedef void(__cdecl* wkeConsoleCallback)(wkeWebView, void*, int level, wkeString message,
                                          wkeString source, unsigned line, wkeString stack);
typedef void(__cdecl* wkeTitleChangedCallback)(wkeWebView, void*, wkeString title);
typedef void(__cdecl* wkeUrlChangedCallback)(wkeWebView, void*, wkeString url);
typedef void(__cdecl* wkeUrlChanged2Callback)(wkeWebView, void*, wkeWebFrameHandle, wkeString url);
typedef void(__cdecl* wkeAlertBoxCallback)(wkeWebView, void*, wkeString message);
typedef bool(__cdecl* wkeConfirmBoxCallback)(wkeWebView, void*, wkeString message);
typedef bool(__cdecl* wkePromptBoxCallback)(wkeWebView, void*, wkeString message,
                                            wkeString default_result, wkeString result);
typedef bool(__cdecl* wkeNavigationCallback)(wkeWebView, void*, int navigation_type, wkeString url);
typedef wkeWebView(__cdecl* wkeCreateViewCallback)(wkeWebView, void*, int navigation_type,
                                                   wkeString url, const void* features);
typedef void(__cdecl* wkeDocumentReadyCallback)(wkeWebView, void*);
typedef void(__cdecl* wkeDocumentReady2Callback)(wkeWebView, void*, wkeWebFrameHandle);
typedef bool(__cdecl* wkeDownloadCallback)(wkeWebView, void*, const char* url);
typedef bool(__cdecl* wkeLoadUrlBeginCallback)(wkeWebView, void*, const char* url, void* job);
typedef void(__cdecl* wkeLoadUrlEndCallback)(wkeWebView, void*, const char* url, void* job,
                                             void* buffer, int length);
typedef void(__cdecl* wkeDidCreateScriptContextCallback)(wkeWebView, void*, wkeWebFrameHandle,
                                                         void* context, int extension_group,
                                                         int world_id);
typedef void(__cdecl* wkeWillReleaseScriptContextCallback)(wkeWebView, void*, wkeWebFrameHandle,
                                                           void* context, int world_id);
typedef bool(__cdecl* wkeNetResponseCallback)(wkeWebView, void*, const char* url, void* job);
typedef void(__cdecl* wkeMouseOverUrlChangedCallback)(wkeWebView, void*, wkeString url);
typedef void(__cdecl* wkeWillMediaLoadCallback)(wkeWebView, void*, const char* url, void* info);

// bool arguments and results are the engine's one-byte bool in a 4-byte slot;
// reading a result as bool looks at the low byte only, which is what counts.
#define NODE_VIEW_FUNCTIONS(X)                                                               \
  X(wkeIsInitialize, bool(__cdecl*)())                                                       \
  X(wkeInitialize, void(__cdecl*)())                                                         \
  X(wkeCreateWebView, wkeWebView(__cdecl*)())                                                \
  X(wkeDestroyWebView, void(__cdecl*)(wkeWebView))                                           \
  X(wkeSetHandle, void(__cdecl*)(wkeWebView, HWND))                                          \
  X(wkeGetHostHWND, HWND(__cdecl*)(wkeWebView))                                              \
  X(wkeSetTransparent, void(__cdecl*)(wkeWebView, bool))                                     \
  X(wkeGetViewDC, HDC(__cdecl*)(wkeWebView))                                                 \
  X(wkeRepaintIfNeeded, void(__cdecl*)(wkeWebView))                                          \
  X(wkeResize, void(__cdecl*)(wkeWebView, int, int))                                         \
  X(wkePaint, void(__cdecl*)(wkeWebView, void* bits, int pitch))                             \
  X(wkeFireKeyDownEvent, bool(__cdecl*)(wkeWebView, unsigned, unsigned, bool))               \
  X(wkeFireKeyUpEvent, bool(__cdecl*)(wkeWebView, unsigned, unsigned, bool))                 \
  X(wkeFireKeyPressEvent, bool(__cdecl*)(wkeWebView, unsigned, unsigned, bool))              \
  X(wkeFireMouseEvent, bool(__cdecl*)(wkeWebView, unsigned, int, int, unsigned))             \
  X(wkeFireContextMenuEvent, bool(__cdecl*)(wkeWebView, int, int, unsigned))                 \
  X(wkeFireMouseWheelEvent, bool(__cdecl*)(wkeWebView, int, int, int, unsigned))             \
  X(wkeFireWindowsMessage, bool(__cdecl*)(wkeWebView, HWND, UINT, WPARAM, LPARAM, LRESULT*)) \
  X(wkeSetFocus, void(__cdecl*)(wkeWebView))                                                 \
  X(wkeKillFocus, void(__cdecl*)(wkeWebView))                                                \
  X(wkeGetCaretRect, wkeRect(__cdecl*)(wkeWebView))                                          \
  X(wkeMoveToCenter, void(__cdecl*)(wkeWebView))                                             \
  X(wkeSetDebugConfig, void(__cdecl*)(wkeWebView, const char*, const char*))                 \
  X(wkeSetNavigationToNewWindowEnable, void(__cdecl*)(wkeWebView, bool))                     \
  X(wkeSetTouchEnabled, void(__cdecl*)(wkeWebView, bool))                                    \
  X(wkeSetNpapiPluginsEnabled, void(__cdecl*)(wkeWebView, bool))                             \
  X(wkeSetHeadlessEnabled, void(__cdecl*)(wkeWebView, bool))                                 \
  X(wkeSetDragEnable, void(__cdecl*)(wkeWebView, bool))                                      \
  X(wkeSetMemoryCacheEnable, void(__cdecl*)(wkeWebView, bool))                               \
  X(wkeSetViewProxy, void(__cdecl*)(wkeWebView, wkeProxy*))                                  \
  X(wkeGetName, const char*(__cdecl*)(wkeWebView))                                           \
  X(wkeSetName, void(__cdecl*)(wkeWebView, const char*))                                     \
  X(wkeSleep, void(__cdecl*)(wkeWebView))                                                    \
  X(wkeWake, void(__cdecl*)(wkeWebView))                                                     \
  X(wkeIsAwake, bool(__cdecl*)(wkeWebView))                                                  \
  X(wkeSetUserAgentW, void(__cdecl*)(wkeWebView, const wchar_t*))                            \
  X(wkeLoadW, void(__cdecl*)(wkeWebView, const wchar_t*))                                    \
  X(wkeLoadURLW, void(__cdecl*)(wkeWebView, const wchar_t*))                                 \
  X(wkeLoadHTMLW, void(__cdecl*)(wkeWebView, const wchar_t*))                                \
  X(wkeLoadFileW, void(__cdecl*)(wkeWebView, const wchar_t*))                                \
  X(wkePostURLW, void(__cdecl*)(wkeWebView, const wchar_t*, const char*, int))               \
  X(wkeGetURL, const char*(__cdecl*)(wkeWebView))                                            \
  X(wkeIsLoading, bool(__cdecl*)(wkeWebView))                                                \
  X(wkeIsLoadingSucceeded, bool(__cdecl*)(wkeWebView))                                       \
  X(wkeIsLoadingFailed, bool(__cdecl*)(wkeWebView))                                          \
  X(wkeIsLoadingCompleted, bool(__cdecl*)(wkeWebView))                                       \
  X(wkeIsDocumentReady, bool(__cdecl*)(wkeWebView))                                          \
  X(wkeStopLoading, void(__cdecl*)(wkeWebView))                                              \
  X(wkeReload, void(__cdecl*)(wkeWebView))                                                   \
  X(wkeGetTitleW, const wchar_t*(__cdecl*)(wkeWebView))                                      \
  X(wkeGetWidth, int(__cdecl*)(wkeWebView))                                                  \
  X(wkeGetHeight, int(__cdecl*)(wkeWebView))                                                 \
  X(wkeGetContentWidth, int(__cdecl*)(wkeWebView))                                           \
  X(wkeGetContentHeight, int(__cdecl*)(wkeWebView))                                          \
  X(wkeCanGoBack, bool(__cdecl*)(wkeWebView))                                                \
  X(wkeGoBack, bool(__cdecl*)(wkeWebView))                                                   \
  X(wkeCanGoForward, bool(__cdecl*)(wkeWebView))                                             \
  X(wkeGoForward, bool(__cdecl*)(wkeWebView))                                                \
  X(wkeEditorSelectAll, void(__cdecl*)(wkeWebView))                                          \
  X(wkeEditorUnSelect, void(__cdecl*)(wkeWebView))                                           \
  X(wkeEditorCopy, void(__cdecl*)(wkeWebView))                                               \
  X(wkeEditorCut, void(__cdecl*)(wkeWebView))                                                \
  X(wkeEditorPaste, void(__cdecl*)(wkeWebView))                                              \
  X(wkeEditorDelete, void(__cdecl*)(wkeWebView))                                             \
  X(wkeEditorUndo, void(__cdecl*)(wkeWebView))                                               \
  X(wkeEditorRedo, void(__cdecl*)(wkeWebView))

#define NODE_STORAGE_AND_SCRIPT_FUNCTIONS(X)                                              \
  X(wkeGetCookie, const char*(__cdecl*)(wkeWebView))                                      \
  X(wkeGetCookieW, const wchar_t*(__cdecl*)(wkeWebView))                                  \
  X(wkeSetCookie, void(__cdecl*)(wkeWebView, const char* url, const char* cookie))        \
  X(wkeSetCookieEnabled, void(__cdecl*)(wkeWebView, bool))                                \
  X(wkeIsCookieEnabled, bool(__cdecl*)(wkeWebView))                                       \
  X(wkeSetCookieJarPath, void(__cdecl*)(wkeWebView, const wchar_t*))                      \
  X(wkeSetCookieJarFullPath, void(__cdecl*)(wkeWebView, const wchar_t*))                  \
  X(wkeSetLocalStorageFullPath, void(__cdecl*)(wkeWebView, const wchar_t*))               \
  X(wkeSetMediaVolume, void(__cdecl*)(wkeWebView, float))                                 \
  X(wkeGetMediaVolume, float(__cdecl*)(wkeWebView))                                       \
  X(wkeRunJSW, jsValue(__cdecl*)(wkeWebView, const wchar_t*))                             \
  X(wkeRunJS, jsValue(__cdecl*)(wkeWebView, const char*))                                 \
  X(wkeRunJsByFrame, jsValue(__cdecl*)(wkeWebView, wkeWebFrameHandle, const char*, bool)) \
  X(wkeWebFrameGetMainWorldScriptContext,                                                 \
    void(__cdecl*)(wkeWebView, wkeWebFrameHandle, void* context_out))                     \
  X(wkeGlobalExec, jsExecState(__cdecl*)(wkeWebView))                                     \
  X(wkeSetZoomFactor, void(__cdecl*)(wkeWebView, float))                                  \
  X(wkeGetZoomFactor, float(__cdecl*)(wkeWebView))                                        \
  X(wkeSetEditable, void(__cdecl*)(wkeWebView, bool))                                     \
  X(wkeGetCursorInfoType, int(__cdecl*)(wkeWebView))                                      \
  X(wkeSetUserKeyValue, void(__cdecl*)(wkeWebView, const char* key, void* value))         \
  X(wkeGetUserKeyValue, void*(__cdecl*)(wkeWebView, const char* key))                     \
  X(wkeSetDragFiles, void(__cdecl*)(wkeWebView, const POINT* client, const POINT* screen, \
                                    wkeString* files, int count))                         \
  X(wkeCreateStringW, wkeString(__cdecl*)(const wchar_t*, size_t length))                 \
  X(wkeGetStringW, const wchar_t*(__cdecl*)(wkeString))                                   \
  X(wkeWebFrameGetMainFrame, wkeWebFrameHandle(__cdecl*)(wkeWebView))                     \
  X(wkeSetCspCheckEnable, void(__cdecl*)(wkeWebView, bool))                               \
  X(wkeSetViewNetInterface, void(__cdecl*)(wkeWebView, const char*))                      \
  X(wkeIsMainFrame, bool(__cdecl*)(wkeWebView, wkeWebFrameHandle))                        \
  X(wkeIsWebRemoteFrame, bool(__cdecl*)(wkeWebView, wkeWebFrameHandle))                   \
  X(wkeGC, void(__cdecl*)(wkeWebView, long interval_seconds))                             \
  X(wkeSetDeviceParameter,                                                                \
    void(__cdecl*)(wkeWebView, const char* device, const char* text, int number, float real))

// Every event registration takes (view, callback, parameter).
#define NODE_EVENT_FUNCTIONS(X)                                                                  \
  X(wkeOnTitleChanged, void(__cdecl*)(wkeWebView, wkeTitleChangedCallback, void*))               \
  X(wkeOnURLChanged, void(__cdecl*)(wkeWebView, wkeUrlChangedCallback, void*))                   \
  X(wkeOnURLChanged2, void(__cdecl*)(wkeWebView, wkeUrlChanged2Callback, void*))                 \
  X(wkeOnAlertBox, void(__cdecl*)(wkeWebView, wkeAlertBoxCallback, void*))                       \
  X(wkeOnConfirmBox, void(__cdecl*)(wkeWebView, wkeConfirmBoxCallback, void*))                   \
  X(wkeOnPromptBox, void(__cdecl*)(wkeWebView, wkePromptBoxCallback, void*))                     \
  X(wkeOnNavigation, void(__cdecl*)(wkeWebView, wkeNavigationCallback, void*))                   \
  X(wkeOnCreateView, void(__cdecl*)(wkeWebView, wkeCreateViewCallback, void*))                   \
  X(wkeOnDocumentReady, void(__cdecl*)(wkeWebView, wkeDocumentReadyCallback, void*))             \
  X(wkeOnDocumentReady2, void(__cdecl*)(wkeWebView, wkeDocumentReady2Callback, void*))           \
  X(wkeOnLoadingFinish, void(__cdecl*)(wkeWebView, wkeLoadingFinishCallback, void*))             \
  X(wkeOnDownload, void(__cdecl*)(wkeWebView, wkeDownloadCallback, void*))                       \
  X(wkeOnConsole, void(__cdecl*)(wkeWebView, wkeConsoleCallback, void*))                         \
  X(wkeOnLoadUrlBegin, void(__cdecl*)(wkeWebView, wkeLoadUrlBeginCallback, void*))               \
  X(wkeOnLoadUrlEnd, void(__cdecl*)(wkeWebView, wkeLoadUrlEndCallback, void*))                   \
  X(wkeOnPaintUpdated, void(__cdecl*)(wkeWebView, wkePaintUpdatedCallback, void*))               \
  X(wkeOnDidCreateScriptContext,                                                                 \
    void(__cdecl*)(wkeWebView, wkeDidCreateScriptContextCallback, void*))                        \
  X(wkeOnWillReleaseScriptContext,                                                               \
    void(__cdecl*)(wkeWebView, wkeWillReleaseScriptContextCallback, void*))                      \
  X(wkeNetOnResponse, void(__cdecl*)(wkeWebView, wkeNetResponseCallback, void*))                 \
  X(wkeOnMouseOverUrlChanged, void(__cdecl*)(wkeWebView, wkeMouseOverUrlChangedCallback, void*)) \
  X(wkeOnWillMediaLoad, void(__cdecl*)(wkeWebView, wkeWillMediaLoadCallback, void*))

// Script values and bound functions.
#define NODE_SCRIPT_VALUE_FUNCTIONS(X)                                                 \
  X(wkeJsBindFunction, void(__cdecl*)(const char*, jsNativeFunction, void*, unsigned)) \
  X(jsArg, jsValue(__cdecl*)(jsExecState, int))                                        \
  X(jsToTempStringW, const wchar_t*(__cdecl*)(jsExecState, jsValue))                   \
  X(jsToInt, int(__cdecl*)(jsExecState, jsValue))                                      \
  X(jsUndefined, jsValue(__cdecl*)())                                                  \
  X(jsFalse, jsValue(__cdecl*)())                                                      \
  X(jsInt, jsValue(__cdecl*)(int))                                                     \
  X(jsBoolean, jsValue(__cdecl*)(bool))                                                \
  X(jsStringW, jsValue(__cdecl*)(jsExecState, const wchar_t*))                         \
  X(jsGetGlobal, jsValue(__cdecl*)(jsExecState, const char*))                          \
  X(jsGet, jsValue(__cdecl*)(jsExecState, jsValue, const char*))

#define NODE_DLL_FUNCTIONS(X)          \
  NODE_VIEW_FUNCTIONS(X)               \
  NODE_STORAGE_AND_SCRIPT_FUNCTIONS(X) \
  NODE_EVENT_FUNCTIONS(X)              \
  NODE_SCRIPT_VALUE_FUNCTIONS(X)

struct NodeApi {
  NODE_DLL_FUNCTIONS(LUMO_DECLARE_FUNCTION_POINTER)
};

// The functions of node.dll, looked up on first use from the program folder;
// a missing library or function leaves its pointer null.
const NodeApi& Node();

// Seam for tests: makes Node() answer with the given table (null restores the
// library's own). The table must outlive its use.
void SetNodeApiForTest(const NodeApi* table);
