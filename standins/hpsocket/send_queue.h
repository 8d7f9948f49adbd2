#pragma once
// Whole frames waiting to be written to one connection. Any thread appends;
// only the connection's worker thread reads and removes, so the bytes it is
// writing stay put while other threads keep queueing.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class SendQueue {
 public:
  // Appends one complete frame (header and body).
  void Push(std::vector<uint8_t> frame);
  // The unsent bytes of the oldest frame; false when the queue is empty.
  bool Front(const uint8_t** data, size_t* size);
  // Records that `count` bytes of the oldest frame were written. When that
  // finishes the frame it is removed and moved into *finished; returns true.
  bool Consume(size_t count, std::vector<uint8_t>* finished);
  // Bytes queued and not yet written.
  size_t PendingBytes() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<std::vector<uint8_t>> frames_;
  size_t front_written_ = 0;  // bytes of frames_.front() already written
  size_t pending_ = 0;
};
