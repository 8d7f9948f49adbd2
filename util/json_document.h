#pragma once
// JsonDocument: the one JSON facility of the program. It reads 8-bit code page
// 936 text into a UTF-16 tree, gets and sets values by key path, and writes the
// tree back as code page 936 text. Paths look like "data.items[2].name"; see
// util/json_path.h. A document has no lock: one thread uses it at a time.
//
// The reader is lenient (either quote character, unquoted keys, trailing
// commas, empty array items, duplicate keys keep their first place and last
// value) but refuses anything after the root value and anything else that a
// script would read differently, because received messages are passed on to
// the page as script source.
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/json_arena.h"
#include "util/json_errors.h"
#include "util/json_type.h"

namespace json_internal {
struct Node;
}

class JsonDocument {
 public:
  // A document whose root is an empty object.
  JsonDocument();
  ~JsonDocument() = default;
  // Copies the whole tree.
  JsonDocument(const JsonDocument& other);
  JsonDocument& operator=(const JsonDocument& other);
  // Leaves `other` without a root.
  JsonDocument(JsonDocument&& other) noexcept;
  JsonDocument& operator=(JsonDocument&& other) noexcept;

  // Drops the tree; the root becomes an empty object.
  void Create();
  // Replaces the tree by the one read from `text` (code page 936, up to its
  // first NUL). With `decode_unicode` a \uXXXX escape becomes that character,
  // otherwise it stays as six characters. On failure the root is an empty
  // object and the code (kJson...) and the position in UTF-16 units where
  // reading stopped are stored where asked.
  bool Parse(const std::string& text, bool decode_unicode = false, int* error_code = nullptr,
             int* error_position = nullptr);
  bool Parse(const std::u16string& text, bool decode_unicode = false, int* error_code = nullptr,
             int* error_position = nullptr);

  // The node at the path as text; empty when the path does not resolve.
  // `pretty` puts each object member on its own line, indented by tabs.
  std::string ToText(const std::string& path = "", bool pretty = false, bool escape = true,
                     size_t initial_capacity = 1024) const;
  std::u16string ToWideText(const std::string& path = "", bool pretty = false, bool escape = true,
                            size_t initial_capacity = 1024) const;

  // kMissing when the path does not resolve.
  JsonType GetType(const std::string& path) const;
  // A string's text, a number's text as written, "true"/"false", "null";
  // empty for containers and missing paths.
  std::string GetText(const std::string& path) const;
  // Numbers other than (nearly) zero and true; false for anything else.
  bool GetBool(const std::string& path) const;
  // Integers; doubles truncated; bools 0/1; a string's leading integer; else 0.
  int64_t GetInt64(const std::string& path) const;

  // A new document holding a copy of the node at the path. The path is
  // created here as it is by SetText, so a missing member is added as null
  // and the copy is null. No root when the path cannot be created.
  JsonDocument GetDocument(const std::string& path);
  // Makes the node at the path (created as needed; "" is the root) a string.
  bool SetText(const std::string& path, const std::string& value);
  // Makes the node at the path (created as needed) an integer or a bool.
  bool SetInt64(const std::string& path, int64_t value);
  bool SetBool(const std::string& path, bool value);

  bool HasRoot() const { return root_ != nullptr; }

 private:
  struct NoRoot {};
  explicit JsonDocument(NoRoot) {}
  const json_internal::Node* Find(const std::string& path) const;
  void Fail(int code, size_t position, int* error_code, int* error_position);

  json_internal::Arena arena_;
  json_internal::Node* root_ = nullptr;
};
