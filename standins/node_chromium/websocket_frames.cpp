#include "websocket_frames.h"

namespace {

std::string Encode(int opcode, const std::string& payload, uint32_t mask) {
  std::string frame;
  frame.push_back(static_cast<char>(0x80 | opcode));  // final fragment
  uint64_t length = payload.size();
  if (length < 126) {
    frame.push_back(static_cast<char>(0x80 | length));
  } else if (length <= 0xFFFF) {
    frame.push_back(static_cast<char>(0x80 | 126));
    frame.push_back(static_cast<char>(length >> 8));
    frame.push_back(static_cast<char>(length));
  } else {
    frame.push_back(static_cast<char>(0x80 | 127));
    for (int shift = 56; shift >= 0; shift -= 8)
      frame.push_back(static_cast<char>(length >> shift));
  }
  char key[4] = {static_cast<char>(mask >> 24), static_cast<char>(mask >> 16),
                 static_cast<char>(mask >> 8), static_cast<char>(mask)};
  frame.append(key, 4);
  size_t start = frame.size();
  frame += payload;
  for (size_t i = 0; i < payload.size(); ++i) frame[start + i] ^= key[i % 4];
  return frame;
}

}  // namespace

std::string EncodeClientTextFrame(const std::string& payload, uint32_t mask) {
  return Encode(kOpcodeText, payload, mask);
}

std::string EncodeClientControlFrame(int opcode, const std::string& payload, uint32_t mask) {
  return Encode(opcode, payload, mask);
}

FrameReader::Result FrameReader::Next(std::string* payload) {
  for (;;) {
    if (buffer_.size() < 2) return Result::kNeedMore;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.data());
    bool final_fragment = (bytes[0] & 0x80) != 0;
    int opcode = bytes[0] & 0x0F;
    bool masked = (bytes[1] & 0x80) != 0;
    uint64_t length = bytes[1] & 0x7F;
    size_t header = 2;
    if (length == 126) {
      if (buffer_.size() < 4) return Result::kNeedMore;
      length = (uint64_t{bytes[2]} << 8) | bytes[3];
      header = 4;
    } else if (length == 127) {
      if (buffer_.size() < 10) return Result::kNeedMore;
      length = 0;
      for (int i = 2; i < 10; ++i) length = (length << 8) | bytes[i];
      header = 10;
    }
    // A server never masks its frames; a frame this long is not ours either.
    if (masked || length > kMaxMessage) return Result::kError;
    if (buffer_.size() - header < length) return Result::kNeedMore;
    std::string data = buffer_.substr(header, static_cast<size_t>(length));
    buffer_.erase(0, header + static_cast<size_t>(length));
    switch (opcode) {
      case kOpcodePing:
        *payload = data;
        return Result::kPing;
      case kOpcodeClose:
        return Result::kClose;
      case kOpcodePong:
        continue;
      case kOpcodeText:
      case kOpcodeBinary:
        if (in_message_) return Result::kError;  // a new message inside a fragmented one
        message_ = std::move(data);
        in_message_ = true;
        break;
      case kOpcodeContinuation:
        if (!in_message_) return Result::kError;
        if (message_.size() + data.size() > kMaxMessage) return Result::kError;
        message_ += data;
        break;
      default:
        return Result::kError;
    }
    if (final_fragment) {
      in_message_ = false;
      payload->swap(message_);
      message_.clear();
      return Result::kText;
    }
  }
}
