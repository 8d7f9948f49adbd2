#pragma once
// The pack framing of the TCP link, free of any OS service so it builds and is
// tested natively as well as inside the Windows library.
//
// Each message on the wire is a 4-byte little-endian header followed by the
// body. The header's low 22 bits hold the body length, its high 10 bits a flag
// that both ends agree on (0 unless configured).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pack {

inline constexpr size_t kHeaderSize = 4;
inline constexpr uint32_t kLengthMask = 0x3FFFFF;
inline constexpr uint32_t kFlagShift = 22;
inline constexpr uint32_t kMaxFlag = 0x3FF;
// Largest body accepted unless the owner configures another limit.
inline constexpr uint32_t kDefaultMaxPackSize = 0x40000;

// Error codes reported for a broken stream, the Windows values the library's
// callers expect in OnClose.
inline constexpr int kErrorBadLength = 24;    // ERROR_BAD_LENGTH
inline constexpr int kErrorInvalidData = 13;  // ERROR_INVALID_DATA

// True when the limit and flag can describe a valid stream: a limit of
// 1..0x3FFFFF bytes and a flag of at most 10 bits.
bool IsValidSetting(uint32_t max_pack_size, uint32_t flag);

// True when a body of this many bytes may be sent or received: an empty body
// is not a message, and nothing above the limit is.
bool IsValidBodyLength(size_t length, uint32_t max_pack_size);

// Writes the header announcing a body of `length` bytes with `flag`.
void WriteHeader(uint32_t length, uint32_t flag, uint8_t out[kHeaderSize]);

// Cuts a byte stream, delivered in chunks of any size, into whole bodies.
//
// Usage: Feed() a received chunk, then call Next() until it stops returning
// kBody. A body view stays valid until the next Feed() or Next(). Once an error
// is reported the decoder stays failed: the stream has lost its frame
// boundaries and the only sound answer is to close the connection.
class FrameDecoder {
 public:
  enum class Status { kNeedMore, kBody, kError };

  FrameDecoder(uint32_t max_pack_size, uint32_t flag);

  void Feed(const uint8_t* data, size_t size);
  Status Next(const uint8_t** body, size_t* length);

  // The error code (kErrorBadLength, kErrorInvalidData) after kError, else 0.
  int error() const { return error_; }
  // Bytes received but not yet handed out as a body.
  size_t buffered() const { return buffer_.size() - read_; }
  // Forgets buffered bytes and errors, for a new connection.
  void Reset();

 private:
  bool CheckHeader(uint32_t header);
  void Compact();

  uint32_t max_pack_size_;
  uint32_t flag_;
  std::vector<uint8_t> buffer_;
  size_t read_ = 0;  // offset of the first byte not yet consumed
  int error_ = 0;
};

}  // namespace pack
