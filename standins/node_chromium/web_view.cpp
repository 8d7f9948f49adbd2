#include "web_view.h"

#include "http_fetch.h"
#include "input_events.h"

namespace {
// The page's folder of browser data inside the local-storage folder.
const wchar_t kProfileFolder[] = L"lumo-browser-profile\\";

int64_t NowMs() { return static_cast<int64_t>(::GetTickCount64()); }
}  // namespace

WebView::~WebView() { Shutdown(); }

bool WebView::Create() {
  global_state_.view = this;
  RegisterLiveView(this);
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
  // The reader first: after it, no thread feeds the pump or the GUI queue.
  session_.Close();
  pump_.reset();
  browser_.Stop();
  gui_.Destroy();
}

void WebView::RunGuiTasks() {
  ViewCallScope scope(this);
  gui_.RunPending();
}

bool WebView::Command(const std::string& method, const Json& params) {
  DevToolsSession::Reply reply = session_.Call(method, params, kCommandTimeoutMs);
  return reply.ok;
}

void WebView::SetTransparent(bool transparent) {
  transparent_ = transparent;
  if (session_.IsOpen()) ApplyBackground();
}

void WebView::ApplyBackground() {
  // Without a colour the override is lifted and the page's own background shows.
  Json params = Json::object();
  if (transparent_) params["color"] = {{"r", 0}, {"g", 0}, {"b", 0}, {"a", 0}};
  session_.Post("Emulation.setDefaultBackgroundColorOverride", params);
}

void WebView::SetLocalStoragePath(const std::wstring& path) {
  storage_path_ = path;
  if (!storage_path_.empty() && storage_path_.back() != L'\\' && storage_path_.back() != L'/') {
    storage_path_ += L'\\';
  }
}

void WebView::SetDebugConfig(const std::string& name, const std::string& value) {
  if (name == "showDevTools") {
    if (EnsureBrowser()) OpenDevTools();
  } else if (name == "browserPath") {
    browser_path_ = value;
  } else if (name == "loadTimeout") {
    std::lock_guard<std::mutex> lock(state_lock_);
    tracker_.set_timeout(std::atoi(value.c_str()) > 0 ? std::atoi(value.c_str())
                                                      : kDefaultLoadTimeoutMs);
  }
}

void WebView::OpenDevTools() {
  // The inspector front end the browser serves itself, attached to our page,
  // opened as a target of its own.
  std::string host = "127.0.0.1:" + std::to_string(browser_.port());
  std::string inspector =
      "http://" + host + "/devtools/inspector.html?ws=" + host + "/devtools/page/" + target_id_;
  std::string body;
  FetchHttp("PUT", "http://" + host + "/json/new?" + inspector, kCommandTimeoutMs, &body);
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
  if (session_.IsOpen()) ApplyViewSize();
}

