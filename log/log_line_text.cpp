#include "log/log_line_text.h"

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendVisible(unsigned char c, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  switch (c) {
    case '\r':
      *out += "\\r";
      return;
    case '\n':
      *out += "\\n";
      return;
    case '\t':
      *out += "\\t";
      return;
    default:
      *out += "\\x";
      *out += kHex[c >> 4];
      *out += kHex[c & 15];
  }
}

}  // namespace

std::string OneLineText(const std::string& text) {
  size_t first = 0;
  while (first < text.size() && !IsControl(static_cast<unsigned char>(text[first]))) ++first;
  if (first == text.size()) return text;  // the usual case: nothing to change
  std::string out = text.substr(0, first);
  out.reserve(text.size() + 16);
  for (size_t i = first; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsControl(c)) {
      AppendVisible(c, &out);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
