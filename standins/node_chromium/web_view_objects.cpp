// Reading the page's objects from a native handler: the global object of the
// context an execution state belongs to, and the properties of objects. A
// call's state belongs to the calling frame, whose global object the browser
// names in the paused call's scope chain; objects stay in the page and are
// read by reference, so a getter such as `location.origin` gives what that
// frame itself would see.
#include "web_view.h"

namespace {
// Objects lent to a handler are released together once its call is over.
const char kObjectGroup[] = "lumo-native-call";
const char kReadProperty[] = "function (name) { return this[name]; }";
}  // namespace

ScriptValue WebView::GlobalObject(ExecState* state) {
  Connection live = Live();
  if (!state || !live) return ScriptValue::Undefined();
  if (!state->global_object_id.empty()) {
    ScriptValue global = ScriptValue::Object(std::string());
    global.remote_id = state->global_object_id;
    return global;
  }
  // The program's own state: the main frame's current document. `this` at
  // the top of a script is its global object, whatever the page assigned.
  DevToolsSession::Reply reply = live->session().Call(
      "Runtime.evaluate", {{"expression", "this"}, {"objectGroup", kObjectGroup}, {"silent", true}},
      kScriptTimeoutMs, [this] { ServeNativeCalls(); });
  lent_objects_ = true;
  return ScriptValue::FromRemoteReference(Member(reply.result, "result"));
}

ScriptValue WebView::ReadProperty(const ScriptValue& object, const std::string& name) {
  if (object.kind != ScriptValue::Kind::kObject) return ScriptValue::Undefined();
  if (object.remote_id.empty()) {
    Json copied = ParseJson(object.json);
    if (!copied.is_object() || !copied.contains(name)) return ScriptValue::Undefined();
    return ScriptValue::FromJson(copied[name]);
  }
  Connection live = Live();
  if (!live) return ScriptValue::Undefined();
  DevToolsSession::Reply reply =
      live->session().Call("Runtime.callFunctionOn",
                           {{"objectId", object.remote_id},
                            {"functionDeclaration", kReadProperty},
                            {"arguments", Json::array({Json{{"value", name}}})},
                            {"objectGroup", kObjectGroup},
                            {"silent", true}},
                           kScriptTimeoutMs, [this] { ServeNativeCalls(); });
  lent_objects_ = true;
  if (Member(reply.result, "exceptionDetails").is_object()) return ScriptValue::Undefined();
  return ScriptValue::FromRemoteReference(Member(reply.result, "result"));
}

void WebView::ReleaseLentObjects(PageConnection& connection) {
  if (!lent_objects_) return;
  lent_objects_ = false;
  connection.session().Post("Runtime.releaseObjectGroup", {{"objectGroup", kObjectGroup}});
}

std::string WebView::MainFrameUrl() {
  std::lock_guard<std::mutex> lock(state_lock_);
  return main_url_;
}
