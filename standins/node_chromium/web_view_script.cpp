// Script in both directions: the GUI thread running script in the page, and
// the page calling bound native functions.
#include <algorithm>
#include <chrono>
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
  std::string text = WideToUtf8(script);
  // Asked from inside a native handler, the script runs inside that call, as
  // a nested script does on the GUI thread of the real engine.
  if (serving_depth_ > 0) return StoreValue(RunNestedScript(live, text));
  ScriptValue value;
  if (RunQueuedScript(live, text, &value)) return StoreValue(value);
  return StoreValue(RunNestedScript(live, text));
}

ScriptValue WebView::RunNestedScript(const Connection& live, const std::string& script) {
  Json params = {{"expression", script}, {"returnByValue", true}, {"userGesture", true}};
  DevToolsSession::Reply reply = live->session().Call("Runtime.evaluate", params, kScriptTimeoutMs,
                                                      [this] { ServeNativeCalls(); });
  const Json& details = Member(reply.result, "exceptionDetails");
  if (details.is_object()) {
    // An error in script we were asked to run is the page's error like any other.
    DeliverConsole(ConsoleMessageFromException(details));
    return ScriptValue::Undefined();
  }
  return ScriptValue::FromRemoteObject(Member(reply.result, "result"));
}

// The page may be inside one of its own calls right now (stopped at its
// pause, whose event may still be on the way): a script evaluated directly
// would run inside that call, and a call it made would not stop. So the
// script is queued as a task of the page, which runs once the page's current
// task (with all its calls) is over; its calls are served meanwhile.
bool WebView::RunQueuedScript(const Connection& live, const std::string& script,
                              ScriptValue* value) {
  int64_t id = ++last_script_id_;
  unsigned documents;
  Json params = {{"expression", RunLaterExpression(id, script)}, {"returnByValue", true}};
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    documents = documents_;
    // Queued in the very document whose end we watch for.
    if (main_context_ != 0) params["contextId"] = main_context_;
  }
  DevToolsSession::Reply queued = live->session().Call("Runtime.evaluate", params, kScriptTimeoutMs,
                                                       [this] { ServeNativeCalls(); });
  std::string answer = StringMember(Member(queued.result, "result"), "value");
  // A document without the machinery (a browser error page), or one gone
  // since: the script runs in the current document directly.
  if (answer != "queued") return false;
  int64_t deadline = NowMs() + kScriptTimeoutMs;
  int64_t next_look = NowMs() + kOutcomeLookMs;
  for (;;) {
    ServeNativeCalls();
    std::unique_lock<std::mutex> lock(state_lock_);
    auto found = outcomes_.find(id);
    if (found != outcomes_.end()) {
      *value = found->second.value;
      outcomes_.erase(found);
      return true;
    }
    // The document it was queued in is gone, or its browser: it will not run.
    bool gone = documents_ != documents || closed_ || !live->IsOpen();
    if (gone || NowMs() >= deadline) {
      *value = ScriptValue::Undefined();
      return true;
    }
    if (NowMs() >= next_look) {
      // The page may have run the script without stopping to report it (a
      // navigation it began is pending): its outcome waits in the page.
      lock.unlock();
      next_look = NowMs() + kOutcomeLookMs;
      Json look = {{"expression", TakeOutcomeExpression(id)}, {"returnByValue", true}};
      if (params.contains("contextId")) look["contextId"] = params["contextId"];
      DevToolsSession::Reply taken = live->session().Call(
          "Runtime.evaluate", look, kScriptTimeoutMs, [this] { ServeNativeCalls(); });
      ScriptOutcome outcome;
      if (ParseScriptOutcome(StringMember(Member(taken.result, "result"), "value"), &outcome)) {
        *value = outcome.value;
        return true;
      }
      continue;
    }
    if (paused_.empty() && navigation_asks_.empty())
      state_changed_.wait_for(lock, std::chrono::milliseconds(kLoadCheckMs));
  }
}

void WebView::OnEvent(PageConnection& from, const std::string& method, const Json& params) {
  if (method == "Page.screencastFrame") {
    from.session().Post("Page.screencastFrameAck", {{"sessionId", IntMember(params, "sessionId")}});
    from.SubmitFrame(StringMember(params, "data"));
    return;
  }
  if (method == "Debugger.paused") return OnPaused(from, params);
  if (OnNavigationEvent(from, method, params)) return;
  if (method == "Debugger.scriptParsed") {
    std::lock_guard<std::mutex> lock(state_lock_);
    script_contexts_[StringMember(params, "scriptId")] = IntMember(params, "executionContextId");
    return;
  }
  if (method == "Runtime.executionContextCreated") {
    const Json& context = Member(params, "context");
    const Json& aux = Member(context, "auxData");
    std::lock_guard<std::mutex> lock(state_lock_);
    if (Member(aux, "isDefault").is_boolean() && aux["isDefault"].get<bool>() &&
        StringMember(aux, "frameId") == main_frame_id_) {
      main_context_ = IntMember(context, "id");
    }
    return;
  }
  if (method == "Runtime.executionContextDestroyed") {
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      if (IntMember(params, "executionContextId") != main_context_) return;
      main_context_ = 0;
      ++documents_;
    }
    WakeGui(from);
    return;
  }
  if (method == "Runtime.executionContextsCleared") {
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      ++documents_;
      main_context_ = 0;
      script_contexts_.clear();
      last_sequences_.clear();
    }
    WakeGui(from);
    return;
  }
  if (method == "Page.frameNavigated" &&
      StringMember(Member(params, "frame"), "parentId").empty()) {
    std::lock_guard<std::mutex> lock(state_lock_);
    main_url_ = StringMember(Member(params, "frame"), "url");
  }
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
  std::string function =
      frames.is_array() && !frames.empty() ? StringMember(frames[0], "functionName") : "";
  std::string frame_id = function.empty() ? "" : StringMember(frames[0], "callFrameId");
  if (function == kScriptDoneFunction) {
    from.session().Post("Debugger.evaluateOnCallFrame",
                        {{"callFrameId", frame_id},
                         {"expression", std::string(kScriptOutcomeName)},
                         {"returnByValue", true},
                         {"silent", true}},
                        [this, &from, frame_id](const DevToolsSession::Reply& reply) {
                          OnScriptDone(from, frame_id, reply);
                        });
    return;
  }
  if (function != kNativeCallFunction) {
    // The page's own `debugger;` statements and anything else: carry on.
    from.session().Post("Debugger.resume", Json::object());
    return;
  }
  // The call is the paused frame's own: its payload is read out of that
  // frame, and its reply goes back into the same frame, whatever else the
  // browser reports meanwhile.
  PausedCall call;
  call.call_frame_id = frame_id;
  call.connection = &from;
  const Json& scopes = Member(frames[0], "scopeChain");
  if (scopes.is_array()) {
    for (const Json& scope : scopes) {
      if (StringMember(scope, "type") == "global") {
        call.global_object_id = StringMember(Member(scope, "object"), "objectId");
      }
    }
  }
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    auto found = script_contexts_.find(StringMember(Member(frames[0], "location"), "scriptId"));
    if (found != script_contexts_.end()) call.context_id = found->second;
  }
  from.session().Post(
      "Debugger.evaluateOnCallFrame",
      {{"callFrameId", frame_id},
       {"expression", std::string(kCallPayloadName)},
       {"returnByValue", true},
       {"silent", true}},
      [this, &from, call](const DevToolsSession::Reply& reply) { OnCallRead(from, call, reply); });
}

