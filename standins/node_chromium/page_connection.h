#pragma once
// The DevTools connection to the page of one started browser: its session,
// the frame pump its screencast feeds, and the target's ids. A view makes one
// per browser it starts, on its restart thread, and hands it to the GUI
// thread; whichever thread drops the last reference ends the reader and pump
// threads (never the reader itself: it holds no reference).
#include <functional>
#include <memory>
#include <string>

#include "devtools_session.h"
#include "frame_pump.h"

class PageConnection {
 public:
  struct Sinks {
    // Reader thread: every event, with the connection it came from.
    std::function<void(PageConnection& from, const std::string& method, const Json& params)>
        on_event;
    // Reader thread: after each batch of events and when the wait it last
    // returned (ms; MessageLink::kNoTick for none) has passed.
    std::function<int(PageConnection& from)> on_tick;
    // Reader thread, once: the browser closed the connection (it ended or died).
    std::function<void()> on_lost;
    // Pump thread: each decoded frame.
    FramePump::FrameSink on_frame;
  };

  PageConnection(int port, FramePump::FrameSink on_frame)
      : port_(port), pump_(std::move(on_frame)) {}
  PageConnection(const PageConnection&) = delete;
  PageConnection& operator=(const PageConnection&) = delete;

  // Connects to the first page target of the browser listening on `port`;
  // null, with a reason, when it cannot.
  static std::shared_ptr<PageConnection> Open(int port, Sinks sinks, std::string* error);
  // The same over the browser's debugging pipe: attaches to its first page
  // target and sends every later command to that page. `port` is the
  // browser's debugging port besides, or 0 when it has none.
  static std::shared_ptr<PageConnection> OpenPipe(const std::wstring& from_browser,
                                                  const std::wstring& to_browser, int port,
                                                  Sinks sinks, std::string* error);
  // Enables what the view uses (page, runtime, network and debugger events,
  // the native-call binding and its page script); false when the browser
  // did not answer. The screencast starts later, once the view's size and
  // background are set, so no frame of the wrong kind is shown.
  bool Prepare(std::string* error);

  DevToolsSession& session() { return session_; }
  bool IsOpen() const { return session_.IsOpen(); }
  // The browser's debugging port, 0 when it has none.
  int port() const { return port_; }
  const std::string& target_id() const { return target_id_; }
  const std::string& main_frame() const { return main_frame_; }
  // Hands one encoded frame to the pump (reader thread).
  void SubmitFrame(std::string base64) { pump_.Submit(std::move(base64)); }

  static constexpr int kCommandTimeoutMs = 5000;

 private:
  bool Command(const std::string& method, const Json& params);

  int port_;
  std::string target_id_;
  std::string main_frame_;
  FramePump pump_;           // declared before the session, so it outlives the reader
  DevToolsSession session_;  // destroyed first: joins the reader
};
