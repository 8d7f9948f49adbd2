#pragma once
// One WebSocket connection to a loopback DevTools endpoint: libcurl connects
// and upgrades, then frames go over its socket. A reader thread delivers every
// complete text message to the sink; Send may be called from any thread
// (sends are serialised by one lock; the reader alone receives).
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "curl_functions.h"
#include "websocket_frames.h"

class WebSocketLink {
 public:
  // Runs on the reader thread, once per complete text message.
  using MessageSink = std::function<void(std::string&& message)>;
  // Runs on the reader thread when the link is gone (closed by the peer or failed).
  using ClosedSink = std::function<void()>;
  // Runs on the reader thread at least every kIdleTickMs while the link is open.
  using TickSink = std::function<void()>;

  WebSocketLink() = default;
  ~WebSocketLink();
  WebSocketLink(const WebSocketLink&) = delete;
  WebSocketLink& operator=(const WebSocketLink&) = delete;

  // Connects to a ws:// URL and starts the reader; false when the handshake fails.
  bool Open(const std::string& url, MessageSink on_message, ClosedSink on_closed, TickSink on_tick);
  // Sends one text message; false when the link is not open or the send failed.
  bool Send(const std::string& text);
  // Stops the reader and closes the connection. Safe to call twice.
  void Close();
  bool IsOpen() const { return open_; }

  static constexpr int kIdleTickMs = 50;

 private:
  void ReadLoop();
  bool ReceiveAvailable();
  bool SendLocked(const std::string& bytes);
  uint32_t NextMask();
  bool WaitForSocket(bool for_write, int timeout_ms) const;

  const CurlFunctions* curl_ = nullptr;
  CURL* handle_ = nullptr;
  curl_socket_t socket_ = CURL_SOCKET_BAD;
  std::mutex handle_lock_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> open_{false};
  MessageSink on_message_;
  ClosedSink on_closed_;
  TickSink on_tick_;
  FrameReader reader_frames_;  // reader thread only
  uint32_t mask_seed_ = 0;     // under handle_lock_
};
