#pragma once
// One engine view: a headless browser page rendered off screen into the view's
// own device context, with its script, events and input.
//
// Threads: the view's public functions run on the thread that created it (the
// GUI thread). The DevTools reader thread turns events into tasks for the GUI
// thread (GuiQueue), so every callback of the program runs there. While the GUI
// thread waits for the browser (running a script), it still serves the page's
// calls of native functions, which is what keeps a script that calls one from
// deadlocking.
//
// The browser is started, and started again whenever it dies, on the view's
// restart thread, which alone owns the browser process: it starts the browser
// and prepares a page connection, then hands that to the GUI thread, which
// re-applies the view's state to it (size, background, bound functions) and
// loads the view's last URL. Until then every call that needs the browser
// fails at once instead of waiting for it.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "binding_shim.h"
#include "browser_process.h"
#include "console_event.h"
#include "devtools_session.h"
#include "frame_pump.h"
#include "gui_queue.h"
#include "navigation_policy.h"
#include "navigation_tracker.h"
#include "page_connection.h"
#include "restart_loop.h"
#include "view_surface.h"

class WebView;

// The engine's string handle: a UTF-16 text owned by the engine.
struct EngineString {
  std::wstring text;
};
// The engine's execution state handle: the view and the arguments of a call,
// and the script context it belongs to (the calling frame's for a call).
struct ExecState {
  WebView* view = nullptr;
  std::vector<ScriptValue> args;
  int64_t context_id = 0;        // 0: the main frame's current document
  std::string global_object_id;  // the calling frame's global object, while its call lasts
};

typedef void(__cdecl* PaintUpdatedCallback)(WebView* view, void* param, HDC dc, int x, int y,
                                            int cx, int cy);
typedef void(__cdecl* LoadingFinishCallback)(WebView* view, void* param, EngineString* url,
                                             int result, EngineString* reason);
typedef void(__cdecl* ConsoleCallback)(WebView* view, void* param, int level, EngineString* message,
                                       EngineString* source, unsigned line, EngineString* stack);
typedef jsValue(__cdecl* NativeFunction)(ExecState* state, void* param);
typedef bool(__cdecl* NavigationCallback)(WebView* view, void* param, int navigation_type,
                                          EngineString* url);
struct WindowFeatures {
  int x, y, width, height;
  bool menu_bar_visible, status_bar_visible, tool_bar_visible, location_bar_visible,
      scrollbars_visible, resizable, fullscreen;
};
typedef WebView*(__cdecl* CreateViewCallback)(WebView* view, void* param, int navigation_type,
                                              EngineString* url, const WindowFeatures* features);

// Binds a page function for every view, present and future.
void BindNativeFunction(const std::string& name, NativeFunction function, void* param);
// Installs every function bound so far in a view whose browser just started.
void InstallExistingBindings(WebView* view);
// The views that get functions bound later (GUI thread only).
void RegisterLiveView(WebView* view);
void UnregisterLiveView(WebView* view);

class WebView {
 public:
  WebView() = default;
  ~WebView();
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;

  bool Create();
  // Ends the browser and every thread; the object is freed once no call of
  // its own is still on the stack.
  static void Destroy(WebView* view);

  void SetHostWindow(HWND window) { host_ = window; }
  HWND host_window() const { return host_; }
  void SetTransparent(bool transparent);
  void SetLocalStoragePath(const std::wstring& path);
  void SetDebugConfig(const std::string& name, const std::string& value);
  void OnPaintUpdated(PaintUpdatedCallback callback, void* param);
  void OnLoadingFinish(LoadingFinishCallback callback, void* param);
  void OnConsole(ConsoleCallback callback, void* param);
  // web_view_navigation.cpp
  void OnNavigation(NavigationCallback callback, void* param);
  void OnCreateView(CreateViewCallback callback, void* param);
  void SetNewWindowEnabled(bool enabled) { new_window_enabled_ = enabled; }

  HDC dc() const { return surface_.dc(); }
  const ViewSurface& surface() const { return surface_; }
  void Resize(int width, int height);
  void MoveToCenter();

  void Load(const std::wstring& url);
  jsValue RunScript(const std::wstring& script);
  ExecState* global_state() { return &global_state_; }

  bool FireMouse(unsigned message, int x, int y, unsigned flags);
  bool FireWheel(int x, int y, int delta, unsigned flags);
  bool FireContextMenu(int x, int y, unsigned flags);
  bool FireKey(const Json& params);

  // The global object of the context `state` belongs to, and a property of
  // a script object (web_view_objects.cpp).
  ScriptValue GlobalObject(ExecState* state);
  ScriptValue ReadProperty(const ScriptValue& object, const std::string& name);
  std::string MainFrameUrl();

  // Installs one bound function in the running page and its future documents.
  void InstallBoundFunction(const std::string& name);

  static constexpr int kDefaultLoadTimeoutMs = 30000;
  static constexpr int kScriptTimeoutMs = 15000;
  // How often a queued script's outcome is looked for in the page itself.
  static constexpr int kOutcomeLookMs = 250;
  // While a load runs, its time limit is checked this often.
  static constexpr int kLoadCheckMs = 50;

 private:
  friend class ViewCallScope;
  using Connection = std::shared_ptr<PageConnection>;
  struct NavigationAsk {
    const PageConnection* connection = nullptr;
    std::string request_id;
    int type = 0;
    std::string url;
  };
  struct PausedCall {
    NativeCallRequest request;
    std::string call_frame_id;
    std::string global_object_id;
    int64_t context_id = 0;
    const PageConnection* connection = nullptr;  // the browser whose page waits for the reply
  };

