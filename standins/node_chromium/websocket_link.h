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
#include "message_link.h"
#include "websocket_frames.h"

class WebSocketLink : public MessageLink {
 public:
  WebSocketLink() = default;
  ~WebSocketLink() override;
  WebSocketLink(const WebSocketLink&) = delete;
  WebSocketLink& operator=(const WebSocketLink&) = delete;

  // Connects to a ws:// URL and starts the reader; false when the handshake fails.
  bool Open(const std::string& url, MessageSink on_message, ClosedSink on_closed, TickSink on_tick);
  // Sends one text message; false when the link is not open or the send failed.
  bool Send(const std::string& text) override;
  // Stops the reader and closes the connection. Safe to call twice.
  void Close() override;
  bool IsOpen() const override { return open_; }

 private:
  void ReadLoop();
  bool ReceiveAvailable();
  bool SendLocked(const std::string& bytes);
  uint32_t NextMask();
  bool WaitForSocket(bool for_write, int timeout_ms) const;
  // Sleeps until the socket has something to read, Close() is called or
  // timeout_ms passes (kNoTick: no time limit).
  void WaitForReadOrStop(int timeout_ms);
  void CloseEvents();

  const CurlFunctions* curl_ = nullptr;
  CURL* handle_ = nullptr;
  curl_socket_t socket_ = CURL_SOCKET_BAD;
  std::mutex handle_lock_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> open_{false};
  // The reader sleeps on both: the socket's read and close events, and the
  // stop that Close() signals, so an idle link wakes nobody.
  HANDLE socket_event_ = nullptr;
  HANDLE stop_event_ = nullptr;
  MessageSink on_message_;
  ClosedSink on_closed_;
  TickSink on_tick_;
  FrameReader reader_frames_;  // reader thread only
  uint32_t mask_seed_ = 0;     // under handle_lock_
};
