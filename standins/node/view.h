#pragma once
// One web view: the page it shows, the loading of pages and their scripts,
// timers, requests, painting and the events it raises to the host. Lives on
// the thread that created it (the GUI thread); every callback to the host is
// made there, synchronously.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standins/node/engine_types.h"
#include "standins/node/fetch_worker.h"
#include "standins/node/html_scanner.h"
#include "standins/node/live_registry.h"
#include "standins/node/message_window.h"
#include "standins/node/paint_surface.h"

namespace node_standin {

class Page;

class View final : public MessageWindow::Delegate {
 public:
  View();
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  static LiveRegistry<View>& Registry();
  // Creates a view on the calling thread; null on failure.
  static View* Create();
  // Ends the view now, or as soon as no engine call is running further down
  // this thread's stack. The view is unusable from here on.
  void Destroy();
  // Frees views whose end had to wait; call when nothing is running.
  static void ReapDestroyed();

  // Host settings and events.
  void SetHostWindow(HWND window) { host_window_ = window; }
  HWND host_window() const { return host_window_; }
  void SetTransparent(bool transparent) { transparent_ = transparent; }
  void SetLocalStorageFolder(const std::wstring& folder) { storage_folder_ = folder; }
  void OnPaintUpdated(wkePaintUpdatedCallback callback, void* param);
  void OnLoadingFinish(wkeLoadingFinishCallback callback, void* param);
  void OnConsole(wkeConsoleCallback callback, void* param);
  void OnNavigation(wkeNavigationCallback callback, void* param);
  void OnCreateView(wkeCreateViewCallback callback, void* param);
  void SetNewWindowEnabled(bool enabled) { new_window_enabled_ = enabled; }
  void SetFocused(bool focused) { focused_ = focused; }
  void MoveHostToCenter();

  // Loading (view_loader.cpp).
  // Starts a top-level navigation once the host's navigation event lets it;
  // false when the host cancelled it (nothing changes then).
  bool Navigate(const std::string& url, int type);
  // The page opens a window: the host's new-view event decides where the
  // URL goes (view_windows.cpp).
  void OpenWindow(const std::string& url, int type);
  // The document shown now: its URL, UTF-8, kept until the next call.
  const char* MainFrameUrl();
  // Loads `url` into the child frame at `index` of the top document
  // (view_frames.cpp).
  void NavigateFrame(int index, const std::string& url);
  const void* main_frame() const { return &main_frame_; }

  // Script.
  int64_t RunScript(const std::u16string& script);
  ExecState* GlobalExec();
  Page* page() { return EnsurePage(); }
  void DefineBinding(size_t index);
  bool DispatchInput(const char* type, const std::string& fields_json);

  // Painting (view_paint.cpp).
  void Resize(int width, int height);
  HDC dc() const { return surface_.dc(); }
  void RepaintIfNeeded();
  void SchedulePaint();

  // Services for the page's native functions.
  void RaiseConsole(int level, const std::u16string& message, const std::string& source,
                    unsigned line, const std::u16string& stack);
  uint32_t StartTimer(uint32_t page_serial, uint32_t milliseconds, bool repeat);
  void StopTimer(uint32_t id);
  uint32_t StartXhr(uint32_t page_serial, FetchRequest request);
  void SaveLocalStorage(const std::string& origin, const std::string& json);
  std::string LoadLocalStorage(const std::string& origin) const;

  bool OnOwnerThread() const { return window_.OnOwnerThread(); }

  // Script entries currently running in this view (nested ones included).
  int script_depth() const { return script_depth_; }
  void EnterScript() { ++script_depth_; }
  void LeaveScript(bool settled_changes);

 private:
  struct Timer {
    uint32_t page_serial;
    bool repeat;
  };

  // Timers of the view's window: painting, retrying deferred work, and the
  // page's own timers numbered from kFirstScriptTimer.
  static constexpr UINT_PTR kPaintTimer = 1;
  static constexpr UINT_PTR kRetryTimer = 2;
  static constexpr UINT_PTR kFirstScriptTimer = 0x10000;
  // Changes made by script are drawn together after this pause.
  static constexpr UINT kPaintDelayMs = 15;
  // Work that arrived while script was running is looked at again after this.
  static constexpr UINT kRetryDelayMs = 10;

  bool Initialize();
  void OnWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnTimerMessage(UINT_PTR timer);
  void DrainMailbox();
  bool Busy() const;
  void RetryLater();

  Page* EnsurePage();
  void ReplacePage(std::unique_ptr<Page> page);
  void KillPageTimers();

  // view_loader.cpp
  void StartNavigation(const std::string& url);
  void OnJobDone(std::unique_ptr<FetchJob> job);
  void OnPageFetched(const FetchJob& job);
  void OnScriptFetched(const FetchJob& job);
  void OnXhrDone(const FetchJob& job);
  void RunPendingScripts();
  void RaiseLoadingFinish(const std::string& url, int result, const std::string& reason);
  void Load(const std::string& url);
  bool AskNavigation(int type, const std::string& url);
  bool FollowRedirect(const FetchJob& job);
  // view_frames.cpp
  void StartFrames();
  void OnFrameFetched(const FetchJob& job);
  Page* FindPage(uint32_t serial);

  // view_paint.cpp
  void RepaintNow();

  MessageWindow window_;
  std::shared_ptr<FetchMailbox> mailbox_;
  std::unique_ptr<Page> page_;
  // The top document's iframes, each a document with its own global, and
  // which load of each is current.
  std::vector<std::unique_ptr<Page>> frames_;
  std::vector<uint32_t> frame_loads_;
  std::vector<std::unique_ptr<FetchJob>> deferred_jobs_;
  PaintSurface surface_;

  HWND host_window_ = nullptr;
  bool transparent_ = false;
  bool focused_ = false;
  bool destroyed_ = false;
  std::wstring storage_folder_;

  wkePaintUpdatedCallback paint_callback_ = nullptr;
  void* paint_param_ = nullptr;
  wkeLoadingFinishCallback loading_callback_ = nullptr;
  void* loading_param_ = nullptr;
  wkeConsoleCallback console_callback_ = nullptr;
  void* console_param_ = nullptr;
  wkeNavigationCallback navigation_callback_ = nullptr;
  void* navigation_param_ = nullptr;
  wkeCreateViewCallback create_view_callback_ = nullptr;
  void* create_view_param_ = nullptr;
  bool new_window_enabled_ = true;
  // Views the engine opened for the page's windows when no host decided;
  // they end with this one.
  std::vector<View*> popups_;
  // The main frame's handle: stable for the view's life.
  char main_frame_ = 0;
  std::string url_text_;

  // Loading: the navigation in progress and the scripts still to run.
  uint32_t navigation_serial_ = 0;
  uint32_t next_page_serial_ = 0;
  std::string navigation_url_;
  std::vector<HtmlScript> pending_scripts_;
  size_t next_script_ = 0;
  bool waiting_for_script_ = false;
  int redirect_hops_ = 0;
  bool loading_ = false;

  std::map<uint32_t, Timer> timers_;
  uint32_t next_timer_id_ = 0;
  uint32_t next_xhr_id_ = 0;
  int script_depth_ = 0;

  bool paint_pending_ = false;
  bool size_changed_ = true;
  std::u16string painted_snapshot_;
};

}  // namespace node_standin
