// Script in both directions: the GUI thread running script in the page, and
// the page calling bound native functions.
#include <algorithm>
#include <map>

#include "web_view.h"

namespace {

struct BoundFunction {
  NativeFunction function = nullptr;
  void* param = nullptr;
};

// Bindings are process-wide, like the page functions they define; views that
// exist when a function is bound get it at once.
struct BindingRegistry {
  std::mutex lock;
  std::map<std::string, BoundFunction> functions;
  std::vector<std::string> order;
};

BindingRegistry& Registry() {
  static BindingRegistry registry;
  return registry;
}

std::vector<WebView*>& LiveViews() {
  static std::vector<WebView*> views;
  return views;
}

int64_t NowMs() { return static_cast<int64_t>(::GetTickCount64()); }

}  // namespace

void BindNativeFunction(const std::string& name, NativeFunction function, void* param) {
  {
    std::lock_guard<std::mutex> lock(Registry().lock);
    if (!Registry().functions.count(name)) Registry().order.push_back(name);
    Registry().functions[name] = {function, param};
  }
  // Views live on the GUI thread, as do the callers of this function.
  for (WebView* view : LiveViews()) view->InstallBoundFunction(name);
}

void InstallExistingBindings(WebView* view) {
  std::vector<std::string> names;
  {
    std::lock_guard<std::mutex> lock(Registry().lock);
    names = Registry().order;
  }
  for (const std::string& name : names) view->InstallBoundFunction(name);
}

void RegisterLiveView(WebView* view) { LiveViews().push_back(view); }

void UnregisterLiveView(WebView* view) {
  auto& views = LiveViews();
  views.erase(std::remove(views.begin(), views.end(), view), views.end());
}

void WebView::InstallBoundFunction(const std::string& name) {
  // Without a browser now, the next one gets it with all the others.
  Connection live = Live();
  if (!live) return;
  std::string script = BoundFunctionScript(name);
  live->session().Post("Page.addScriptToEvaluateOnNewDocument", {{"source", script}});
  live->session().Post("Runtime.evaluate", {{"expression", script}});
}

jsValue WebView::RunScript(const std::wstring& script) {
  ViewCallScope scope(this);
  // Held for the whole call: a native function the page calls meanwhile may
  // let the GUI thread take a new browser's connection over.
  Connection live = Live();
  if (!live) {
    // No browser now (not yet started, or being started again): nothing to
    // run the script in, and nothing worth waiting for on this thread.
    restart_.Request();
    return StoreValue(ScriptValue::Undefined());
  }
  Json params = {
      {"expression", WideToUtf8(script)}, {"returnByValue", true}, {"userGesture", true}};
  DevToolsSession::Reply reply = live->session().Call("Runtime.evaluate", params, kScriptTimeoutMs,
                                                      [this] { ServeNativeCalls(); });
  const Json& details = Member(reply.result, "exceptionDetails");
  if (details.is_object()) {
    // An error in script we were asked to run is the page's error like any other.
    DeliverConsole(ConsoleMessageFromException(details));
    return StoreValue(ScriptValue::Undefined());
  }
  return StoreValue(ScriptValue::FromRemoteObject(Member(reply.result, "result")));
}

void WebView::OnEvent(PageConnection& from, const std::string& method, const Json& params) {
  if (method == "Page.screencastFrame") {
    from.session().Post("Page.screencastFrameAck", {{"sessionId", IntMember(params, "sessionId")}});
    from.SubmitFrame(StringMember(params, "data"));
    return;
  }
  if (method == "Runtime.bindingCalled") {
    NativeCallRequest request;
    if (StringMember(params, "name") == kNativeBindingName &&
        ParseNativeCallPayload(StringMember(params, "payload"), &request)) {
      std::lock_guard<std::mutex> lock(state_lock_);
      called_.push_back(std::move(request));
    }
    PairCallsWithPauses(from);
    return;
  }
  if (method == "Debugger.paused") return OnPaused(from, params);
  if (method == "Runtime.consoleAPICalled") {
    ConsoleMessage message;
    if (ConsoleMessageFromApiCall(params, &message)) DeliverConsole(message);
    return;
  }
  if (method == "Runtime.exceptionThrown") {
    DeliverConsole(ConsoleMessageFromException(Member(params, "exceptionDetails")));
    return;
  }
  LoadResult result;
  bool finished;
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    finished = tracker_.OnEvent(method, params, NowMs(), &result);
  }
  if (finished) DeliverLoad(result);
}

void WebView::OnPaused(PageConnection& from, const Json& params) {
  const Json& frames = Member(params, "callFrames");
  bool ours = frames.is_array() && !frames.empty() &&
              StringMember(frames[0], "functionName") == kNativeCallFunction;
  if (!ours) {
    // The page's own `debugger;` statements and anything else: carry on.
    from.session().Post("Debugger.resume", Json::object());
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    paused_frames_.push_back(StringMember(frames[0], "callFrameId"));
  }
  PairCallsWithPauses(from);
}

// The browser reports a call's arguments and its pause separately, and not
// always in that order. The page is stopped until its call is answered, so
// at most one of each is outstanding and they pair up first to first.
void WebView::PairCallsWithPauses(PageConnection& from) {
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    if (called_.empty() || paused_frames_.empty()) return;
    paused_.push_back({std::move(called_.front()), std::move(paused_frames_.front())});
    called_.pop_front();
    paused_frames_.pop_front();
  }
  // The GUI thread may be waiting for the browser or in its message loop.
  from.session().Nudge();
  gui_.Post([this] { ServeNativeCalls(); });
}

void WebView::ServeNativeCalls() {
  ViewCallScope scope(this);
  for (;;) {
    PausedCall call;
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      if (paused_.empty() || closed_) return;
      call = std::move(paused_.front());
      paused_.pop_front();
    }
    BoundFunction bound;
    {
      std::lock_guard<std::mutex> lock(Registry().lock);
      auto found = Registry().functions.find(call.request.name);
      if (found != Registry().functions.end()) bound = found->second;
    }
    ExecState state{this, std::move(call.request.args)};
    ScriptValue reply = ScriptValue::Undefined();
    if (bound.function) reply = LoadValue(bound.function(&state, bound.param));
    // The page that called is gone with its browser: nobody waits for the reply.
    Connection live = Live();
    if (closed_ || !live) return;
    // Resume only once the reply is in the frame: the browser may handle a
    // resume sent right behind the evaluation before it.
    PageConnection* to = live.get();  // the reply runs on its reader, while it exists
    to->session().Post("Debugger.evaluateOnCallFrame",
                       {{"callFrameId", call.call_frame_id},
                        {"expression", ReplyExpression(reply)},
                        {"silent", true}},
                       [to](const DevToolsSession::Reply&) {
                         to->session().Post("Debugger.resume", Json::object());
                       });
  }
}

int WebView::OnTick(PageConnection& from) {
  LoadResult result;
  bool finished;
  bool loading;
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    finished = tracker_.OnTick(NowMs(), &result);
    loading = tracker_.loading();
  }
  if (finished) {
    from.session().Post("Page.stopLoading", Json::object());
    DeliverLoad(result);
  }
  // Only a load in progress has a time limit to watch; an idle page sleeps.
  return loading ? kLoadCheckMs : WebSocketLink::kNoTick;
}
