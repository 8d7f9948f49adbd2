#include "devtools_session.h"

#include <chrono>

#include "pipe_link.h"
#include "websocket_link.h"

bool DevToolsSession::Open(const std::string& socket_url, EventSink on_event,
                           std::function<int()> on_tick, std::function<void()> on_lost) {
  on_event_ = std::move(on_event);
  on_lost_ = std::move(on_lost);
  auto link = std::make_unique<WebSocketLink>();
  WebSocketLink* raw = link.get();
  link_ = std::move(link);
  over_pipe_ = false;
  Reopened();
  return Started(raw->Open(
      socket_url, [this](std::string&& text) { OnMessage(std::move(text)); },
      [this] {
        OnClosed();
        if (on_lost_) on_lost_();
      },
      std::move(on_tick)));
}

bool DevToolsSession::OpenPipe(const std::wstring& from_browser, const std::wstring& to_browser,
                               EventSink on_event, std::function<int()> on_tick,
                               std::function<void()> on_lost) {
  on_event_ = std::move(on_event);
  on_lost_ = std::move(on_lost);
  auto link = std::make_unique<PipeLink>();
  PipeLink* raw = link.get();
  link_ = std::move(link);
  over_pipe_ = true;
  Reopened();
  return Started(raw->Open(
      from_browser, to_browser, [this](std::string&& text) { OnMessage(std::move(text)); },
      [this] {
        OnClosed();
        if (on_lost_) on_lost_();
      },
      std::move(on_tick)));
}

void DevToolsSession::Reopened() {
  std::lock_guard<std::mutex> lock(lock_);
  closed_ = false;
}

bool DevToolsSession::Started(bool opened) {
  if (opened) return true;
  std::lock_guard<std::mutex> lock(lock_);
  closed_ = true;
  return false;
}

bool DevToolsSession::SendText(const std::string& text) { return link_ && link_->Send(text); }

void DevToolsSession::SetPageSession(const std::string& session_id) {
  std::lock_guard<std::mutex> lock(lock_);
  page_session_ = session_id;
}

Json DevToolsSession::Command(int id, const std::string& method, const Json& params) {
  Json message = {{"id", id}, {"method", method}, {"params", params}};
  std::lock_guard<std::mutex> lock(lock_);
  if (!page_session_.empty()) message["sessionId"] = page_session_;
  return message;
}

void DevToolsSession::Close() {
  if (link_) link_->Close();
  OnClosed();
}

int DevToolsSession::NextId() { return ++last_id_; }

bool DevToolsSession::PostToSession(const std::string& session_id, const std::string& method,
                                    const Json& params) {
  int id;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_) return false;
    id = NextId();
  }
  Json message = {{"id", id}, {"method", method}, {"params", params}, {"sessionId", session_id}};
  return SendText(DumpJson(message));
}

bool DevToolsSession::Post(const std::string& method, const Json& params, ReplySink on_reply) {
  int id;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_) return false;
    id = NextId();
    if (on_reply) posted_[id] = std::move(on_reply);
  }
  if (SendText(DumpJson(Command(id, method, params)))) return true;
  std::lock_guard<std::mutex> lock(lock_);
  posted_.erase(id);
  return false;
}

DevToolsSession::Reply DevToolsSession::Call(const std::string& method, const Json& params,
                                             int timeout_ms, const std::function<void()>& service) {
  Reply reply;
  int id;
  unsigned seen_nudges;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_) {
      reply.error = "not connected";
      return reply;
    }
    id = NextId();
    awaited_[id] = &reply;
    seen_nudges = nudges_;
  }
  bool sent = SendText(DumpJson(Command(id, method, params)));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::unique_lock<std::mutex> lock(lock_);
  while (sent && !answered_.count(id) && !closed_) {
    if (service && nudges_ != seen_nudges) {
      seen_nudges = nudges_;
      lock.unlock();
      service();
      lock.lock();
      continue;
    }
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) break;
  }
  bool answered = answered_.erase(id) > 0;
  awaited_.erase(id);
  if (!answered && reply.error.empty())
    reply.error = sent && !closed_ ? "time-out" : "not connected";
  return reply;
}

void DevToolsSession::Nudge() {
  std::lock_guard<std::mutex> lock(lock_);
  ++nudges_;
  changed_.notify_all();
}

void DevToolsSession::OnMessage(std::string&& text) {
  Json message = ParseJson(text);
  if (!message.is_object()) return;
  const Json& id_value = Member(message, "id");
  if (!id_value.is_number_integer()) {
    // Over the pipe the browser's own events (our attaching to the page
    // among them) come without a session: they are not the page's.
    if (over_pipe_ && StringMember(message, "sessionId").empty()) return;
    if (on_event_) on_event_(StringMember(message, "method"), Member(message, "params"));
    return;
  }
  Reply reply;
  const Json& error = Member(message, "error");
  reply.ok = error.is_null();
  reply.error = StringMember(error, "message");
  reply.result = Member(message, "result");
  int id = id_value.get<int>();
  ReplySink sink;
  {
    std::lock_guard<std::mutex> lock(lock_);
    auto waiter = awaited_.find(id);
    if (waiter != awaited_.end()) {
      *waiter->second = std::move(reply);
      answered_[id] = true;
      changed_.notify_all();
      return;
    }
    auto posted = posted_.find(id);
    if (posted == posted_.end()) return;
    sink = std::move(posted->second);
    posted_.erase(posted);
  }
  sink(reply);
}

void DevToolsSession::OnClosed() {
  std::lock_guard<std::mutex> lock(lock_);
  closed_ = true;
  posted_.clear();
  changed_.notify_all();
}
