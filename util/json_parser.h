#pragma once
// The lenient JSON reader behind JsonDocument::Parse: either quote character,
// unquoted keys, trailing commas, empty array items, duplicate keys (first
// place, last value). It walks the text once with an explicit stack of open
// containers, so nesting depth costs heap, never call stack.
#include <cstddef>

#include "util/json_arena.h"
#include "util/json_node.h"

namespace json_internal {

struct ParseResult {
  Node* root;             // null on failure
  int error_code;         // kJsonOk or one of the kJson... failures
  size_t error_position;  // in UTF-16 units
};

// Parses `size` units of `text`, which must live in `arena`: strings and keys
// are unescaped where they stand and the nodes point into the text.
ParseResult ParseTree(Arena& arena, char16_t* text, size_t size, bool decode_unicode);

}  // namespace json_internal
