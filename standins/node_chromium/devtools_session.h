#pragma once
// Commands and events of one DevTools target, over a WebSocket to that
// target or over the browser's own pipe with the target attached as a session.
//
// Events and the replies of posted commands are handled on the link's reader
// thread. A caller waiting in Call() can be woken to do other work (Nudge()),
// which is how the GUI thread serves page-to-native calls while it waits for
// the browser, so the two never wait on each other.
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "message_link.h"
#include "protocol_json.h"

class DevToolsSession {
 public:
  struct Reply {
    bool ok = false;    // the browser answered without a protocol error
    Json result;        // the "result" member
    std::string error;  // the protocol error message, or why no answer came
  };
  // Runs on the reader thread for every event.
  using EventSink = std::function<void(const std::string& method, const Json& params)>;
  // Runs on the reader thread with the reply of a posted command.
  using ReplySink = std::function<void(const Reply& reply)>;

  DevToolsSession() = default;
  ~DevToolsSession() { Close(); }
  DevToolsSession(const DevToolsSession&) = delete;
  DevToolsSession& operator=(const DevToolsSession&) = delete;

  // `on_lost` runs on the reader thread once, when the browser closes the
  // connection (it ended or died); a Close() of our own does not call it.
  bool Open(const std::string& socket_url, EventSink on_event, std::function<int()> on_tick,
            std::function<void()> on_lost = nullptr);
  // The same over the browser's debugging pipe (two FIFOs, Windows paths).
  // Until SetPageSession() the commands go to the browser itself.
  bool OpenPipe(const std::wstring& from_browser, const std::wstring& to_browser,
                EventSink on_event, std::function<int()> on_tick,
                std::function<void()> on_lost = nullptr);
  void Close();
  bool IsOpen() const { return link_ && link_->IsOpen(); }
  // From now on every command goes to this attached session, and only events
  // of attached sessions reach the sink (the browser's own are not the page's).
  void SetPageSession(const std::string& session_id);

  // Sends a command without waiting; the reply, if a sink is given, goes there.
  bool Post(const std::string& method, const Json& params, ReplySink on_reply = nullptr);
  // The same for a target attached to this one, through its session id.
  bool PostToSession(const std::string& session_id, const std::string& method, const Json& params);
  // Sends a command and waits up to timeout_ms for its reply. While waiting,
  // each Nudge() makes it run `service` on the calling thread.
  Reply Call(const std::string& method, const Json& params, int timeout_ms,
             const std::function<void()>& service = nullptr);
  // Wakes every Call() in progress to run its service function.
  void Nudge();

 private:
  void Reopened();
  bool Started(bool opened);
  bool SendText(const std::string& text);
  void OnMessage(std::string&& text);
  void OnClosed();
  int NextId();
  Json Command(int id, const std::string& method, const Json& params);

  std::unique_ptr<MessageLink> link_;  // replaced only by Open, before its reader runs
  bool over_pipe_ = false;             // set by Open, before its reader runs
  std::string page_session_;           // under lock_
  EventSink on_event_;
  std::function<void()> on_lost_;
  std::mutex lock_;
  std::condition_variable changed_;
  int last_id_ = 0;
  unsigned nudges_ = 0;
  bool closed_ = false;
  std::map<int, ReplySink> posted_;  // posted commands awaiting a reply
  std::map<int, Reply*> awaited_;    // Call()s in progress
  std::map<int, bool> answered_;     // awaited ids whose reply has arrived
};
