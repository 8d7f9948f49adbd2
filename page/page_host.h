#pragma once
// PageHost ties one engine web view to one existing window: it subclasses the
// window so that paint, input, focus, cursor and input-method messages reach
// the view, paints the view into the window (per-pixel alpha when the window
// is layered), offers 5-pixel resize borders, and wraps the engine's per-view
// calls. Everything here runs on the GUI thread that owns the window; other
// threads reach the page through the page message (page/script_bridge.h).
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "ext/node_api.h"
#include "log/text_encoding.h"

class PageHost {
 public:
  // The engine events a handler can be registered for, in slot order.
  enum Event {
    kTitleChanged,
    kUrlChanged,
    kUrlChanged2,
    kAlertBox,
    kConfirmBox,
    kPromptBox,
    kNavigation,
    kCreateView,
    kDocumentReady,
    kDocumentReady2,
    kLoadingFinish,
    kDownload,
    kConsole,
    kLoadUrlBegin,
    kLoadUrlEnd,
    kPaintUpdated,
    kDidCreateScriptContext,
    kWillReleaseScriptContext,
    kNetResponse,
    kMouseOverUrlChanged,
    kWillMediaLoad,
    kEventCount
  };

  PageHost() = default;
  // Destroying an attached host detaches it (view destroyed, window restored).
  ~PageHost();
  // A copy takes the settings (handlers, filter, resize border, maximized
  // rectangle, tracking sizes) but never the binding: the view and the window
  // stay owned by the original, so destroying the copy cannot destroy them.
  PageHost(const PageHost& other);
  PageHost& operator=(const PageHost& other);

  // Binding and the window procedure.
  LRESULT WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Applies the maximized rectangle and the tracking sizes to the record;
  // true when it changed something (the message is then handled).
  bool OnGetMinMaxInfo(MINMAXINFO* info) const;
  // The resize-border hit-test code for a screen point packed as in WM_NCHITTEST.
  LRESULT HitTest(LPARAM lparam) const;
  void ClearHandlers();
  // True when a new view was created and bound to the window; false, without
  // touching the window, when already attached, when the handle is not a
  // window or when the engine gives no view.
  bool Attach(HWND window, bool transparent, bool click_through = false);
  void Detach();

  // Host state.
  HWND GetHostWindow() const;
  void SetMaximizedRect(int x, int y, int width, int height);
  void SetResizeBorder(bool on) { resize_border_ = on ? 1 : 0; }
  wkeWebView GetView() const { return view_; }
  HWND window() const { return window_; }
  void SetMaxTrackSize(int width, int height) { max_track_size_ = {width, height}; }
  void SetMinTrackSize(int width, int height) { min_track_size_ = {width, height}; }
  void SetMessageFilter(WNDPROC filter) { message_filter_ = filter; }
  void MoveToCenter();
  // The handler stored for an event, or null.
  const void* Handler(Event event) const { return handlers_[event]; }

  // Settings.
  void SetDebugConfig(const char* name, const std::string& value);  // value sent as UTF-8
  void SetDebugConfigRaw(const char* name, const char* value);
  void SetNavigationToNewWindowEnable(bool on);
  void SetTouchEnabled(bool on);
  void SetNpapiPluginsEnabled(bool on);
  void SetHeadlessEnabled(bool on);
  void SetDragEnable(bool on);
  void SetMemoryCacheEnable(bool on);
  void SetViewProxy(int type, const std::string& host, unsigned short port, const std::string& user,
                    const std::string& password);
  const char* GetName() const;
  void SetName(const char* name);
  void Sleep();
  void Wake();
  bool IsAwake() const;

  // Loading; the text variants take code page 936.
  void SetUserAgent(const std::string& agent);
  void SetUserAgentW(const wchar_t* agent);
  void LoadW(const wchar_t* url);
  void Load(const std::string& url);
  void LoadURLW(const wchar_t* url);
  void LoadURL(const std::string& url);
  void LoadHTMLW(const wchar_t* html);
  void LoadHTML(const std::string& html);
  void LoadFileW(const wchar_t* path);
  void LoadFile(const std::string& path);
  void PostURLW(const wchar_t* url, const Bytes& post_data);
  void PostURL(const std::string& url, const Bytes& post_data);

  // Page state, navigation and editing.
  const char* GetURLRaw() const;  // UTF-8 as the engine gives it
  std::string GetURL() const;     // code page 936
  bool IsLoading() const;
  bool IsLoadingSucceeded() const;
  bool IsLoadingFailed() const;
  bool IsLoadingCompleted() const;
  bool IsDocumentReady() const;
  void StopLoading();
  void Reload();
  std::string GetTitle() const;  // code page 936
  Bytes GetTitleBytes() const;   // UTF-16LE, no terminator
  int GetWidth() const;
  int GetHeight() const;
  int GetContentWidth() const;
  int GetContentHeight() const;
  bool CanGoBack() const;
  bool GoBack();
  bool CanGoForward() const;
  bool GoForward();
  void EditorSelectAll();
  void EditorUnSelect();
  void EditorCopy();
  void EditorCut();
  void EditorPaste();
  void EditorDelete();
  void EditorUndo();
  void EditorRedo();