void WebView::OnCallRead(PageConnection& from, PausedCall call,
                         const DevToolsSession::Reply& reply) {
  std::string payload = StringMember(Member(reply.result, "result"), "value");
  if (!ParseNativeCallPayload(payload, &call.request)) {
    // Not paused any more: the browser reported a pause already served
    // again, and what is paused now, if anything, is not this event's.
    if (!reply.ok) return;
    // Not a call after all (a page function that borrowed the name): the
    // page goes on, its call answered with undefined.
    from.session().Post("Debugger.resume", Json::object());
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    // The browser may report one pause more than once (after a script ran
    // inside it): each call of a document is served once, in its own order.
    if (call.context_id != 0) {
      int64_t& last = last_sequences_[call.context_id];
      if (call.request.sequence <= last) return;
      last = call.request.sequence;
    }
    paused_.push_back(std::move(call));
  }
  WakeGui(from);
}

void WebView::OnScriptDone(PageConnection& from, const std::string& call_frame_id,
                           const DevToolsSession::Reply& reply) {
  (void)call_frame_id;
  ScriptOutcome outcome;
  // Not an outcome: the frame named is no longer this pause's (the page has
  // moved on to another), which is not ours to resume.
  if (!ParseScriptOutcome(StringMember(Member(reply.result, "result"), "value"), &outcome)) return;
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    // A pause reported twice is resumed once.
    if (outcome.id <= last_outcome_id_) return;
    last_outcome_id_ = outcome.id;
    outcomes_[outcome.id] = outcome;
  }
  from.session().Post("Debugger.resume", Json::object());
  WakeGui(from);
}

void WebView::WakeGui(PageConnection& from) {
  // The GUI thread may be waiting for the browser, for a queued script, or
  // in its message loop.
  state_changed_.notify_all();
  from.session().Nudge();
  gui_.Post([this] { ServeNativeCalls(); });
}

void WebView::ServeNativeCalls() {
  ViewCallScope scope(this);
  // A navigation the page started holds its document until the host has
  // answered, as the real engine asks from inside the script that navigates:
  // answered here, it never waits for a script that waits for it.
  ServeNavigationAsks();
  for (;;) {
    PausedCall call;
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      if (paused_.empty() || closed_) return;
      call = std::move(paused_.front());
      paused_.pop_front();
    }
    // A call of a browser that has since died: nobody waits for its reply.
    Connection live = Live();
    if (!live || live.get() != call.connection) continue;
    BoundFunction bound;
    {
      std::lock_guard<std::mutex> lock(Registry().lock);
      auto found = Registry().functions.find(call.request.name);
      if (found != Registry().functions.end()) bound = found->second;
    }
    ExecState state{this, std::move(call.request.args), call.context_id, call.global_object_id};
    ScriptValue reply = ScriptValue::Undefined();
    if (bound.function) {
      ++serving_depth_;
      reply = LoadValue(bound.function(&state, bound.param));
      --serving_depth_;
    }
    // The page that called is gone with its browser: nobody waits for the reply.
    live = Live();
    if (closed_ || !live || live.get() != call.connection) return;
    ReleaseLentObjects(*live);
    // Resume only once the reply is in the frame: the browser may handle a
    // resume sent right behind the evaluation before it.
    PageConnection* to = live.get();  // the reply runs on its reader, while it exists
    // A frame that is not this call's (the browser reused its name for a
    // later pause) is left alone: that call has an entry of its own.
    to->session().Post("Debugger.evaluateOnCallFrame",
                       {{"callFrameId", call.call_frame_id},
                        {"expression", ReplyExpression(call.request.sequence, reply)},
                        {"returnByValue", true},
                        {"silent", true}},
                       [to](const DevToolsSession::Reply& written) {
                         const Json& value = Member(Member(written.result, "result"), "value");
                         if (value.is_boolean() && value.get<bool>()) {
                           to->session().Post("Debugger.resume", Json::object());
                         }
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
  return loading ? kLoadCheckMs : MessageLink::kNoTick;
}
