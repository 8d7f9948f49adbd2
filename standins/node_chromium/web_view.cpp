#include "web_view.h"

#include "http_fetch.h"
#include "input_events.h"

namespace {
// The page's folder of browser data inside the local-storage folder.
const wchar_t kProfileFolder[] = L"lumo-browser-profile\\";
}  // namespace

WebView::~WebView() { Shutdown(); }

bool WebView::Create() {
  global_state_.view = this;
  RegisterLiveView(this);
  options_.cancel = &restart_.stopping();
  return gui_.Create([this] { RunGuiTasks(); }) && surface_.Resize(width_, height_);
}

void WebView::Destroy(WebView* view) {
  view->Shutdown();
  if (view->call_depth_ > 0) {
    view->delete_when_idle_ = true;
  } else {
    delete view;
  }
}

void WebView::Shutdown() {
  if (closed_) return;
  closed_ = true;
  UnregisterLiveView(this);
  // The restart thread first: after it, nothing starts a browser or hands
  // over a connection. Then the connections (their readers feed the GUI
  // queue), the queue, and last the browser.
  restart_.Stop();
  connection_.reset();
  served_.reset();
  gui_.Destroy();
  browser_.Stop();
}

void WebView::RunGuiTasks() {
  ViewCallScope scope(this);
  gui_.RunPending();
}

WebView::Connection WebView::Live() const {
  return connection_ && connection_->IsOpen() ? connection_ : nullptr;
}

void WebView::SetTransparent(bool transparent) {
  transparent_ = transparent;
  if (Connection live = Live()) ApplyBackground(*live);
}

void WebView::ApplyBackground(PageConnection& connection) {
  // Without a colour the override is lifted and the page's own background shows.
  Json params = Json::object();
  if (transparent_) params["color"] = {{"r", 0}, {"g", 0}, {"b", 0}, {"a", 0}};
  connection.session().Post("Emulation.setDefaultBackgroundColorOverride", params);
}

void WebView::SetLocalStoragePath(const std::wstring& path) {
  std::wstring folder = path;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  std::lock_guard<std::mutex> lock(state_lock_);
  options_.profile_dir = folder.empty() ? std::wstring() : folder + kProfileFolder;
}

void WebView::SetDebugConfig(const std::string& name, const std::string& value) {
  int number = std::atoi(value.c_str());
  if (name == "showDevTools") {
    if (Connection live = Live()) return OpenDevTools(*live);
    devtools_wanted_ = true;
    restart_.Request();
  } else if (name == "browserPath") {
    std::lock_guard<std::mutex> lock(state_lock_);
    options_.browser_path = value;
  } else if (name == "loadTimeout") {
    std::lock_guard<std::mutex> lock(state_lock_);
    tracker_.set_timeout(number > 0 ? number : kDefaultLoadTimeoutMs);
  } else if (name == "restartPause") {
    restart_.set_pause_ms(number > 0 ? number : RestartLoop::kDefaultPauseMs);
  }
}

void WebView::OpenDevTools(PageConnection& connection) {
  // The inspector front end the browser serves itself, attached to our page,
  // opened as a target of its own. It needs the debugging port, which the
  // browser has only when asked for (LUMO_DEVTOOLS_PORT=1): the pipe the
  // engine uses has no front end to serve.
  if (connection.port() == 0) return;
  std::string host = "127.0.0.1:" + std::to_string(connection.port());
  std::string inspector = "http://" + host + "/devtools/inspector.html?ws=" + host +
                          "/devtools/page/" + connection.target_id();
  std::string body;
  FetchHttp("PUT", "http://" + host + "/json/new?" + inspector, PageConnection::kCommandTimeoutMs,
            &body);
}

void WebView::OnPaintUpdated(PaintUpdatedCallback callback, void* param) {
  paint_callback_ = callback;
  paint_param_ = param;
}

void WebView::OnLoadingFinish(LoadingFinishCallback callback, void* param) {
  load_callback_ = callback;
  load_param_ = param;
}

void WebView::OnConsole(ConsoleCallback callback, void* param) {
  console_callback_ = callback;
  console_param_ = param;
}

void WebView::Resize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  width_ = width;
  height_ = height;
  surface_.Resize(width, height);
  if (Connection live = Live()) ApplyViewSize(*live);
}

