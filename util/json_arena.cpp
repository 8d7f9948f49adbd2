#include "util/json_arena.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace json_internal {

namespace {

constexpr size_t kAlignment = 8;
// Small enough for a short message, doubling so that a big document needs
// only a few chunks.
constexpr size_t kFirstChunkSize = 4096;
constexpr size_t kLargestChunkSize = 1 << 20;
constexpr size_t kChunkHeader = (sizeof(void*) + kAlignment - 1) / kAlignment * kAlignment;

size_t RoundUp(size_t size) { return (size + kAlignment - 1) & ~(kAlignment - 1); }

}  // namespace

Arena::Arena(Arena&& other) noexcept
    : chunks_(std::exchange(other.chunks_, nullptr)),
      cursor_(std::exchange(other.cursor_, nullptr)),
      end_(std::exchange(other.end_, nullptr)),
      next_chunk_size_(std::exchange(other.next_chunk_size_, 0)) {}

Arena& Arena::operator=(Arena&& other) noexcept {
  if (this != &other) {
    Release();
    chunks_ = std::exchange(other.chunks_, nullptr);
    cursor_ = std::exchange(other.cursor_, nullptr);
    end_ = std::exchange(other.end_, nullptr);
    next_chunk_size_ = std::exchange(other.next_chunk_size_, 0);
  }
  return *this;
}

void* Arena::Allocate(size_t size) {
  if (size > size_t(-1) - kChunkHeader - kAlignment) return nullptr;
  size = RoundUp(size == 0 ? 1 : size);
  if (size > kLargestChunkSize / 4) return AllocateDedicated(size);
  if (static_cast<size_t>(end_ - cursor_) < size && !Grow(size)) return nullptr;
  void* memory = cursor_;
  cursor_ += size;
  return memory;
}

char16_t* Arena::CopyText(const char16_t* data, size_t size) {
  if (size > (size_t(-1) - kChunkHeader) / sizeof(char16_t) / 2) return nullptr;
  auto* copy = static_cast<char16_t*>(Allocate(size * sizeof(char16_t)));
  if (copy != nullptr && size != 0) std::memcpy(copy, data, size * sizeof(char16_t));
  return copy;
}

void Arena::Release() {
  while (chunks_ != nullptr) {
    Chunk* previous = chunks_->previous;
    std::free(chunks_);
    chunks_ = previous;
  }
  cursor_ = end_ = nullptr;
  next_chunk_size_ = 0;
}

// A big block gets a chunk of its own behind the current one, so the space
// left in the current chunk stays usable.
void* Arena::AllocateDedicated(size_t size) {
  auto* chunk = static_cast<Chunk*>(std::malloc(kChunkHeader + size));
  if (chunk == nullptr) return nullptr;
  if (chunks_ == nullptr) {
    chunk->previous = nullptr;
    chunks_ = chunk;
  } else {
    chunk->previous = chunks_->previous;
    chunks_->previous = chunk;
  }
  return reinterpret_cast<char*>(chunk) + kChunkHeader;
}

bool Arena::Grow(size_t size) {
  size_t chunk_size = next_chunk_size_ == 0 ? kFirstChunkSize : next_chunk_size_;
  while (chunk_size < size) chunk_size *= 2;
  auto* chunk = static_cast<Chunk*>(std::malloc(kChunkHeader + chunk_size));
  if (chunk == nullptr) return false;
  chunk->previous = chunks_;
  chunks_ = chunk;
  cursor_ = reinterpret_cast<char*>(chunk) + kChunkHeader;
  end_ = cursor_ + chunk_size;
  next_chunk_size_ = chunk_size < kLargestChunkSize ? chunk_size * 2 : kLargestChunkSize;
  return true;
}

}  // namespace json_internal
