#include "net/growable_buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void* HeapBlock(size_t size) {
#ifdef _WIN32
  return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
#else
  return std::calloc(size, 1);
#endif
}

void FreeHeapBlock(void* block) {
  if (block == nullptr) return;
#ifdef _WIN32
  ::HeapFree(::GetProcessHeap(), 0, block);
#else
  std::free(block);
#endif
}

}  // namespace

bool GrowableBuffer::Allocate() {
  Free();
  data_ = static_cast<char*>(HeapBlock(kInitialCapacity));
  if (data_ == nullptr) return false;
  capacity_ = kInitialCapacity;
  return true;
}

void GrowableBuffer::Free() {
  FreeHeapBlock(data_);
  data_ = nullptr;
  capacity_ = 0;
  used_ = 0;
}

bool GrowableBuffer::Grow(size_t needed) {
  // Twice the needed size, so a stream of small chunks reallocates rarely;
  // a size that would overflow cannot be allocated anyway.
  if (needed > std::numeric_limits<size_t>::max() / 2) return false;
  char* block = static_cast<char*>(HeapBlock(needed * 2));
  if (block == nullptr) return false;
  if (used_ > 0) std::memcpy(block, data_, used_);
  FreeHeapBlock(data_);
  data_ = block;
  capacity_ = needed * 2;
  return true;
}

bool GrowableBuffer::Append(const char* data, size_t size) {
  if (size == 0) return true;
  if (size > std::numeric_limits<size_t>::max() - used_) return false;
  size_t needed = used_ + size;
  if (needed > capacity_ && !Grow(needed)) return false;
  std::memcpy(data_ + used_, data, size);
  used_ = needed;
  return true;
}