void WebView::ApplyViewSize(PageConnection& connection) {
  connection.session().Post(
      "Emulation.setDeviceMetricsOverride",
      {{"width", width_}, {"height", height_}, {"deviceScaleFactor", 1}, {"mobile", false}});
}

void WebView::MoveToCenter() {
  RECT window = {};
  if (!host_ || !::GetWindowRect(host_, &window)) return;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (!::GetMonitorInfoA(::MonitorFromWindow(host_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& area = monitor.rcWork;
  int width = window.right - window.left, height = window.bottom - window.top;
  ::SetWindowPos(host_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WebView::Load(const std::wstring& url) {
  last_url_ = WideToUtf8(url);
  Connection live = Live();
  if (!live) {
    // Loaded as soon as a browser is up (or reported failed if none starts).
    load_unanswered_ = true;
    restart_.Request();
    return;
  }
  load_unanswered_ = false;
  Navigate(*live, last_url_);
}

void WebView::Navigate(PageConnection& connection, const std::string& url) {
  connection.session().Post(
      "Page.navigate", {{"url", url}}, [this, url](const DevToolsSession::Reply& reply) {
        std::string error = reply.ok ? StringMember(reply.result, "errorText") : reply.error;
        bool started = !StringMember(reply.result, "loaderId").empty();
        if (error.empty() || started) return;
        LoadResult result;
        bool finished;
        {
          std::lock_guard<std::mutex> lock(state_lock_);
          finished = tracker_.OnNavigateRefused(url, error, &result);
        }
        if (finished) DeliverLoad(result);
      });
}

bool WebView::FireMouse(unsigned message, int x, int y, unsigned flags) {
  Json params;
  Connection live = Live();
  if (!live || !MouseEventParams(message, x, y, flags, &params)) return false;
  last_mouse_right_ = IsRightButtonMessage(message);
  return live->session().Post("Input.dispatchMouseEvent", params);
}

bool WebView::FireWheel(int x, int y, int delta, unsigned flags) {
  Connection live = Live();
  return live &&
         live->session().Post("Input.dispatchMouseEvent", WheelEventParams(x, y, delta, flags));
}

bool WebView::FireContextMenu(int x, int y, unsigned flags) {
  Connection live = Live();
  if (!live) return false;
  // A right click already made the browser raise the page's menu event.
  if (last_mouse_right_) return true;
  std::string script =
      "(function(x,y){var e=(x<0||y<0)?document.activeElement:document.elementFromPoint(x,y);"
      "e=e||document.body;if(e)e.dispatchEvent(new MouseEvent('contextmenu',{bubbles:true,"
      "cancelable:true,clientX:x,clientY:y,button:2}));})(" +
      std::to_string(x) + "," + std::to_string(y) + ")";
  return live->session().Post("Runtime.evaluate", {{"expression", script}});
}

bool WebView::FireKey(const Json& params) {
  Connection live = Live();
  return live && live->session().Post("Input.dispatchKeyEvent", params);
}

void WebView::DeliverFrame(std::shared_ptr<FramePixels> frame) {
  if (closed_) return;
  // A frame equal to the picture shown costs the program nothing; otherwise
  // the program hears which rectangle changed.
  RECT changed = surface_.Present(*frame);
  if (::IsRectEmpty(&changed) || !paint_callback_) return;
  paint_callback_(this, paint_param_, surface_.dc(), changed.left, changed.top,
                  changed.right - changed.left, changed.bottom - changed.top);
}

void WebView::DeliverLoad(const LoadResult& result) {
  gui_.Post([this, result] {
    if (closed_ || !load_callback_) return;
    EngineString url{Utf8ToWide(result.url)}, reason{Utf8ToWide(result.reason)};
    load_callback_(this, load_param_, &url, result.code, &reason);
  });
}

void WebView::DeliverConsole(const ConsoleMessage& message) {
  gui_.Post([this, message] {
    if (closed_ || !console_callback_) return;
    EngineString text{Utf8ToWide(message.message)}, source{Utf8ToWide(message.source)},
        stack{Utf8ToWide(message.stack)};
    console_callback_(this, console_param_, message.level, &text, &source, message.line, &stack);
  });
}
