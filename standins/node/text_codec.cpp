#include "standins/node/text_codec.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace node_standin {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one sequence at bytes[*pos]; surrogate code points encoded on their
// own (CESU-8) are accepted and returned as they are.
char32_t DecodeOne(const std::string& bytes, size_t* pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(*pos);
  int extra = lead < 0x80         ? 0
              : (lead >> 5) == 6  ? 1
              : (lead >> 4) == 14 ? 2
              : (lead >> 3) == 30 ? 3
                                  : -1;
  if (extra < 0 || *pos + extra >= bytes.size()) {
    ++*pos;
    return kReplacement;
  }
  char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    unsigned char next = byte(*pos + i);
    if ((next & 0xC0) != 0x80) {
      *pos += i;
      return kReplacement;
    }
    c = (c << 6) | (next & 0x3F);
  }
  *pos += extra + 1;
  static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[extra] || c > 0x10FFFF) return kReplacement;
  return c;
}

void AppendUtf16(char32_t c, std::u16string* out) {
  if (c < 0x10000) {
    out->push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

bool IsJsSpace(char16_t c) {
  return c == ' ' || (c >= 9 && c <= 13) || c == 0xA0 || c == 0xFEFF || c == 0x2028 ||
         c == 0x2029 || c == 0x3000 || (c >= 0x2000 && c <= 0x200A);
}

}  // namespace

std::string Utf16ToCesu8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t unit : text) AppendUtf8(unit, &out);
  return out;
}

std::u16string Cesu8ToUtf16(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) AppendUtf16(DecodeOne(bytes, &pos), &out);
  return out;
}

std::string Utf8ToCesu8(const std::string& bytes) { return Utf16ToCesu8(Cesu8ToUtf16(bytes)); }

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

int NumberToInt32(double value) {
  if (!std::isfinite(value)) return 0;
  double truncated = std::trunc(value);
  double modulo = std::fmod(truncated, 4294967296.0);
  if (modulo < 0) modulo += 4294967296.0;
  return static_cast<int>(static_cast<uint32_t>(modulo));
}

int StringToInt32(const std::u16string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsJsSpace(text[begin])) ++begin;
  while (end > begin && IsJsSpace(text[end - 1])) --end;
  std::string ascii;
  for (size_t i = begin; i < end; ++i) {
    if (text[i] > 0x7F) return 0;
    ascii.push_back(static_cast<char>(text[i]));
  }
  if (ascii.empty()) return 0;
  if (ascii.size() > 2 && ascii[0] == '0' && (ascii[1] == 'x' || ascii[1] == 'X')) {
    double value = 0;
    for (size_t i = 2; i < ascii.size(); ++i) {
      char c = ascii[i];
      int digit = (c >= '0' && c <= '9')   ? c - '0'
                  : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                  : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                           : -1;
      if (digit < 0) return 0;
      value = value * 16 + digit;
    }
    return NumberToInt32(value);
  }
  // strtod also takes hexadecimal floats, "inf" and "nan", which JavaScript
  // does not; only digits, a sign, a point and an exponent pass here.
  for (char c : ascii) {
    if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E')) {
      return 0;
    }
  }
  char* stop = nullptr;
  double value = std::strtod(ascii.c_str(), &stop);
  if (stop != ascii.c_str() + ascii.size()) return 0;
  return NumberToInt32(value);
}

}  // namespace node_standin
