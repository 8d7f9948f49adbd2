#include "util/json_parser.h"

#include <vector>

#include "util/json_errors.h"

namespace json_internal {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0; }
bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Unquoted keys are limited to what a script reads as a property name in an
// object literal (letters, digits, _ and $, non-ASCII letters). Received
// messages are later run as script source, so a key made of other characters
// could end the literal early there.
bool IsKeyCharacter(char16_t c) {
  if (c >= 0x80) return c != 0x2028 && c != 0x2029 && c != 0xFEFF && c != 0x3000 && c != 0xA0;
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || IsDigit(c) || c == u'_' ||
         c == u'$';
}

bool Equals(const char16_t* text, size_t size, const char* word) {
  size_t i = 0;
  for (; i < size && word[i] != '\0'; ++i) {
    if (text[i] != static_cast<char16_t>(word[i])) return false;
  }
  return i == size && word[i] == '\0';
}

size_t SkipDigits(const char16_t* text, size_t size, size_t i) {
  while (i < size && IsDigit(text[i])) ++i;
  return i;
}

enum class NumberKind { kNone, kInteger, kDouble };

// An optional sign, digits with an optional fraction (".5" and "5." too), an
// optional exponent. Anything looser ("1-2", "1e", "-") would be read
// differently, or not at all, by the page that receives the same text.
NumberKind ClassifyNumber(const char16_t* text, size_t size) {
  size_t i = 0;
  if (i < size && (text[i] == u'+' || text[i] == u'-')) ++i;
  size_t integer_end = SkipDigits(text, size, i);
  bool has_digits = integer_end > i;
  NumberKind kind = NumberKind::kInteger;
  i = integer_end;
  if (i < size && text[i] == u'.') {
    size_t fraction_end = SkipDigits(text, size, i + 1);
    has_digits = has_digits || fraction_end > i + 1;
    i = fraction_end;
    kind = NumberKind::kDouble;
  }
  if (!has_digits) return NumberKind::kNone;
  if (i < size && (text[i] == u'e' || text[i] == u'E')) {
    ++i;
    if (i < size && (text[i] == u'+' || text[i] == u'-')) ++i;
    size_t exponent_end = SkipDigits(text, size, i);
    if (exponent_end == i) return NumberKind::kNone;
    i = exponent_end;
    kind = NumberKind::kDouble;
  }
  return i == size ? kind : NumberKind::kNone;
}

class Parser {
 public:
  Parser(Arena& arena, char16_t* text, size_t size, bool decode_unicode)
      : arena_(arena), text_(text), size_(size), decode_unicode_(decode_unicode) {}

  ParseResult Run();

 private:
  enum class Expect { kValue, kKey, kColon, kSeparator, kEnd };

  bool OnValue(char16_t c);
  bool OnKey(char16_t c);
  bool OnColon(char16_t c);
  bool OnSeparator(char16_t c);
  Node* Top() const { return open_.empty() ? nullptr : open_.back(); }
  Node* ValueSlot();
  void Close();
  void AfterValue() { expect_ = open_.empty() ? Expect::kEnd : Expect::kSeparator; }
  bool ReadString(TextValue* value);
  bool FindClosingQuote(size_t* end, bool* has_escape);
  size_t Unescape(char16_t* begin, char16_t* end) const;
  bool ReadPlainValue(Node* slot);
  bool Fail(int code, size_t position);

  Arena& arena_;
  char16_t* text_;
  size_t size_;
  bool decode_unicode_;
  size_t pos_ = 0;
  Expect expect_ = Expect::kValue;
  Node* root_ = nullptr;
  Node* member_ = nullptr;  // where the value after ':' goes
  TextValue key_{};         // the key waiting for its ':'
  std::vector<Node*> open_;
  int error_code_ = kJsonOk;
  size_t error_position_ = 0;
};

