#include "standins/hpsocket/pack_frame.h"

#include <cstring>

namespace pack {
namespace {

uint32_t ReadLittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

bool IsValidSetting(uint32_t max_pack_size, uint32_t flag) {
  return max_pack_size >= 1 && max_pack_size <= kLengthMask && flag <= kMaxFlag;
}

bool IsValidBodyLength(size_t length, uint32_t max_pack_size) {
  return length > 0 && length <= max_pack_size;
}

void WriteHeader(uint32_t length, uint32_t flag, uint8_t out[kHeaderSize]) {
  uint32_t word = (flag << kFlagShift) | (length & kLengthMask);
  out[0] = static_cast<uint8_t>(word);
  out[1] = static_cast<uint8_t>(word >> 8);
  out[2] = static_cast<uint8_t>(word >> 16);
  out[3] = static_cast<uint8_t>(word >> 24);
}

FrameDecoder::FrameDecoder(uint32_t max_pack_size, uint32_t flag)
    : max_pack_size_(max_pack_size), flag_(flag) {}

void FrameDecoder::Feed(const uint8_t* data, size_t size) {
  if (error_ != 0 || size == 0) return;
  Compact();
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameDecoder::Status FrameDecoder::Next(const uint8_t** body, size_t* length) {
  if (error_ != 0) return Status::kError;
  if (buffered() < kHeaderSize) return Status::kNeedMore;
  uint32_t header = ReadLittleEndian32(buffer_.data() + read_);
  // The header is judged as soon as it is complete, so an oversized or foreign
  // frame is refused before any of its body is buffered.
  if (!CheckHeader(header)) return Status::kError;
  size_t body_length = header & kLengthMask;
  if (buffered() < kHeaderSize + body_length) return Status::kNeedMore;
  *body = buffer_.data() + read_ + kHeaderSize;
  *length = body_length;
  read_ += kHeaderSize + body_length;
  return Status::kBody;
}

bool FrameDecoder::CheckHeader(uint32_t header) {
  // The flag is only compared when this end configured one; a peer that
  // sends a flag to an unflagged client is accepted, as the peer chose it.
  if (flag_ != 0 && (header >> kFlagShift) != flag_) {
    error_ = kErrorInvalidData;
    return false;
  }
  // A zero-length body is refused like an oversized one: the sending side
  // never produces it, so it can only come from a broken or hostile peer,
  // and refusing it keeps this end compatible with the original library.
  if (!IsValidBodyLength(header & kLengthMask, max_pack_size_)) {
    error_ = kErrorBadLength;
    return false;
  }
  return true;
}

void FrameDecoder::Compact() {
  // Drops consumed bytes before appending, so the buffer never holds more
  // than one partial frame plus the chunk being fed.
  if (read_ == 0) return;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(read_));
  read_ = 0;
}

void FrameDecoder::Reset() {
  buffer_.clear();
  read_ = 0;
  error_ = 0;
}

}  // namespace pack
