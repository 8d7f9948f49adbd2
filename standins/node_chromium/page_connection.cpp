#include "page_connection.h"

#include "binding_shim.h"
#include "http_fetch.h"

namespace {
// The first page target's WebSocket URL and id, from the browser's target list.
bool FindPageTarget(const std::string& list, std::string* socket_url, std::string* id) {
  Json targets = ParseJson(list);
  if (!targets.is_array()) return false;
  for (const Json& target : targets) {
    if (StringMember(target, "type") != "page") continue;
    *socket_url = StringMember(target, "webSocketDebuggerUrl");
    *id = StringMember(target, "id");
    return !socket_url->empty();
  }
  return false;
}
}  // namespace

std::shared_ptr<PageConnection> PageConnection::Open(int port, Sinks sinks, std::string* error) {
  std::string body;
  std::string base = "http://127.0.0.1:" + std::to_string(port);
  if (!FetchHttp("GET", base + "/json/list", kCommandTimeoutMs, &body)) {
    *error = "no target list";
    return nullptr;
  }
  auto connection = std::make_shared<PageConnection>(port, std::move(sinks.on_frame));
  std::string socket_url;
  if (!FindPageTarget(body, &socket_url, &connection->target_id_)) {
    *error = "no page target";
    return nullptr;
  }
  // The reader runs only while the connection exists: the raw pointer stays valid.
  PageConnection* self = connection.get();
  auto on_event = std::move(sinks.on_event);
  auto on_tick = std::move(sinks.on_tick);
  bool opened = connection->session_.Open(
      socket_url,
      [self, on_event](const std::string& method, const Json& params) {
        on_event(*self, method, params);
      },
      [self, on_tick] { return on_tick(*self); }, std::move(sinks.on_lost));
  if (!opened) {
    *error = "no DevTools connection";
    return nullptr;
  }
  return connection;
}

std::shared_ptr<PageConnection> PageConnection::OpenPipe(const std::wstring& from_browser,
                                                         const std::wstring& to_browser, int port,
                                                         Sinks sinks, std::string* error) {
  auto connection = std::make_shared<PageConnection>(port, std::move(sinks.on_frame));
  PageConnection* self = connection.get();
  auto on_event = std::move(sinks.on_event);
  auto on_tick = std::move(sinks.on_tick);
  DevToolsSession& session = connection->session_;
  bool opened = session.OpenPipe(
      from_browser, to_browser,
      [self, on_event](const std::string& method, const Json& params) {
        on_event(*self, method, params);
      },
      [self, on_tick] { return on_tick(*self); }, std::move(sinks.on_lost));
  if (!opened) {
    *error = "no DevTools pipe";
    return nullptr;
  }
  DevToolsSession::Reply targets =
      session.Call("Target.getTargets", Json::object(), kCommandTimeoutMs);
  for (const Json& target : Member(targets.result, "targetInfos")) {
    if (StringMember(target, "type") != "page") continue;
    connection->target_id_ = StringMember(target, "targetId");
    break;
  }
  if (connection->target_id_.empty()) {
    *error = "no page target";
    return nullptr;
  }
  DevToolsSession::Reply attached =
      session.Call("Target.attachToTarget",
                   {{"targetId", connection->target_id_}, {"flatten", true}}, kCommandTimeoutMs);
  std::string page_session = StringMember(attached.result, "sessionId");
  if (page_session.empty()) {
    *error = "cannot attach to the page";
    return nullptr;
  }
  session.SetPageSession(page_session);
  return connection;
}

bool PageConnection::Command(const std::string& method, const Json& params) {
  return session_.Call(method, params, kCommandTimeoutMs).ok;
}

bool PageConnection::Prepare(std::string* error) {
  for (const char* domain :
       {"Page.enable", "Runtime.enable", "Network.enable", "Debugger.enable"}) {
    if (!Command(domain, Json::object())) {
      *error = std::string(domain) + " failed";
      return false;
    }
  }
  Command("Page.setLifecycleEventsEnabled", {{"enabled", true}});
  DevToolsSession::Reply tree =
      session_.Call("Page.getFrameTree", Json::object(), kCommandTimeoutMs);
  main_frame_ = StringMember(Member(Member(tree.result, "frameTree"), "frame"), "id");
  std::string support = NativeCallSupportScript();
  Command("Page.addScriptToEvaluateOnNewDocument", {{"source", support}});
  if (!Command("Runtime.evaluate", {{"expression", support}})) {
    *error = "the page script did not run";
    return false;
  }
  return true;
}