ParseResult Parser::Run() {
  while (pos_ < size_) {
    char16_t c = text_[pos_];
    if (IsBlank(c)) {
      ++pos_;
      continue;
    }
    bool ok = false;
    switch (expect_) {
      case Expect::kValue:
        ok = OnValue(c);
        break;
      case Expect::kKey:
        ok = OnKey(c);
        break;
      case Expect::kColon:
        ok = OnColon(c);
        break;
      case Expect::kSeparator:
        ok = OnSeparator(c);
        break;
      case Expect::kEnd:
        // Nothing may follow the root: the text is later run as the argument
        // of a script call, and anything after the value would run as script.
        ok = Fail(kJsonBadValue, pos_);
        break;
    }
    if (!ok) return ParseResult{nullptr, error_code_, error_position_};
  }
  if (!open_.empty()) Fail(kJsonOpenContainer, size_);
  if (root_ == nullptr && error_code_ == kJsonOk) Fail(kJsonNoText, size_);
  if (error_code_ != kJsonOk) return ParseResult{nullptr, error_code_, error_position_};
  return ParseResult{root_, kJsonOk, 0};
}

bool Parser::Fail(int code, size_t position) {
  error_code_ = code;
  error_position_ = position;
  return false;
}

bool Parser::OnValue(char16_t c) {
  Node* top = Top();
  bool in_array = top != nullptr && top->type == JsonType::kArray;
  if (in_array && c == u',') {  // an empty item between commas is skipped
    ++pos_;
    return true;
  }
  if (in_array && c == u']') {  // empty array, or a comma before the end
    Close();
    ++pos_;
    return true;
  }
  if (c == u',' || c == u'}' || c == u']' || c == u':') return Fail(kJsonBadValue, pos_);
  Node* slot = ValueSlot();
  if (slot == nullptr) return Fail(kJsonNoMemory, pos_);
  if (c == u'{' || c == u'[') {
    MakeContainer(slot, c == u'{' ? JsonType::kObject : JsonType::kArray);
    open_.push_back(slot);
    expect_ = c == u'{' ? Expect::kKey : Expect::kValue;
    ++pos_;
    return true;
  }
  if (IsQuote(c)) {
    TextValue value;
    if (!ReadString(&value)) return false;
    MakeText(slot, JsonType::kString, value.data, value.size);
  } else if (!ReadPlainValue(slot)) {
    return false;
  }
  AfterValue();
  return true;
}

Node* Parser::ValueSlot() {
  Node* top = Top();
  if (top == nullptr) return root_ = NewNode(arena_);
  if (top->type == JsonType::kObject) return member_;
  Node* item = NewNode(arena_);
  if (item != nullptr) AppendItem(top, item);
  return item;
}

void Parser::Close() {
  open_.pop_back();
  AfterValue();
}

bool Parser::OnKey(char16_t c) {
  if (c == u'}') {  // empty object, or a comma before the end
    Close();
    ++pos_;
    return true;
  }
  if (IsQuote(c)) {
    if (!ReadString(&key_)) return false;
  } else if (IsKeyCharacter(c)) {
    size_t start = pos_;
    while (pos_ < size_ && IsKeyCharacter(text_[pos_])) ++pos_;
    key_ = TextValue{text_ + start, pos_ - start};
  } else {
    return Fail(kJsonBadMember, pos_);  // ':' without a key, brackets, stray commas...
  }
  expect_ = Expect::kColon;
  return true;
}

bool Parser::OnColon(char16_t c) {
  if (c != u':') return Fail(kJsonBadMember, pos_);
  // A repeated key keeps its first place; its value is replaced below.
  member_ = FindOrAddMember(arena_, Top(), key_.data, key_.size);
  if (member_ == nullptr) return Fail(kJsonNoMemory, pos_);
  expect_ = Expect::kValue;
  ++pos_;
  return true;
}

bool Parser::OnSeparator(char16_t c) {
  Node* top = Top();
  bool in_object = top->type == JsonType::kObject;
  if (c == u',') {
    expect_ = in_object ? Expect::kKey : Expect::kValue;
  } else if (c == u'}' && in_object) {
    Close();
  } else if (c == u']' && !in_object) {
    Close();
  } else {
    return Fail(c == u']' ? kJsonBadMember : kJsonBadValue, pos_);
  }
  ++pos_;
  return true;
}