  // The connection calls may use now; null while the browser is not up.
  Connection Live() const;
  void Shutdown();
  void ApplyViewSize(PageConnection& connection);
  void ApplyBackground(PageConnection& connection);
  void Navigate(PageConnection& connection, const std::string& url);
  void OpenDevTools(PageConnection& connection);

  // Restart thread (web_view_restart.cpp).
  bool StartPage();
  Connection ConnectToNewBrowser(std::string* error);
  // Reader thread of any connection.
  void OnLost();
  // GUI thread.
  void Adopt(Connection connection);
  void OnStartFailed(const std::string& error);

  // web_view_navigation.cpp: reader thread, then GUI thread.
  void PrepareNavigationEvents(PageConnection& connection);
  bool OnNavigationEvent(PageConnection& from, const std::string& method, const Json& params);
  void ServeNavigationAsks();
  void AskNavigation(const PageConnection* asked, const std::string& request_id, int type,
                     const std::string& url);
  void AskCreateView(const std::string& url, const Json& features, bool gesture);

  // Reader thread.
  void OnEvent(PageConnection& from, const std::string& method, const Json& params);
  // How long the reader may wait before the next call (a load's time limit).
  int OnTick(PageConnection& from);
  void OnPaused(PageConnection& from, const Json& params);
  void OnCallRead(PageConnection& from, PausedCall call, const DevToolsSession::Reply& reply);
  void OnScriptDone(PageConnection& from, const std::string& call_frame_id,
                    const DevToolsSession::Reply& reply);
  void ReleaseLentObjects(PageConnection& connection);
  // Wakes the GUI thread wherever it waits.
  void WakeGui(PageConnection& from);
  // GUI thread.
  void ServeNativeCalls();
  // Runs a script as a task of the page and waits for its outcome.
  bool RunQueuedScript(const Connection& live, const std::string& script, ScriptValue* value);
  // Runs a script at once, inside the call the page is in.
  ScriptValue RunNestedScript(const Connection& live, const std::string& script);
  void DeliverLoad(const LoadResult& result);
  void DeliverConsole(const ConsoleMessage& message);
  void DeliverFrame(std::shared_ptr<FramePixels> frame);
  void RunGuiTasks();

  // GUI thread only.
  HWND host_ = nullptr;
  bool transparent_ = false;
  int width_ = 1, height_ = 1;
  bool closed_ = false;
  int call_depth_ = 0;
  int serving_depth_ = 0;  // native handlers on the stack
  int64_t last_script_id_ = 0;
  bool lent_objects_ = false;  // a handler holds references into the page
  bool delete_when_idle_ = false;
  bool last_mouse_right_ = false;
  std::string last_url_;          // loaded again by every new browser
  bool load_unanswered_ = false;  // a load waits for the browser and has had no event yet
  bool devtools_wanted_ = false;  // asked for before the browser was up
  Connection connection_;

  PaintUpdatedCallback paint_callback_ = nullptr;
  void* paint_param_ = nullptr;
  LoadingFinishCallback load_callback_ = nullptr;
  void* load_param_ = nullptr;
  ConsoleCallback console_callback_ = nullptr;
  void* console_param_ = nullptr;
  NavigationCallback navigation_callback_ = nullptr;
  void* navigation_param_ = nullptr;
  CreateViewCallback create_view_callback_ = nullptr;
  void* create_view_param_ = nullptr;
  bool new_window_enabled_ = true;

  ExecState global_state_;
  GuiQueue gui_;
  ViewSurface surface_;

  // Restart thread only (and Shutdown, once that thread has ended).
  BrowserProcess browser_;
  Connection served_;  // the last connection handed to the GUI thread
  RestartLoop restart_{[this] { return StartPage(); }};

  std::mutex state_lock_;   // guards what other threads share with the GUI thread
  BrowserOptions options_;  // where and how the next browser starts
  NavigationTracker tracker_{kDefaultLoadTimeoutMs};
  NavigationPolicy navigation_policy_;
  std::condition_variable state_changed_;           // a call, a script's outcome or a lost browser
  std::deque<NavigationAsk> navigation_asks_;       // navigations waiting for the host
  std::deque<PausedCall> paused_;                   // page calls ready for their native handler
  std::map<int64_t, ScriptOutcome> outcomes_;       // queued scripts that have run, by id
  int64_t last_outcome_id_ = 0;                     // queued scripts run in the order queued
  std::map<std::string, int64_t> script_contexts_;  // script id -> its execution context
  std::map<int64_t, int64_t> last_sequences_;       // context -> its last call taken
  std::string main_url_;                            // the main frame's document
  std::string main_frame_id_;
  int64_t main_context_ = 0;  // the main frame document's script context
  unsigned documents_ = 0;    // counts every document change; a queued script's page may be gone
};

// Keeps a view alive while one of its calls is on the stack.
class ViewCallScope {
 public:
  explicit ViewCallScope(WebView* view) : view_(view) { ++view_->call_depth_; }
  ~ViewCallScope() {
    if (--view_->call_depth_ == 0 && view_->delete_when_idle_) delete view_;
  }
  ViewCallScope(const ViewCallScope&) = delete;
  ViewCallScope& operator=(const ViewCallScope&) = delete;

 private:
  WebView* view_;
};
