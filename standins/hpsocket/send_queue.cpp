#include "standins/hpsocket/send_queue.h"

#include <utility>

void SendQueue::Push(std::vector<uint8_t> frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ += frame.size();
  frames_.push_back(std::move(frame));
}

bool SendQueue::Front(const uint8_t** data, size_t* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (frames_.empty()) return false;
  // Elements of a deque keep their address while others are appended, so the
  // pointer stays valid after the lock is released.
  const std::vector<uint8_t>& front = frames_.front();
  *data = front.data() + front_written_;
  *size = front.size() - front_written_;
  return true;
}

bool SendQueue::Consume(size_t count, std::vector<uint8_t>* finished) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (frames_.empty()) return false;
  size_t left = frames_.front().size() - front_written_;
  if (count > left) count = left;
  front_written_ += count;
  pending_ -= count;
  if (front_written_ < frames_.front().size()) return false;
  *finished = std::move(frames_.front());
  frames_.pop_front();
  front_written_ = 0;
  return true;
}

size_t SendQueue::PendingBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

void SendQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.clear();
  front_written_ = 0;
  pending_ = 0;
}
