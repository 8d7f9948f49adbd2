// The engine's C interface: every function and callback in the C calling
// convention, exported under its plain name. Handles are pointers to our own
// objects; a null view is accepted everywhere and does nothing.
#include <windows.h>
#include <winsock2.h>

#include <string>

#include "input_events.h"
#include "web_view.h"

#define NODE_API extern "C" __declspec(dllexport)

struct wkeRect {
  int x, y, w, h;
};
struct wkeSettings;

namespace {
bool g_initialized = false;

// Texts handed out by jsToTempStringW stay valid for the next this many calls.
constexpr int kTempStringSlots = 64;

const wchar_t* KeepTempString(std::wstring text) {
  static thread_local std::wstring slots[kTempStringSlots];
  static thread_local int next = 0;
  std::wstring& slot = slots[next];
  next = (next + 1) % kTempStringSlots;
  slot = std::move(text);
  return slot.c_str();
}

ScriptValue ArgumentOf(ExecState* state, int index) {
  if (!state || index < 0 || index >= static_cast<int>(state->args.size())) {
    return ScriptValue::Undefined();
  }
  return state->args[index];
}
}  // namespace

NODE_API BOOL wkeIsInitialize() { return g_initialized ? TRUE : FALSE; }
NODE_API void wkeInitialize() { g_initialized = true; }
NODE_API void wkeInit() { g_initialized = true; }
NODE_API void wkeInitializeEx(const wkeSettings*) { g_initialized = true; }

NODE_API WebView* wkeCreateWebView() {
  auto* view = new WebView();
  if (view->Create()) return view;
  WebView::Destroy(view);
  return nullptr;
}

NODE_API void wkeDestroyWebView(WebView* view) {
  if (view) WebView::Destroy(view);
}

NODE_API void wkeSetHandle(WebView* view, HWND window) {
  if (view) view->SetHostWindow(window);
}
NODE_API HWND wkeGetHostHWND(WebView* view) { return view ? view->host_window() : nullptr; }

NODE_API void wkeSetTransparent(WebView* view, bool transparent) {
  if (view) view->SetTransparent(transparent);
}

NODE_API void wkeOnPaintUpdated(WebView* view, PaintUpdatedCallback callback, void* param) {
  if (view) view->OnPaintUpdated(callback, param);
}
NODE_API void wkeOnLoadingFinish(WebView* view, LoadingFinishCallback callback, void* param) {
  if (view) view->OnLoadingFinish(callback, param);
}
NODE_API void wkeOnConsole(WebView* view, ConsoleCallback callback, void* param) {
  if (view) view->OnConsole(callback, param);
}

NODE_API HDC wkeGetViewDC(WebView* view) { return view ? view->dc() : nullptr; }
// Frames arrive by themselves and are painted as they come.
NODE_API void wkeRepaintIfNeeded(WebView*) {}
NODE_API void wkeResize(WebView* view, int width, int height) {
  if (view) view->Resize(width, height);
}

NODE_API BOOL wkeFireKeyDownEvent(WebView* view, unsigned key, unsigned flags, bool system) {
  return view && view->FireKey(KeyDownParams(key, flags, system)) ? TRUE : FALSE;
}
NODE_API BOOL wkeFireKeyUpEvent(WebView* view, unsigned key, unsigned flags, bool system) {
  return view && view->FireKey(KeyUpParams(key, flags, system)) ? TRUE : FALSE;
}
NODE_API BOOL wkeFireKeyPressEvent(WebView* view, unsigned code, unsigned flags, bool system) {
  return view && view->FireKey(KeyPressParams(code, flags, system)) ? TRUE : FALSE;
}
NODE_API BOOL wkeFireMouseEvent(WebView* view, unsigned message, int x, int y, unsigned flags) {
  return view && view->FireMouse(message, x, y, flags) ? TRUE : FALSE;
}
NODE_API BOOL wkeFireContextMenuEvent(WebView* view, int x, int y, unsigned flags) {
  return view && view->FireContextMenu(x, y, flags) ? TRUE : FALSE;
}
NODE_API BOOL wkeFireMouseWheelEvent(WebView* view, int x, int y, int delta, unsigned flags) {
  return view && view->FireWheel(x, y, delta, flags) ? TRUE : FALSE;
}
// The browser keeps its own cursor; the host window's stays as it is.
NODE_API BOOL wkeFireWindowsMessage(WebView*, HWND, UINT, WPARAM, LPARAM, LRESULT* result) {
  if (result) *result = 0;
  return FALSE;
}

