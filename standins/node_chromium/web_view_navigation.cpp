// Navigation and new windows as the host sees them: it is asked before every
// top-level navigation (each redirect hop included) and may cancel it, and it
// decides where a window the page opens goes. The browser holds each main-frame
// document request until the host has answered on the GUI thread.
#include "web_view.h"

namespace {
// The host's answer is final: the browser shows nothing for a navigation it
// was told to abandon, and the current document stays.
const char kCancelReason[] = "Aborted";

int FeatureNumber(const Json& features, const std::string& name, int fallback) {
  if (!features.is_array()) return fallback;
  for (const Json& item : features) {
    if (!item.is_string()) continue;
    std::string text = item.get<std::string>();
    if (text.compare(0, name.size() + 1, name + "=") == 0) {
      return std::atoi(text.c_str() + name.size() + 1);
    }
  }
  return fallback;
}
}  // namespace

void WebView::OnNavigation(NavigationCallback callback, void* param) {
  navigation_callback_ = callback;
  navigation_param_ = param;
}

void WebView::OnCreateView(CreateViewCallback callback, void* param) {
  create_view_callback_ = callback;
  create_view_param_ = param;
}

void WebView::PrepareNavigationEvents(PageConnection& connection) {
  // Every document request waits for the host: only the main frame's are
  // asked about, a child frame's goes on at once.
  connection.session().Post("Fetch.enable",
                            {{"patterns", Json::array({Json{{"urlPattern", "*"},
                                                            {"resourceType", "Document"},
                                                            {"requestStage", "Request"}}})}});
  // A window the page opens is held before it loads anything and closed: the
  // host decides where its address goes.
  connection.session().Post(
      "Target.setAutoAttach",
      {{"autoAttach", true},
       {"waitForDebuggerOnStart", true},
       {"flatten", true},
       {"filter", Json::array({Json{{"type", "page"}, {"exclude", false}}})}});
}

// Reader thread.
bool WebView::OnNavigationEvent(PageConnection& from, const std::string& method,
                                const Json& params) {
  if (method == "Page.frameRequestedNavigation" || method == "Page.frameStartedNavigating") {
    std::lock_guard<std::mutex> lock(state_lock_);
    navigation_policy_.OnEvent(method, params);
    return false;  // the load tracker may want it too
  }
  if (method == "Fetch.requestPaused") {
    std::string request_id = StringMember(params, "requestId");
    int type = kNavigationOther;
    bool ask;
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      ask = StringMember(params, "resourceType") == "Document" &&
            navigation_policy_.Classify(params, &type);
    }
    if (!ask) {
      from.session().Post("Fetch.continueRequest", {{"requestId", request_id}});
      return true;
    }
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      navigation_asks_.push_back(
          {&from, request_id, type, StringMember(Member(params, "request"), "url")});
    }
    WakeGui(from);
    return true;
  }
  if (method == "Page.windowOpen") {
    std::string url = StringMember(params, "url");
    Json features = Member(params, "windowFeatures");
    bool gesture = Member(params, "userGesture").is_boolean() && params["userGesture"].get<bool>();
    gui_.Post([this, url, features, gesture] { AskCreateView(url, features, gesture); });
    return true;
  }
  if (method == "Target.attachedToTarget") {
    const Json& target = Member(params, "targetInfo");
    std::string session = StringMember(params, "sessionId");
    if (StringMember(target, "type") == "page") {
      from.session().Post("Target.closeTarget", {{"targetId", StringMember(target, "targetId")}});
    } else {
      // Anything else held at its start (should a browser attach more than
      // asked) goes on as if nobody had looked.
      from.session().PostToSession(session, "Runtime.runIfWaitingForDebugger", Json::object());
      from.session().Post("Target.detachFromTarget", {{"sessionId", session}});
    }
    return true;
  }
  // Events of attached targets carry their session: none of them is ours.
  if (method == "Target.detachedFromTarget" || method == "Target.targetInfoChanged") return true;
  return false;
}

// GUI thread.
void WebView::ServeNavigationAsks() {
  for (;;) {
    NavigationAsk ask;
    {
      std::lock_guard<std::mutex> lock(state_lock_);
      if (navigation_asks_.empty() || closed_) return;
      ask = std::move(navigation_asks_.front());
      navigation_asks_.pop_front();
    }
    AskNavigation(ask.connection, ask.request_id, ask.type, ask.url);
  }
}

void WebView::AskNavigation(const PageConnection* asked, const std::string& request_id, int type,
                            const std::string& url) {
  bool allowed = true;
  if (navigation_callback_ && !closed_) {
    ViewCallScope scope(this);
    EngineString text{Utf8ToWide(url)};
    allowed = navigation_callback_(this, navigation_param_, type, &text);
  }
  // The request belonged to a browser that has since died: nothing to answer.
  Connection live = Live();
  if (closed_ || !live || live.get() != asked) return;
  if (allowed) {
    live->session().Post("Fetch.continueRequest", {{"requestId", request_id}});
  } else {
    live->session().Post("Fetch.failRequest",
                         {{"requestId", request_id}, {"errorReason", kCancelReason}});
  }
}

void WebView::AskCreateView(const std::string& url, const Json& features, bool gesture) {
  if (closed_) return;
  if (!new_window_enabled_) {
    // New windows are off: the address opens in this view, as a navigation.
    Load(Utf8ToWide(url));
    return;
  }
  if (!create_view_callback_) return;
  ViewCallScope scope(this);
  WindowFeatures window = {};
  window.x = FeatureNumber(features, "left", 0);
  window.y = FeatureNumber(features, "top", 0);
  window.width = FeatureNumber(features, "width", 0);
  window.height = FeatureNumber(features, "height", 0);
  window.resizable = true;
  EngineString text{Utf8ToWide(url)};
  int type = gesture ? kNavigationLinkClick : kNavigationOther;
  WebView* target = create_view_callback_(this, create_view_param_, type, &text, &window);
  // NULL: nothing opens. A view (this one or another the host made): the
  // address loads there.
  if (target && !closed_) target->Load(Utf8ToWide(url));
}
