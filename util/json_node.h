#pragma once
// The node tree behind a JSON document. All text is UTF-16 and lives in the
// document's arena, like the nodes. Object members keep insertion order in a
// list; an object with many members also gets a hash index by key, so that
// member look-up (and duplicate detection while parsing) stays fast.
#include <cstddef>

#include "util/json_arena.h"
#include "util/json_type.h"

namespace json_internal {

struct Node;

struct TextValue {
  const char16_t* data;  // not terminated
  size_t size;
};

struct ListValue {
  Node* first;
  Node* last;
  size_t count;
  Node** index;  // open-addressing table of members; null for small objects
  size_t index_capacity;
};

struct Node {
  JsonType type;
  Node* next;  // next member or item of the parent
  const char16_t* key;
  size_t key_size;
  union {
    bool flag;       // kBool
    TextValue text;  // kString: the text; kInt64, kDouble: the number as written
    ListValue list;  // kArray, kObject
  };
};

// A null node without key; null when out of memory.
Node* NewNode(Arena& arena);
// Turns the node into a value of the given kind, dropping what it held. The
// text is referenced, not copied. The key and the place in the parent stay.
void MakeNull(Node* node);
void MakeBool(Node* node, bool value);
void MakeText(Node* node, JsonType type, const char16_t* data, size_t size);
void MakeContainer(Node* node, JsonType type);

bool IsContainer(const Node* node);
bool KeyEquals(const Node* member, const char16_t* key, size_t size);

// Appends an item to an array.
void AppendItem(Node* array, Node* item);
// The item at `index`, or null past the end.
Node* ItemAt(const Node* array, size_t index);
// The member with the key, or null.
Node* FindMember(const Node* object, const char16_t* key, size_t size);
// Appends a new null member under the key (referenced, not copied) without
// looking for an existing one; null when out of memory.
Node* AddMember(Arena& arena, Node* object, const char16_t* key, size_t size);
// The existing member, or a new null one.
Node* FindOrAddMember(Arena& arena, Node* object, const char16_t* key, size_t size);

// A copy of the subtree in `arena`, texts included; null when out of memory.
// Walks with an explicit stack, so depth does not matter.
Node* DeepCopy(Arena& arena, const Node* source);

}  // namespace json_internal