// Focus follows the page's own elements in a headless browser.
NODE_API void wkeSetFocus(WebView*) {}
NODE_API void wkeKillFocus(WebView*) {}
NODE_API void wkeMoveToCenter(WebView* view) {
  if (view) view->MoveToCenter();
}
NODE_API wkeRect wkeGetCaretRect(WebView*) { return wkeRect{0, 0, 0, 0}; }

NODE_API void wkeLoadW(WebView* view, const wchar_t* url) {
  if (view && url) view->Load(url);
}
NODE_API void wkeSetLocalStorageFullPath(WebView* view, const wchar_t* path) {
  if (view && path) view->SetLocalStoragePath(path);
}
NODE_API void wkeSetDebugConfig(WebView* view, const char* name, const char* value) {
  if (view && name) view->SetDebugConfig(name, value ? value : "");
}

NODE_API jsValue wkeRunJSW(WebView* view, const wchar_t* script) {
  if (!view || !script) return StoreValue(ScriptValue::Undefined());
  return view->RunScript(script);
}
NODE_API ExecState* wkeGlobalExec(WebView* view) { return view ? view->global_state() : nullptr; }
NODE_API const wchar_t* wkeGetStringW(EngineString* text) {
  return text ? text->text.c_str() : L"";
}

NODE_API void wkeJsBindFunction(const char* name, NativeFunction function, void* param,
                                unsigned /*argument_count: the page may pass any number*/) {
  if (name && *name) BindNativeFunction(name, function, param);
}

NODE_API jsValue jsArg(ExecState* state, int index) { return StoreValue(ArgumentOf(state, index)); }
NODE_API const wchar_t* jsToTempStringW(ExecState*, jsValue value) {
  return KeepTempString(LoadValue(value).ToText());
}
NODE_API int jsToInt(ExecState*, jsValue value) { return LoadValue(value).ToInt(); }
NODE_API jsValue jsUndefined() { return StoreValue(ScriptValue::Undefined()); }
NODE_API jsValue jsFalse() { return StoreValue(ScriptValue::Bool(false)); }
NODE_API jsValue jsInt(int value) { return StoreValue(ScriptValue::Int(value)); }
NODE_API jsValue jsBoolean(bool value) { return StoreValue(ScriptValue::Bool(value)); }
NODE_API jsValue jsStringW(ExecState*, const wchar_t* text) {
  return StoreValue(ScriptValue::String(text ? text : L""));
}

// The calling frame's context: a bound function's state reads the global
// object of the frame that called it, not the main frame's.
NODE_API jsValue jsGlobalObject(ExecState* state) {
  if (!state || !state->view) return StoreValue(ScriptValue::Undefined());
  return StoreValue(state->view->GlobalObject(state));
}
NODE_API jsValue jsGetGlobal(ExecState* state, const char* name) {
  if (!state || !state->view || !name) return StoreValue(ScriptValue::Undefined());
  WebView* view = state->view;
  return StoreValue(view->ReadProperty(view->GlobalObject(state), name));
}
NODE_API jsValue jsGet(ExecState* state, jsValue object, const char* name) {
  if (!state || !state->view || !name) return StoreValue(ScriptValue::Undefined());
  return StoreValue(state->view->ReadProperty(LoadValue(object), name));
}
NODE_API WebView* jsGetWebView(ExecState* state) { return state ? state->view : nullptr; }

namespace {
// UTF-8 texts handed out by the URL functions, valid until the next such call.
const char* KeepUrl(std::string url) {
  static thread_local std::string kept;
  kept = std::move(url);
  return kept.c_str();
}
// The engine has one frame handle the program can know: the main frame's.
void* const kMainFrame = reinterpret_cast<void*>(1);
}  // namespace

NODE_API const char* wkeGetURL(WebView* view) { return KeepUrl(view ? view->MainFrameUrl() : ""); }
NODE_API void* wkeWebFrameGetMainFrame(WebView* view) { return view ? kMainFrame : nullptr; }
NODE_API bool wkeIsMainFrame(WebView* view, void* frame) { return view && frame == kMainFrame; }
NODE_API const char* wkeGetFrameUrl(WebView* view, void* frame) {
  return KeepUrl(view && frame == kMainFrame ? view->MainFrameUrl() : "");
}

NODE_API void wkeOnNavigation(WebView* view, NavigationCallback callback, void* param) {
  if (view) view->OnNavigation(callback, param);
}
NODE_API void wkeOnCreateView(WebView* view, CreateViewCallback callback, void* param) {
  if (view) view->OnCreateView(callback, param);
}
NODE_API void wkeSetNavigationToNewWindowEnable(WebView* view, bool enabled) {
  if (view) view->SetNewWindowEnabled(enabled);
}
