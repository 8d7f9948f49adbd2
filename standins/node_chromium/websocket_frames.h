#pragma once
// WebSocket framing (RFC 6455) for the client side: libcurl makes the
// connection and the upgrade, and in its raw mode leaves the frames to us.
#include <cstdint>
#include <string>

// Frames one client text message: final, masked with `mask`.
std::string EncodeClientTextFrame(const std::string& payload, uint32_t mask);
// Frames a client control message (pong for a ping, or close).
std::string EncodeClientControlFrame(int opcode, const std::string& payload, uint32_t mask);

// Collects server frames from a byte stream and hands out whole messages.
class FrameReader {
 public:
  enum class Result { kNeedMore, kText, kPing, kClose, kError };
  // Adds received bytes.
  void Append(const char* data, size_t length) { buffer_.append(data, length); }
  // Takes the next complete event out of the buffer. kText and kPing fill *payload.
  Result Next(std::string* payload);

  // Text messages larger than this are refused (the link is then closed).
  static constexpr uint64_t kMaxMessage = 256u * 1024 * 1024;

 private:
  std::string buffer_;
  std::string message_;  // fragments of the current message
  bool in_message_ = false;
};

constexpr int kOpcodeContinuation = 0, kOpcodeText = 1, kOpcodeBinary = 2, kOpcodeClose = 8,
              kOpcodePing = 9, kOpcodePong = 10;
