#include "util/json_document.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "log/text_encoding.h"
#include "util/json_node.h"
#include "util/json_number.h"
#include "util/json_parser.h"
#include "util/json_path.h"
#include "util/json_writer.h"

using json_internal::Node;

namespace {

// Text inside the program is always code page 936, whatever the machine's
// ANSI code page is.
constexpr unsigned kDocumentCodePage = kChineseCodePage;
// A double counts as true only when it is clearly away from zero.
constexpr double kBoolThreshold = 1e-7;

std::u16string ToUtf16(const std::string& text) {
  return MultiByteToUtf16(text.c_str(), std::strlen(text.c_str()), kDocumentCodePage);
}

std::string FromUtf16(const char16_t* data, size_t size) {
  return Utf16ToMultiByte(data, size, kDocumentCodePage);
}

int ClampToInt(size_t value) { return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(value); }

}  // namespace

JsonDocument::JsonDocument() { Create(); }

JsonDocument::JsonDocument(const JsonDocument& other) {
  if (other.root_ != nullptr) root_ = json_internal::DeepCopy(arena_, other.root_);
}

JsonDocument& JsonDocument::operator=(const JsonDocument& other) {
  if (this != &other) *this = JsonDocument(other);
  return *this;
}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : arena_(std::move(other.arena_)), root_(std::exchange(other.root_, nullptr)) {}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
  if (this != &other) {
    arena_ = std::move(other.arena_);
    root_ = std::exchange(other.root_, nullptr);
  }
  return *this;
}

void JsonDocument::Create() {
  arena_.Release();
  root_ = json_internal::NewNode(arena_);
  if (root_ != nullptr) json_internal::MakeContainer(root_, JsonType::kObject);
}

bool JsonDocument::Parse(const std::string& text, bool decode_unicode, int* error_code,
                         int* error_position) {
  return Parse(ToUtf16(text), decode_unicode, error_code, error_position);
}

bool JsonDocument::Parse(const std::u16string& text, bool decode_unicode, int* error_code,
                         int* error_position) {
  arena_.Release();
  root_ = nullptr;
  if (text.empty()) {
    Fail(kJsonNoText, 0, error_code, error_position);
    return false;
  }
  // The tree points into this copy; strings are unescaped inside it.
  char16_t* source = arena_.CopyText(text.data(), text.size());
  if (source == nullptr) {
    Fail(kJsonNoMemory, 0, error_code, error_position);
    return false;
  }
  json_internal::ParseResult result =
      json_internal::ParseTree(arena_, source, text.size(), decode_unicode);
  if (result.root == nullptr) {
    Fail(result.error_code, result.error_position, error_code, error_position);
    return false;
  }
  root_ = result.root;
  if (error_code != nullptr) *error_code = kJsonOk;
  if (error_position != nullptr) *error_position = 0;
  return true;
}

void JsonDocument::Fail(int code, size_t position, int* error_code, int* error_position) {
  Create();
  if (error_code != nullptr) *error_code = code;
  if (error_position != nullptr) *error_position = ClampToInt(position);
}

std::string JsonDocument::ToText(const std::string& path, bool pretty, bool escape,
                                 size_t initial_capacity) const {
  std::u16string wide = ToWideText(path, pretty, escape, initial_capacity);
  return FromUtf16(wide.data(), wide.size());
}

std::u16string JsonDocument::ToWideText(const std::string& path, bool pretty, bool escape,
                                        size_t initial_capacity) const {
  std::u16string out;
  const Node* node = Find(path);
  if (node == nullptr) return out;
  out.reserve(initial_capacity);
  json_internal::WriteTree(node, json_internal::WriteOptions{pretty, escape}, &out);
  return out;
}

const Node* JsonDocument::Find(const std::string& path) const {
  if (path.empty() || path[0] == '\0') return root_;
  return json_internal::FindNode(root_, ToUtf16(path));
}

JsonType JsonDocument::GetType(const std::string& path) const {
  const Node* node = Find(path);
  return node == nullptr ? JsonType::kMissing : node->type;
}

std::string JsonDocument::GetText(const std::string& path) const {
  const Node* node = Find(path);
  if (node == nullptr) return std::string();
  switch (node->type) {
    case JsonType::kString:
    case JsonType::kInt64:
    case JsonType::kDouble:
      return FromUtf16(node->text.data, node->text.size);
    case JsonType::kBool:
      return node->flag ? "true" : "false";
    case JsonType::kNull:
      return "null";
    default:
      return std::string();
  }
}

bool JsonDocument::GetBool(const std::string& path) const {
  const Node* node = Find(path);
  if (node == nullptr) return false;
  switch (node->type) {
    case JsonType::kBool:
      return node->flag;
    case JsonType::kInt64:
      return json_internal::LeadingInt64(node->text.data, node->text.size) != 0;
    case JsonType::kDouble:
      return std::fabs(json_internal::TextToDouble(node->text.data, node->text.size)) >
             kBoolThreshold;
    default:
      return false;
  }
}

int64_t JsonDocument::GetInt64(const std::string& path) const {
  const Node* node = Find(path);
  if (node == nullptr) return 0;
  switch (node->type) {
    case JsonType::kBool:
      return node->flag ? 1 : 0;
    case JsonType::kInt64:
    case JsonType::kString:
      return json_internal::LeadingInt64(node->text.data, node->text.size);
    case JsonType::kDouble:
      return json_internal::DoubleToInt64(
          json_internal::TextToDouble(node->text.data, node->text.size));
    default:
      return 0;
  }
}

JsonDocument JsonDocument::GetDocument(const std::string& path) {
  JsonDocument copy{NoRoot{}};
  const Node* node = json_internal::FindOrCreateNode(arena_, &root_, ToUtf16(path));
  if (node != nullptr) copy.root_ = json_internal::DeepCopy(copy.arena_, node);
  return copy;
}

bool JsonDocument::SetText(const std::string& path, const std::string& value) {
  std::u16string wide = ToUtf16(value);
  Node* node = json_internal::FindOrCreateNode(arena_, &root_, ToUtf16(path));
  if (node == nullptr) return false;
  char16_t* text = arena_.CopyText(wide.data(), wide.size());
  if (text == nullptr) return false;
  json_internal::MakeText(node, JsonType::kString, text, wide.size());
  return true;
}

bool JsonDocument::SetInt64(const std::string& path, int64_t value) {
  std::u16string digits = ToUtf16(std::to_string(value));
  Node* node = json_internal::FindOrCreateNode(arena_, &root_, ToUtf16(path));
  if (node == nullptr) return false;
  char16_t* text = arena_.CopyText(digits.data(), digits.size());
  if (text == nullptr) return false;
  json_internal::MakeText(node, JsonType::kInt64, text, digits.size());
  return true;
}

bool JsonDocument::SetBool(const std::string& path, bool value) {
  Node* node = json_internal::FindOrCreateNode(arena_, &root_, ToUtf16(path));
  if (node == nullptr) return false;
  json_internal::MakeBool(node, value);
  return true;
}
