#pragma once
// The messages the benchmark's sender pushes, and how the receiving side
// reads back what it needs from them. A message is one JSON object of an
// exact byte size:
//   {"c":"bench","a":"m","seq":N,"t":T,"data":"xxxx...x"}
// where T is the sender's QueryPerformanceCounter reading taken just before
// the bytes went to the socket.
#include <cstddef>
#include <cstdint>
#include <string>

// The smallest body that still has room for the largest sequence number and
// time stamp, so every message has the size asked for.
inline constexpr size_t kMinBenchBody = 96;

// Appends one message of exactly `body_bytes` bytes (at least kMinBenchBody),
// preceded by its 4-byte little-endian pack header (flag 0), to *out.
void AppendBenchFrame(long seq, int64_t stamp, size_t body_bytes, std::string* out);

// Reads "seq" and "t" from a message body as the sender wrote them; false
// when either is missing or malformed. The body need not end in a zero byte.
bool ReadBenchStamp(const char* body, size_t length, long* seq, int64_t* stamp);
