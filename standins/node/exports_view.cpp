// The engine's view functions: creation, settings, events, painting, input
// and loading.
#include <atomic>
#include <string>

#include "standins/node/debug_config.h"
#include "standins/node/exports.h"
#include "standins/node/text_codec.h"
#include "standins/node/view.h"

using namespace node_standin;

namespace node_standin {

View* LiveView(wkeWebView view) { return View::Registry().Contains(view) ? view : nullptr; }

}  // namespace node_standin

namespace {

std::atomic<bool> g_initialized{false};

std::u16string Wide(const wchar_t* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

std::string MouseFields(int x, int y, int button, unsigned flags) {
  return "{\"clientX\":" + std::to_string(x) + ",\"clientY\":" + std::to_string(y) +
         ",\"button\":" + std::to_string(button) + ",\"buttons\":" + std::to_string(flags & 0x13) +
         ",\"ctrlKey\":" + ((flags & MK_CONTROL) ? "true" : "false") +
         ",\"shiftKey\":" + ((flags & MK_SHIFT) ? "true" : "false") + "}";
}

std::string KeyFields(unsigned code) {
  return "{\"keyCode\":" + std::to_string(code) + ",\"which\":" + std::to_string(code) +
         ",\"charCode\":" + std::to_string(code) + "}";
}

int Dispatch(wkeWebView handle, const char* type, const std::string& fields) {
  View* view = LiveView(handle);
  int consumed = view != nullptr && view->DispatchInput(type, fields) ? 1 : 0;
  View::ReapDestroyed();
  return consumed;
}

}  // namespace

NODE_API int __cdecl wkeIsInitialize() { return g_initialized ? 1 : 0; }
NODE_API void __cdecl wkeInitialize() { g_initialized = true; }
NODE_API void __cdecl wkeInit() { g_initialized = true; }
NODE_API void __cdecl wkeInitializeEx(const void* /*settings*/) { g_initialized = true; }

NODE_API wkeWebView __cdecl wkeCreateWebView() {
  g_initialized = true;
  return View::Create();
}

NODE_API void __cdecl wkeDestroyWebView(wkeWebView handle) {
  if (View* view = LiveView(handle)) view->Destroy();
  View::ReapDestroyed();
}

NODE_API void __cdecl wkeSetHandle(wkeWebView handle, HWND window) {
  if (View* view = LiveView(handle)) view->SetHostWindow(window);
}

NODE_API HWND __cdecl wkeGetHostHWND(wkeWebView handle) {
  View* view = LiveView(handle);
  return view ? view->host_window() : nullptr;
}

NODE_API void __cdecl wkeSetTransparent(wkeWebView handle, unsigned transparent) {
  if (View* view = LiveView(handle)) view->SetTransparent(BoolSlot(transparent));
}

NODE_API void __cdecl wkeOnPaintUpdated(wkeWebView handle, wkePaintUpdatedCallback callback,
                                        void* param) {
  if (View* view = LiveView(handle)) view->OnPaintUpdated(callback, param);
}

NODE_API void __cdecl wkeOnLoadingFinish(wkeWebView handle, wkeLoadingFinishCallback callback,
                                         void* param) {
  if (View* view = LiveView(handle)) view->OnLoadingFinish(callback, param);
}

NODE_API void __cdecl wkeOnConsole(wkeWebView handle, wkeConsoleCallback callback, void* param) {
  if (View* view = LiveView(handle)) view->OnConsole(callback, param);
}

NODE_API HDC __cdecl wkeGetViewDC(wkeWebView handle) {
  View* view = LiveView(handle);
  return view ? view->dc() : nullptr;
}

NODE_API void __cdecl wkeRepaintIfNeeded(wkeWebView handle) {
  if (View* view = LiveView(handle)) view->RepaintIfNeeded();
  View::ReapDestroyed();
}

NODE_API void __cdecl wkeResize(wkeWebView handle, int width, int height) {
  if (View* view = LiveView(handle)) view->Resize(width, height);
}

NODE_API int __cdecl wkeFireKeyDownEvent(wkeWebView view, unsigned key, unsigned flags, unsigned) {
  return Dispatch(view, "keydown", KeyFields(key));
}

NODE_API int __cdecl wkeFireKeyUpEvent(wkeWebView view, unsigned key, unsigned flags, unsigned) {
  return Dispatch(view, "keyup", KeyFields(key));
}

NODE_API int __cdecl wkeFireKeyPressEvent(wkeWebView view, unsigned code, unsigned flags,
                                          unsigned) {
  return Dispatch(view, "keypress", KeyFields(code));
}

NODE_API int __cdecl wkeFireMouseEvent(wkeWebView view, unsigned message, int x, int y,
                                       unsigned flags) {
  switch (message) {
    case WM_LBUTTONDOWN:
      return Dispatch(view, "mousedown", MouseFields(x, y, 0, flags));
    case WM_LBUTTONUP: {
      int up = Dispatch(view, "mouseup", MouseFields(x, y, 0, flags));
      return Dispatch(view, "click", MouseFields(x, y, 0, flags)) | up;
    }
    case WM_LBUTTONDBLCLK:
      return Dispatch(view, "dblclick", MouseFields(x, y, 0, flags));
    case WM_RBUTTONDOWN:
      return Dispatch(view, "mousedown", MouseFields(x, y, 2, flags));
    case WM_RBUTTONUP:
      return Dispatch(view, "mouseup", MouseFields(x, y, 2, flags));
    default:
      return 0;  // moves and the middle button have no listeners worth waking
  }
}

NODE_API int __cdecl wkeFireContextMenuEvent(wkeWebView view, int x, int y, unsigned flags) {
  return Dispatch(view, "contextmenu", MouseFields(x, y, 2, flags));
}

NODE_API int __cdecl wkeFireMouseWheelEvent(wkeWebView view, int x, int y, int delta,
                                            unsigned flags) {
  std::string fields = MouseFields(x, y, 0, flags);
  fields.insert(fields.size() - 1, ",\"deltaY\":" + std::to_string(-delta));
  return Dispatch(view, "wheel", fields);
}

NODE_API int __cdecl wkeFireWindowsMessage(wkeWebView, HWND, UINT, WPARAM, LPARAM, LRESULT*) {
  return 0;  // no native widgets here: nothing handles raw window messages
}

NODE_API void __cdecl wkeSetFocus(wkeWebView handle) {
  if (View* view = LiveView(handle)) view->SetFocused(true);
}

NODE_API void __cdecl wkeKillFocus(wkeWebView handle) {
  if (View* view = LiveView(handle)) view->SetFocused(false);
}

NODE_API void __cdecl wkeMoveToCenter(wkeWebView handle) {
  if (View* view = LiveView(handle)) view->MoveHostToCenter();
}

// The headless document has no editable field, so no caret: an empty
// rectangle at the view's origin. On 32-bit the caller removes the hidden
// result pointer, as with the real engine; 64-bit has one convention only.
#ifdef __i386__
#define NODE_CALLER_POPS_RESULT __attribute__((callee_pop_aggregate_return(0)))
#else
#define NODE_CALLER_POPS_RESULT
#endif
NODE_API NODE_CALLER_POPS_RESULT wkeRect __cdecl wkeGetCaretRect(wkeWebView) {
  return wkeRect{0, 0, 0, 0};
}

NODE_API void __cdecl wkeLoadW(wkeWebView handle, const wchar_t* url) {
  View* view = LiveView(handle);
  std::string address = Utf16ToUtf8(Wide(url));
  if (view != nullptr && !address.empty()) view->Navigate(address, kNavigationOther);
  View::ReapDestroyed();
}

NODE_API const char* __cdecl wkeGetURL(wkeWebView handle) {
  View* view = LiveView(handle);
  return view ? view->MainFrameUrl() : "";
}

// Frames: the headless view has its main frame only; its handle is stable.
NODE_API const void* __cdecl wkeWebFrameGetMainFrame(wkeWebView handle) {
  View* view = LiveView(handle);
  return view ? view->main_frame() : nullptr;
}

NODE_API int __cdecl wkeIsMainFrame(wkeWebView handle, const void* frame) {
  View* view = LiveView(handle);
  return view != nullptr && frame != nullptr && frame == view->main_frame() ? 1 : 0;
}

NODE_API const char* __cdecl wkeGetFrameUrl(wkeWebView handle, const void* frame) {
  View* view = LiveView(handle);
  if (view == nullptr || frame == nullptr || frame != view->main_frame()) return "";
  return view->MainFrameUrl();
}

NODE_API void __cdecl wkeOnNavigation(wkeWebView handle, wkeNavigationCallback callback,
                                      void* param) {
  if (View* view = LiveView(handle)) view->OnNavigation(callback, param);
}

NODE_API void __cdecl wkeOnCreateView(wkeWebView handle, wkeCreateViewCallback callback,
                                      void* param) {
  if (View* view = LiveView(handle)) view->OnCreateView(callback, param);
}

NODE_API void __cdecl wkeSetNavigationToNewWindowEnable(wkeWebView handle, unsigned enabled) {
  if (View* view = LiveView(handle)) view->SetNewWindowEnabled(BoolSlot(enabled));
}

NODE_API void __cdecl wkeSetLocalStorageFullPath(wkeWebView handle, const wchar_t* path) {
  View* view = LiveView(handle);
  if (view != nullptr && path != nullptr) view->SetLocalStorageFolder(path);
}

NODE_API void __cdecl wkeSetDebugConfig(wkeWebView handle, const char* name, const char* value) {
  if (LiveView(handle) == nullptr || name == nullptr) return;
  RecordDebugConfig(name, value ? value : "");
}

// Test hooks of the stand-in: what the developer-tools switch recorded, and
// shorter time limits.
NODE_API int __cdecl nodeStandinDebugConfigCount() { return DebugConfigCount("showDevTools"); }

NODE_API const char* __cdecl nodeStandinLastDebugConfig(const char* name) {
  static thread_local std::string value;
  if (name == nullptr || !LastDebugConfig(name, &value)) return nullptr;
  return value.c_str();
}
