#pragma once
// Serialises a node tree to UTF-16 text, depth first with an explicit stack.
#include <string>

#include "util/json_node.h"

namespace json_internal {

struct WriteOptions {
  // Line breaks and tabs around object members (arrays stay on one line).
  bool pretty = false;
  // Escape \ / " and the control characters b t n r f in strings and keys.
  bool escape = true;
};

void WriteTree(const Node* root, const WriteOptions& options, std::u16string* out);

}  // namespace json_internal
