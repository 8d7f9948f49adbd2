#include "util/json_node.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace json_internal {

namespace {

// Up to this many members a linear scan beats hashing; beyond it an object
// gets an index so that large objects do not parse in quadratic time.
constexpr size_t kLinearLookupLimit = 8;
// The index is kept at most half full.
constexpr size_t kIndexLoadDivisor = 2;

size_t HashKey(const char16_t* key, size_t size) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (size_t i = 0; i < size; ++i) {
    hash ^= key[i];
    hash *= 16777619u;
  }
  return hash;
}

void IndexInsert(Node** index, size_t capacity, Node* member) {
  size_t mask = capacity - 1;
  size_t slot = HashKey(member->key, member->key_size) & mask;
  while (index[slot] != nullptr) slot = (slot + 1) & mask;
  index[slot] = member;
}

// Builds a fresh index of the current members, sized for `count` members;
// false (old index untouched) when out of memory.
bool RebuildIndex(Arena& arena, Node* object, size_t count) {
  ListValue& list = object->list;
  size_t capacity = 16;
  while (capacity < count * kIndexLoadDivisor * 2) capacity *= 2;
  auto* index = static_cast<Node**>(arena.Allocate(capacity * sizeof(Node*)));
  if (index == nullptr) return false;
  std::memset(index, 0, capacity * sizeof(Node*));
  for (Node* member = list.first; member != nullptr; member = member->next) {
    IndexInsert(index, capacity, member);
  }
  list.index = index;
  list.index_capacity = capacity;
  return true;
}

void Append(ListValue& list, Node* child) {
  child->next = nullptr;
  if (list.last == nullptr) {
    list.first = child;
  } else {
    list.last->next = child;
  }
  list.last = child;
  ++list.count;
}

// Appends a member whose key is already set and keeps the index current; on
// failure the object is left as it was.
bool AppendMember(Arena& arena, Node* object, Node* member) {
  ListValue& list = object->list;
  size_t count = list.count + 1;
  if (count > kLinearLookupLimit) {
    if (list.index == nullptr || count * kIndexLoadDivisor > list.index_capacity) {
      if (!RebuildIndex(arena, object, count)) return false;
    }
    IndexInsert(list.index, list.index_capacity, member);
  }
  Append(list, member);
  return true;
}

}  // namespace

Node* NewNode(Arena& arena) {
  void* memory = arena.Allocate(sizeof(Node));
  if (memory == nullptr) return nullptr;
  Node* node = new (memory) Node;
  node->type = JsonType::kNull;
  node->next = nullptr;
  node->key = nullptr;
  node->key_size = 0;
  node->list = ListValue{};
  return node;
}

void MakeNull(Node* node) {
  node->type = JsonType::kNull;
  node->list = ListValue{};
}

void MakeBool(Node* node, bool value) {
  MakeNull(node);
  node->type = JsonType::kBool;
  node->flag = value;
}

void MakeText(Node* node, JsonType type, const char16_t* data, size_t size) {
  MakeNull(node);
  node->type = type;
  node->text = TextValue{data, size};
}

void MakeContainer(Node* node, JsonType type) {
  MakeNull(node);
  node->type = type;
}

bool IsContainer(const Node* node) {
  return node->type == JsonType::kArray || node->type == JsonType::kObject;
}

bool KeyEquals(const Node* member, const char16_t* key, size_t size) {
  return member->key_size == size &&
         (size == 0 || std::memcmp(member->key, key, size * sizeof(char16_t)) == 0);
}

void AppendItem(Node* array, Node* item) { Append(array->list, item); }

Node* ItemAt(const Node* array, size_t index) {
  if (index >= array->list.count) return nullptr;
  Node* item = array->list.first;
  while (index-- > 0) item = item->next;
  return item;
}

Node* FindMember(const Node* object, const char16_t* key, size_t size) {
  const ListValue& list = object->list;
  if (list.index == nullptr) {
    for (Node* member = list.first; member != nullptr; member = member->next) {
      if (KeyEquals(member, key, size)) return member;
    }
    return nullptr;
  }
  size_t mask = list.index_capacity - 1;
  for (size_t slot = HashKey(key, size) & mask; list.index[slot] != nullptr;
       slot = (slot + 1) & mask) {
    if (KeyEquals(list.index[slot], key, size)) return list.index[slot];
  }
  return nullptr;
}

Node* AddMember(Arena& arena, Node* object, const char16_t* key, size_t size) {
  Node* member = NewNode(arena);
  if (member == nullptr) return nullptr;
  member->key = key;
  member->key_size = size;
  return AppendMember(arena, object, member) ? member : nullptr;
}

Node* FindOrAddMember(Arena& arena, Node* object, const char16_t* key, size_t size) {
  Node* member = FindMember(object, key, size);
  return member != nullptr ? member : AddMember(arena, object, key, size);
}

namespace {

// A copy of one node without its children (they are copied by the caller).
Node* CopyShallow(Arena& arena, const Node* source) {
  Node* copy = NewNode(arena);
  if (copy == nullptr) return nullptr;
  if (source->key != nullptr) {
    copy->key = arena.CopyText(source->key, source->key_size);
    if (copy->key == nullptr) return nullptr;
    copy->key_size = source->key_size;
  }
  copy->type = source->type;
  if (source->type == JsonType::kBool) {
    copy->flag = source->flag;
  } else if (!IsContainer(source) && source->type != JsonType::kNull) {
    char16_t* text = arena.CopyText(source->text.data, source->text.size);
    if (text == nullptr) return nullptr;
    copy->text = TextValue{text, source->text.size};
  }
  return copy;
}

}  // namespace

Node* DeepCopy(Arena& arena, const Node* source) {
  Node* root = CopyShallow(arena, source);
  if (root == nullptr) return nullptr;
  root->key = nullptr;  // a stand-alone copy is nobody's member
  root->key_size = 0;
  std::vector<std::pair<const Node*, Node*>> pending;
  if (IsContainer(source)) pending.emplace_back(source, root);
  while (!pending.empty()) {
    auto [from, to] = pending.back();
    pending.pop_back();
    for (const Node* child = from->list.first; child != nullptr; child = child->next) {
      Node* copy = CopyShallow(arena, child);
      if (copy == nullptr) return nullptr;
      if (to->type == JsonType::kObject) {
        if (!AppendMember(arena, to, copy)) return nullptr;
      } else {
        AppendItem(to, copy);
      }
      if (IsContainer(child)) pending.emplace_back(child, copy);
    }
  }
  return root;
}

}  // namespace json_internal