  // Cookies, storage, media and focus.
  std::string GetCookie() const;  // code page 936
  Bytes GetCookieBytes() const;   // UTF-16LE, no terminator
  void SetCookie(const char* url, const char* cookie);
  void SetCookieEnabled(bool on);
  bool IsCookieEnabled() const;
  void SetCookieJarPathW(const wchar_t* path);
  void SetCookieJarPath(const std::string& path);
  void SetCookieJarFullPathW(const wchar_t* path);
  void SetCookieJarFullPath(const std::string& path);
  void SetLocalStorageFullPathW(const wchar_t* path);
  void SetLocalStorageFullPath(const std::string& path);
  void SetMediaVolume(float volume);
  float GetMediaVolume() const;
  void SetFocus();
  void KillFocus();

  // Script.
  jsValue RunScriptW(const wchar_t* script);
  jsValue RunScript(const std::string& script);  // code page 936
  jsValue RunJS(const char* utf8_script);
  jsValue RunJsByFrame(wkeWebFrameHandle frame, const char* utf8_script, bool in_closure);
  jsValue RunJsByFrameText(wkeWebFrameHandle frame, const std::string& script, bool in_closure);
  void GetMainWorldScriptContext(wkeWebFrameHandle frame, void* context_out);
  jsExecState GlobalExec() const;

  // Miscellaneous engine calls.
  void SetZoomFactor(float factor);
  float GetZoomFactor() const;
  void SetEditable(bool on);
  int GetCursorInfoType() const;
  void SetUserKeyValue(const char* key, void* value);
  void* GetUserKeyValue(const char* key) const;
  void SetDragFiles(POINT client, POINT screen, const std::vector<std::string>& files);
  wkeWebFrameHandle GetMainFrame() const;
  void SetCspCheckEnable(bool on);
  void SetViewNetInterface(const char* name);
  bool IsMainFrame(wkeWebFrameHandle frame) const;
  bool IsWebRemoteFrame(wkeWebFrameHandle frame) const;
  // The whole page as a top-down 32-bit BMP file; empty without a view or
  // when the page reports no usable size.
  Bytes CapturePage();
  void GC(long interval_seconds);
  void SetDeviceParameter(const char* device, const char* text, int number, float real);

  // Event registration: stores the handler and registers it with the view.
  void OnTitleChanged(wkeTitleChangedCallback handler, void* param);
  void OnURLChanged(wkeUrlChangedCallback handler, void* param);
  void OnURLChanged2(wkeUrlChanged2Callback handler, void* param);
  void OnAlertBox(wkeAlertBoxCallback handler, void* param);
  void OnConfirmBox(wkeConfirmBoxCallback handler, void* param);
  void OnPromptBox(wkePromptBoxCallback handler, void* param);
  void OnNavigation(wkeNavigationCallback handler, void* param);
  void OnCreateView(wkeCreateViewCallback handler, void* param);
  void OnDocumentReady(wkeDocumentReadyCallback handler, void* param);
  void OnDocumentReady2(wkeDocumentReady2Callback handler, void* param);
  void OnLoadingFinish(wkeLoadingFinishCallback handler, void* param);
  void OnDownload(wkeDownloadCallback handler, void* param);
  void OnConsole(wkeConsoleCallback handler, void* param);
  void OnLoadUrlBegin(wkeLoadUrlBeginCallback handler, void* param);
  void OnLoadUrlEnd(wkeLoadUrlEndCallback handler, void* param);
  void OnDidCreateScriptContext(wkeDidCreateScriptContextCallback handler, void* param);
  void OnWillReleaseScriptContext(wkeWillReleaseScriptContextCallback handler, void* param);
  void OnNetResponse(wkeNetResponseCallback handler, void* param);
  void OnMouseOverUrlChanged(wkeMouseOverUrlChangedCallback handler, void* param);
  void OnWillMediaLoad(wkeWillMediaLoadCallback handler, void* param);

  // The engine's paint-updated event: copies the changed view into the window
  // (parameter = the window handle).
  static void __cdecl OnPaintUpdated(wkeWebView view, void* window, HDC engine_dc, int x, int y,
                                     int cx, int cy);
  // The procedure installed on the bound window; finds its host through the
  // window property.
  static LRESULT CALLBACK EntryProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  LRESULT CallPrevious(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnPaint(HWND window);
  LRESULT OnKey(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMouse(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnContextMenu(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMouseWheel(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void OnImeStartComposition(HWND window);
  void CopySettings(const PageHost& other);
  template <typename Callback, typename Registration>
  void Register(Event event, Callback handler, void* param, Registration registration);

  wkeWebView view_ = nullptr;
  WNDPROC previous_procedure_ = nullptr;
  HWND window_ = nullptr;
  int resize_border_ = 0;
  RECT maximized_rect_ = {0, 0, 0, 0};
  std::array<void*, kEventCount> handlers_{};
  POINT max_track_size_ = {0, 0};
  POINT min_track_size_ = {0, 0};
  WNDPROC message_filter_ = nullptr;
};

// The part of the client area that WM_PAINT copies from the view: all of it,
// narrowed to the paint rectangle unless that is empty in either direction.
RECT HostPaintArea(const RECT& client, const RECT& paint);

// Window property under which a bound window keeps its PageHost.
inline constexpr const char kHostWindowProperty[] = "wkeEThis";

// The engine's one-time start: wkeInitialize and the Tab-key hook, unless the
// engine reports itself initialised already.
void InitializeEngine();
// True once the Tab-key hook of this process is installed.
bool TabKeyHookInstalled();
// WH_GETMESSAGE hook: dispatches a Tab key-down the moment it leaves the
// queue, so the page sees Tab even when the message loop would swallow it.
LRESULT CALLBACK TabKeyHook(int code, WPARAM wparam, LPARAM lparam);
