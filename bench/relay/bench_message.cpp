#include "bench/relay/bench_message.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kSeqKey[] = "\"seq\":";
constexpr char kStampKey[] = "\"t\":";
constexpr char kClosing[] = "\"}";
constexpr char kPadding = 'x';

// The first occurrence of key within [body, body + length), or null.
const char* FindKey(const char* body, size_t length, const char* key) {
  const size_t key_length = std::strlen(key);
  for (size_t i = 0; i + key_length <= length; ++i) {
    if (std::memcmp(body + i, key, key_length) == 0) return body + i + key_length;
  }
  return nullptr;
}

// A non-negative decimal integer starting at *text, ending before `end`.
bool ReadDecimal(const char* text, const char* end, int64_t* value) {
  if (text == nullptr || text >= end || *text < '0' || *text > '9') return false;
  int64_t result = 0;
  for (; text < end && *text >= '0' && *text <= '9'; ++text) result = result * 10 + (*text - '0');
  *value = result;
  return true;
}

void AppendLittleEndian32(uint32_t word, std::string* out) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((word >> (8 * i)) & 0xFF));
}

}  // namespace

void AppendBenchFrame(long seq, int64_t stamp, size_t body_bytes, std::string* out) {
  char head[kMinBenchBody];
  const int written = std::snprintf(head, sizeof(head),
                                    "{\"c\":\"bench\",\"a\":\"m\",\"seq\":%ld,"
                                    "\"t\":%lld,\"data\":\"",
                                    seq, static_cast<long long>(stamp));
  const size_t head_length = static_cast<size_t>(written);
  const size_t closing_length = sizeof(kClosing) - 1;
  const size_t padding =
      body_bytes > head_length + closing_length ? body_bytes - head_length - closing_length : 0;
  AppendLittleEndian32(static_cast<uint32_t>(head_length + padding + closing_length), out);
  out->append(head, head_length);
  out->append(padding, kPadding);
  out->append(kClosing, closing_length);
}

bool ReadBenchStamp(const char* body, size_t length, long* seq, int64_t* stamp) {
  if (body == nullptr) return false;
  const char* end = body + length;
  int64_t seq_value = 0;
  if (!ReadDecimal(FindKey(body, length, kSeqKey), end, &seq_value)) return false;
  if (!ReadDecimal(FindKey(body, length, kStampKey), end, stamp)) return false;
  *seq = static_cast<long>(seq_value);
  return true;
}
