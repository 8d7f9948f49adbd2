#include "util/json_path.h"

namespace json_internal {

namespace {

// How far past its end a path may extend an array. Paths come from code, but
// an index typed wrong should fail, not fill memory with nulls.
constexpr size_t kMaxPaddingItems = 65536;

bool IsEscapable(char16_t c) { return c == u'.' || c == u'[' || c == u']' || c == u'\\'; }

// Reads "[n]" at *i; false when it is not a well-formed index.
bool ReadIndex(const std::u16string& path, size_t* i, size_t* index) {
  size_t k = *i + 1;
  size_t value = 0;
  size_t digits = 0;
  for (; k < path.size() && path[k] >= u'0' && path[k] <= u'9'; ++k, ++digits) {
    size_t digit = path[k] - u'0';
    if (value > (size_t(-1) - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (digits == 0 || k >= path.size() || path[k] != u']') return false;
  *index = value;
  *i = k + 1;
  return true;
}

// Reads the key text at *i up to an unescaped '.' or '['.
bool ReadKey(const std::u16string& path, size_t* i, std::u16string* key, bool* has_text) {
  size_t k = *i;
  for (; k < path.size() && path[k] != u'.' && path[k] != u'['; ++k) {
    *has_text = true;
    if (path[k] == u']') return false;
    if (path[k] == u'\\' && k + 1 < path.size() && IsEscapable(path[k + 1])) ++k;
    key->push_back(path[k]);
  }
  *i = k;
  return true;
}

}  // namespace

bool SplitPath(const std::u16string& path, std::vector<PathSegment>* segments) {
  segments->clear();
  if (path.empty()) return true;
  size_t i = 0;
  for (;;) {  // one dotted part per turn; a '.' always has a part after it
    PathSegment key_segment{false, 0, std::u16string()};
    bool has_text = false;
    if (!ReadKey(path, &i, &key_segment.key, &has_text)) return false;
    // "[0]" and "a.[0]" have no key before the index; "a..b" has an empty key.
    if (has_text || i == path.size() || path[i] == u'.') segments->push_back(key_segment);
    while (i < path.size() && path[i] == u'[') {
      PathSegment index_segment{true, 0, std::u16string()};
      if (!ReadIndex(path, &i, &index_segment.index)) return false;
      segments->push_back(index_segment);
    }
    if (i == path.size()) return true;
    if (path[i] != u'.') return false;
    ++i;
  }
}

const Node* FindNode(const Node* root, const std::u16string& path) {
  std::vector<PathSegment> segments;
  if (root == nullptr || !SplitPath(path, &segments)) return nullptr;
  const Node* node = root;
  for (const PathSegment& segment : segments) {
    if (segment.is_index) {
      node = node->type == JsonType::kArray ? ItemAt(node, segment.index) : nullptr;
    } else {
      node = node->type == JsonType::kObject
                 ? FindMember(node, segment.key.data(), segment.key.size())
                 : nullptr;
    }
    if (node == nullptr) return nullptr;
  }
  return node;
}

namespace {

Node* CreateItem(Arena& arena, Node* node, size_t index) {
  if (!IsContainer(node)) MakeContainer(node, JsonType::kArray);
  if (node->type != JsonType::kArray) return nullptr;
  size_t count = node->list.count;
  if (index >= count && index - count >= kMaxPaddingItems) return nullptr;
  for (; count <= index; ++count) {
    Node* item = NewNode(arena);
    if (item == nullptr) return nullptr;
    AppendItem(node, item);
  }
  return ItemAt(node, index);
}

Node* CreateMember(Arena& arena, Node* node, const std::u16string& key) {
  if (!IsContainer(node)) MakeContainer(node, JsonType::kObject);
  if (node->type != JsonType::kObject) return nullptr;
  Node* member = FindMember(node, key.data(), key.size());
  if (member != nullptr) return member;
  char16_t* stored_key = arena.CopyText(key.data(), key.size());
  if (stored_key == nullptr) return nullptr;
  return AddMember(arena, node, stored_key, key.size());
}

}  // namespace

Node* FindOrCreateNode(Arena& arena, Node** root, const std::u16string& path) {
  std::vector<PathSegment> segments;
  if (!SplitPath(path, &segments)) return nullptr;
  if (*root == nullptr && (*root = NewNode(arena)) == nullptr) return nullptr;
  Node* node = *root;
  for (const PathSegment& segment : segments) {
    node = segment.is_index ? CreateItem(arena, node, segment.index)
                            : CreateMember(arena, node, segment.key);
    if (node == nullptr) return nullptr;
  }
  return node;
}

}  // namespace json_internal
