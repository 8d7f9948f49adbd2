#pragma once
// The memory of one JSON tree. Nodes and texts are carved out of large chunks
// and all freed together, so a tree of any depth is freed without walking it
// and a parse costs a handful of allocations instead of one per node.
#include <cstddef>

namespace json_internal {

class Arena {
 public:
  Arena() = default;
  ~Arena() { Release(); }
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  Arena(Arena&& other) noexcept;
  Arena& operator=(Arena&& other) noexcept;

  // Memory aligned for any node; null when the system has none left.
  void* Allocate(size_t size);
  // A copy of `size` UTF-16 units (not terminated); null when out of memory.
  char16_t* CopyText(const char16_t* data, size_t size);
  // Frees every chunk; all pointers handed out before become invalid.
  void Release();

 private:
  struct Chunk {
    Chunk* previous;
  };
  void* AllocateDedicated(size_t size);
  bool Grow(size_t size);

  Chunk* chunks_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  size_t next_chunk_size_ = 0;
};

}  // namespace json_internal