void WebView::ApplyViewSize() {
  session_.Post(
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

bool WebView::EnsureBrowser() {
  if (closed_) return false;
  if (session_.IsOpen()) return true;
  session_.Close();
  pump_.reset();
  BrowserOptions options;
  options.browser_path = browser_path_;
  if (!storage_path_.empty()) options.profile_dir = storage_path_ + kProfileFolder;
  std::string error;
  if (browser_.Start(options, &error) && ConnectToPage(&error) && PreparePage()) return true;
  session_.Close();
  pump_.reset();
  browser_.Stop();
  return false;
}

bool WebView::ConnectToPage(std::string* error) {
  std::string body;
  std::string base = "http://127.0.0.1:" + std::to_string(browser_.port());
  if (!FetchHttp("GET", base + "/json/list", kCommandTimeoutMs, &body)) {
    *error = "no target list";
    return false;
  }
  std::string socket_url;
  Json targets = ParseJson(body);
  if (targets.is_array()) {
    for (const Json& target : targets) {
      if (StringMember(target, "type") != "page") continue;
      socket_url = StringMember(target, "webSocketDebuggerUrl");
      target_id_ = StringMember(target, "id");
      break;
    }
  }
  if (socket_url.empty()) {
    *error = "no page target";
    return false;
  }
  pump_ = std::make_unique<FramePump>([this](FramePixels&& frame) {
    auto shared = std::make_shared<FramePixels>(std::move(frame));
    gui_.Post([this, shared] { DeliverFrame(shared); });
  });
  return session_.Open(
      socket_url,
      [this](const std::string& method, const Json& params) { OnEvent(method, params); },
      [this] { OnTick(); });
}

bool WebView::PreparePage() {
  for (const char* domain :
       {"Page.enable", "Runtime.enable", "Network.enable", "Debugger.enable"}) {
    if (!Command(domain, Json::object())) return false;
  }
  Command("Page.setLifecycleEventsEnabled", {{"enabled", true}});
  DevToolsSession::Reply tree =
      session_.Call("Page.getFrameTree", Json::object(), kCommandTimeoutMs);
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    tracker_.set_main_frame(StringMember(Member(Member(tree.result, "frameTree"), "frame"), "id"));
  }
  if (!Command("Runtime.addBinding", {{"name", std::string(kNativeBindingName)}})) return false;
  std::string support = NativeCallSupportScript();
  Command("Page.addScriptToEvaluateOnNewDocument", {{"source", support}});
  Command("Runtime.evaluate", {{"expression", support}});
  InstallExistingBindings(this);
  ApplyViewSize();
  ApplyBackground();
  return Command("Page.startScreencast", {{"format", "png"}, {"everyNthFrame", 1}});
}

void WebView::Load(const std::wstring& url) {
  if (!EnsureBrowser()) {
    DeliverLoad({WideToUtf8(url), LoadResult::kFailed, "browser not available"});
    return;
  }
  std::string target = WideToUtf8(url);
  session_.Post(
      "Page.navigate", {{"url", target}}, [this, target](const DevToolsSession::Reply& reply) {
        std::string error = reply.ok ? StringMember(reply.result, "errorText") : reply.error;
        bool started = !StringMember(reply.result, "loaderId").empty();
        if (error.empty() || started) return;
        LoadResult result;
        bool finished;
        {
          std::lock_guard<std::mutex> lock(state_lock_);
          finished = tracker_.OnNavigateRefused(target, error, &result);
        }
        if (finished) DeliverLoad(result);
      });
}

bool WebView::FireMouse(unsigned message, int x, int y, unsigned flags) {
  Json params;
  if (!session_.IsOpen() || !MouseEventParams(message, x, y, flags, &params)) return false;
  last_mouse_right_ = IsRightButtonMessage(message);
  return session_.Post("Input.dispatchMouseEvent", params);
}

bool WebView::FireWheel(int x, int y, int delta, unsigned flags) {
  return session_.IsOpen() &&
         session_.Post("Input.dispatchMouseEvent", WheelEventParams(x, y, delta, flags));
}

bool WebView::FireContextMenu(int x, int y, unsigned flags) {
  if (!session_.IsOpen()) return false;
  // A right click already made the browser raise the page's menu event.
  if (last_mouse_right_) return true;
  std::string script =
      "(function(x,y){var e=(x<0||y<0)?document.activeElement:document.elementFromPoint(x,y);"
      "e=e||document.body;if(e)e.dispatchEvent(new MouseEvent('contextmenu',{bubbles:true,"
      "cancelable:true,clientX:x,clientY:y,button:2}));})(" +
      std::to_string(x) + "," + std::to_string(y) + ")";
  return session_.Post("Runtime.evaluate", {{"expression", script}});
}

bool WebView::FireKey(const Json& params) {
  return session_.IsOpen() && session_.Post("Input.dispatchKeyEvent", params);
}

void WebView::DeliverFrame(std::shared_ptr<FramePixels> frame) {
  if (closed_) return;
  surface_.Present(*frame);
  if (paint_callback_) {
    paint_callback_(this, paint_param_, surface_.dc(), 0, 0, surface_.width(), surface_.height());
  }
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

void WebView::OnTick() {
  LoadResult result;
  bool finished;
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    finished = tracker_.OnTick(NowMs(), &result);
  }
  if (!finished) return;
  session_.Post("Page.stopLoading", Json::object());
  DeliverLoad(result);
}
