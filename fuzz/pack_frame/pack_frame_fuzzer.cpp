// Feeds arbitrary streams, cut at arbitrary points, to the frame decoder and
// checks the bodies and errors against a one-pass reading of the same stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "standins/hpsocket/pack_frame.h"

namespace {

struct Outcome {
  std::vector<std::string> bodies;
  int error = 0;
};

// The whole stream at once, read the simplest possible way.
Outcome ReadAtOnce(const uint8_t* p, size_t n, uint32_t limit, uint32_t flag) {
  Outcome out;
  size_t at = 0;
  while (n - at >= pack::kHeaderSize) {
    uint32_t h = p[at] | p[at + 1] << 8 | p[at + 2] << 16 | static_cast<uint32_t>(p[at + 3]) << 24;
    uint32_t length = h & pack::kLengthMask;
    if (flag != 0 && (h >> pack::kFlagShift) != flag)
      return out.error = pack::kErrorInvalidData, out;
    if (length == 0 || length > limit) return out.error = pack::kErrorBadLength, out;
    if (n - at - pack::kHeaderSize < length) break;
    out.bodies.emplace_back(reinterpret_cast<const char*>(p + at + pack::kHeaderSize), length);
    at += pack::kHeaderSize + length;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // Small limits make oversized frames reachable with small inputs.
  uint32_t limit = 1 + data[0] % 64;
  uint32_t flag = data[1] % 4;  // mostly 0, sometimes a flag to match
  size_t piece = 1 + data[2] % 16;
  const uint8_t* stream = data + 3;
  size_t n = size - 3;

  Outcome expected = ReadAtOnce(stream, n, limit, flag);
  Outcome got;
  pack::FrameDecoder decoder(limit, flag);
  for (size_t at = 0; at < n && got.error == 0; at += piece) {
    decoder.Feed(stream + at, std::min(piece, n - at));
    const uint8_t* body;
    size_t length;
    pack::FrameDecoder::Status status;
    while ((status = decoder.Next(&body, &length)) == pack::FrameDecoder::Status::kBody) {
      if (length == 0 || length > limit) std::abort();
      got.bodies.emplace_back(reinterpret_cast<const char*>(body), length);
    }
    if (status == pack::FrameDecoder::Status::kError) {
      got.error = decoder.error();
      if (got.error == 0) std::abort();
    }
  }
  if (got.bodies != expected.bodies || got.error != expected.error) std::abort();
  if (got.error != 0) {
    const uint8_t* body;
    size_t length;
    if (decoder.Next(&body, &length) != pack::FrameDecoder::Status::kError) std::abort();
  }
  return 0;
}