// Reads the quoted string at pos_ and leaves pos_ after its closing quote.
bool Parser::ReadString(TextValue* value) {
  size_t end = 0;
  bool has_escape = false;
  if (!FindClosingQuote(&end, &has_escape)) return false;
  char16_t* begin = text_ + pos_ + 1;
  size_t size = has_escape ? Unescape(begin, text_ + end) : end - pos_ - 1;
  *value = TextValue{begin, size};
  pos_ = end + 1;
  return true;
}

bool Parser::FindClosingQuote(size_t* end, bool* has_escape) {
  char16_t quote = text_[pos_];
  size_t i = pos_ + 1;
  while (i < size_) {
    char16_t c = text_[i];
    if (c == quote) {
      *end = i;
      return true;
    }
    if (c != u'\\') {
      ++i;
      continue;
    }
    *has_escape = true;
    if (i + 1 < size_ && text_[i + 1] == u'u') {
      // A script rejects "\u" without four hex digits; so do we, rather than
      // read a different string than the page will.
      for (size_t k = i + 2; k < i + 6; ++k) {
        if (k >= size_ || HexValue(text_[k]) < 0) return Fail(kJsonBadValue, i);
      }
      i += 6;
    } else {
      i += 2;
    }
  }
  return Fail(kJsonBadValue, pos_);  // unmatched quote
}

// Resolves escapes in place (the result is never longer) and gives the new size.
size_t Parser::Unescape(char16_t* begin, char16_t* end) const {
  char16_t* out = begin;
  for (char16_t* in = begin; in < end;) {
    if (*in != u'\\' || in + 1 >= end) {
      *out++ = *in++;
      continue;
    }
    char16_t c = in[1];
    in += 2;
    switch (c) {
      case u'\\':
      case u'/':
      case u'"':
        *out++ = c;
        break;
      case u'b':
        *out++ = u'\b';
        break;
      case u't':
        *out++ = u'\t';
        break;
      case u'r':
        *out++ = u'\r';
        break;
      case u'f':
        *out++ = u'\f';
        break;
      case u'n':
        // Line breaks are CR LF here; a CR already there gets just the LF.
        if (out == begin || out[-1] != u'\r') *out++ = u'\r';
        *out++ = u'\n';
        break;
      case u'u':
        if (decode_unicode_) {
          *out++ = static_cast<char16_t>(HexValue(in[0]) << 12 | HexValue(in[1]) << 8 |
                                         HexValue(in[2]) << 4 | HexValue(in[3]));
          in += 4;
        } else {
          *out++ = u'\\';
          *out++ = c;
        }
        break;
      default:
        *out++ = u'\\';
        *out++ = c;
        break;
    }
  }
  return static_cast<size_t>(out - begin);
}

// A value without quotes runs to the next ',', '}' or ']' and is then
// classified as a whole.
bool Parser::ReadPlainValue(Node* slot) {
  size_t start = pos_;
  size_t i = pos_;
  for (; i < size_; ++i) {
    char16_t c = text_[i];
    if (c == u',' || c == u'}' || c == u']') break;
    if (c == u'{' || c == u'[') return Fail(kJsonBadValue, i);
  }
  size_t end = i;
  while (end > start && IsBlank(text_[end - 1])) --end;
  const char16_t* token = text_ + start;
  size_t size = end - start;
  if (Equals(token, size, "null")) {
    MakeNull(slot);
  } else if (Equals(token, size, "true") || Equals(token, size, "false")) {
    MakeBool(slot, token[0] == u't');
  } else {
    NumberKind kind = ClassifyNumber(token, size);
    if (kind == NumberKind::kNone) return Fail(kJsonBadValue, start);
    MakeText(slot, kind == NumberKind::kDouble ? JsonType::kDouble : JsonType::kInt64, token, size);
  }
  pos_ = i;
  return true;
}

}  // namespace

ParseResult ParseTree(Arena& arena, char16_t* text, size_t size, bool decode_unicode) {
  if (text == nullptr || size == 0) return ParseResult{nullptr, kJsonNoText, 0};
  Parser parser(arena, text, size, decode_unicode);
  return parser.Run();
}

}  // namespace json_internal
