#pragma once
// A byte buffer for one transfer's body or headers. Its memory comes from the
// process heap, zero-filled; it starts at 512 bytes and, when an append does
// not fit, moves to a block of twice the needed size.
#include <cstddef>
#include <string>

class GrowableBuffer {
 public:
  static constexpr size_t kInitialCapacity = 512;

  GrowableBuffer() = default;
  ~GrowableBuffer() { Free(); }
  GrowableBuffer(const GrowableBuffer&) = delete;
  GrowableBuffer& operator=(const GrowableBuffer&) = delete;

  // Allocates the initial block, dropping what was held. False when the heap
  // has no block to give.
  bool Allocate();
  void Free();
  // Appends the bytes; false (and nothing appended) when the buffer cannot
  // grow to hold them.
  bool Append(const char* data, size_t size);

  const char* data() const { return data_; }
  size_t size() const { return used_; }
  size_t capacity() const { return capacity_; }
  std::string Bytes() const { return std::string(data_ ? data_ : "", used_); }

 private:
  bool Grow(size_t needed);

  char* data_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
};
