#pragma once
// Key paths into a JSON tree: "data.items[2].name". '.' separates keys, [n]
// selects array item n, and a backslash makes a following . [ ] or \ part of
// the key. The empty path is the root.
#include <string>
#include <vector>

#include "util/json_arena.h"
#include "util/json_node.h"

namespace json_internal {

struct PathSegment {
  bool is_index;
  size_t index;
  std::u16string key;
};

// False when the path is malformed (an unclosed or non-numeric [n], text
// right after ']', a stray ']').
bool SplitPath(const std::u16string& path, std::vector<PathSegment>* segments);

// The node at the path, or null when any segment does not exist.
const Node* FindNode(const Node* root, const std::u16string& path);

// The node at the path, created on the way: missing members are added as
// null, arrays are padded with nulls up to the index, and a scalar on the way
// becomes an empty object or array. `*root` is created when absent. Null on a
// malformed path, an object where an index is asked for (or an array where a
// key is), an index too far past the end, or when out of memory.
Node* FindOrCreateNode(Arena& arena, Node** root, const std::u16string& path);

}  // namespace json_internal
