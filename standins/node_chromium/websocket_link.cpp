#include "websocket_link.h"

#include <winsock2.h>

#include <algorithm>
#include <vector>

namespace {
// The longest the reader sleeps without looking at the socket itself.
constexpr int kLongestWaitMs = 1000;
// A send that finds the socket's buffer full waits this long at a time.
constexpr int kSendWaitMs = 50;
// A send that cannot make progress for this long counts as failed.
constexpr int kSendStallMs = 5000;
// The DevTools handshake on loopback takes milliseconds; a dead port fails at once.
constexpr long kConnectTimeoutMs = 5000;
}  // namespace

WebSocketLink::~WebSocketLink() { Close(); }

bool WebSocketLink::Open(const std::string& url, MessageSink on_message, ClosedSink on_closed,
                         TickSink on_tick) {
  curl_ = Curl();
  if (!curl_ || open_) return false;
  handle_ = curl_->curl_easy_init();
  if (!handle_) return false;
  curl_->curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
  // 2: perform only the WebSocket upgrade and leave the connection to us.
  curl_->curl_easy_setopt(handle_, CURLOPT_CONNECT_ONLY, 2L);
  curl_->curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_->curl_easy_setopt(handle_, CURLOPT_NOPROXY, "*");
  if (curl_->curl_easy_perform(handle_) != CURLE_OK ||
      curl_->curl_easy_getinfo(handle_, CURLINFO_ACTIVESOCKET, &socket_) != CURLE_OK) {
    curl_->curl_easy_cleanup(handle_);
    handle_ = nullptr;
    return false;
  }
  // libcurl made the connection and the upgrade; the frames are ours, on its
  // socket (its own framing in this version loses frames that arrive together,
  // and its raw mode drops their headers). The browser sends nothing before
  // our first message, so libcurl holds no bytes of ours.
  // Event selection also makes the socket non-blocking.
  socket_event_ = ::WSACreateEvent();
  stop_event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (socket_event_ == WSA_INVALID_EVENT || !stop_event_ ||
      ::WSAEventSelect(socket_, socket_event_, FD_READ | FD_CLOSE) != 0) {
    CloseEvents();
    curl_->curl_easy_cleanup(handle_);
    handle_ = nullptr;
    return false;
  }
  on_message_ = std::move(on_message);
  on_closed_ = std::move(on_closed);
  on_tick_ = std::move(on_tick);
  stop_ = false;
  open_ = true;
  reader_frames_ = FrameReader();
  mask_seed_ = ::GetTickCount() ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
  reader_ = std::thread([this] { ReadLoop(); });
  return true;
}

void WebSocketLink::Close() {
  stop_ = true;
  if (stop_event_) ::SetEvent(stop_event_);
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
  std::lock_guard<std::mutex> lock(handle_lock_);
  open_ = false;
  if (handle_) curl_->curl_easy_cleanup(handle_);
  handle_ = nullptr;
  if (!reader_.joinable()) CloseEvents();
}

void WebSocketLink::CloseEvents() {
  if (socket_event_ && socket_event_ != WSA_INVALID_EVENT) ::WSACloseEvent(socket_event_);
  if (stop_event_) ::CloseHandle(stop_event_);
  socket_event_ = nullptr;
  stop_event_ = nullptr;
}

void WebSocketLink::WaitForReadOrStop(int timeout_ms) {
  HANDLE events[] = {socket_event_, stop_event_};
  // Never without a limit: under Wine the close of a killed browser's
  // connection is now and then not signalled, and a reader that slept on
  // regardless would never notice the browser is gone. Looking once a second
  // finds that with one recv, and costs nothing worth measuring.
  int limit = timeout_ms == kNoTick ? kLongestWaitMs : std::min(timeout_ms, kLongestWaitMs);
  DWORD wait = static_cast<DWORD>(limit);
  if (::WaitForMultipleObjects(2, events, FALSE, wait) != WAIT_OBJECT_0) return;
  // Clears the socket's event; the reads that follow take whatever is there.
  WSANETWORKEVENTS happened;
  ::WSAEnumNetworkEvents(socket_, socket_event_, &happened);
}

bool WebSocketLink::WaitForSocket(bool for_write, int timeout_ms) const {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket_, &set);
  timeval wait = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  int ready = ::select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, nullptr, &wait);
  return ready > 0;
}

void WebSocketLink::ReadLoop() {
  while (!stop_) {
    if (!ReceiveAvailable()) break;
    int next_tick = on_tick_ ? on_tick_() : kNoTick;
    if (!stop_) WaitForReadOrStop(next_tick);
  }
  open_ = false;
  if (!stop_ && on_closed_) on_closed_();
}

// Drains everything libcurl can give without blocking; false when the link is gone.
bool WebSocketLink::ReceiveAvailable() {
  char buffer[64 * 1024];
  for (;;) {
    int received = ::recv(socket_, buffer, sizeof(buffer), 0);
    if (received == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return true;
    if (received <= 0) return false;  // closed by the browser, or failed
    reader_frames_.Append(buffer, static_cast<size_t>(received));
    for (;;) {
      std::string payload;
      FrameReader::Result next = reader_frames_.Next(&payload);
      if (next == FrameReader::Result::kNeedMore) break;
      if (next == FrameReader::Result::kClose || next == FrameReader::Result::kError) return false;
      if (next == FrameReader::Result::kPing) {
        std::lock_guard<std::mutex> lock(handle_lock_);
        SendLocked(EncodeClientControlFrame(kOpcodePong, payload, NextMask()));
        continue;
      }
      if (on_message_) on_message_(std::move(payload));
    }
  }
}

bool WebSocketLink::Send(const std::string& text) {
  std::lock_guard<std::mutex> lock(handle_lock_);
  if (!handle_ || !open_) return false;
  return SendLocked(EncodeClientTextFrame(text, NextMask()));
}

uint32_t WebSocketLink::NextMask() {
  // Masking only guards proxies against crafted payloads; any changing value will do.
  mask_seed_ = mask_seed_ * 1664525u + 1013904223u;
  return mask_seed_;
}

// Writes already framed bytes; partial writes simply continue where they stopped.
bool WebSocketLink::SendLocked(const std::string& bytes) {
  size_t offset = 0;
  DWORD stalled_since = ::GetTickCount();
  while (offset < bytes.size()) {
    int sent = ::send(socket_, bytes.data() + offset, static_cast<int>(bytes.size() - offset), 0);
    if (sent == SOCKET_ERROR && ::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (sent > 0) {
      offset += static_cast<size_t>(sent);
      stalled_since = ::GetTickCount();
      continue;
    }
    if (::GetTickCount() - stalled_since > static_cast<DWORD>(kSendStallMs)) return false;
    WaitForSocket(true, kSendWaitMs);
  }
  return true;
}
