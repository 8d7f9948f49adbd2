// Conversion primitives for the native build, where the "ANSI code page" is 936.
// Code page 936 runs through two lookup tables that are filled once from iconv's
// CP936 converter: a per-call iconv round trip would dominate the cost of
// parsing a short message. UTF-8 is decoded by hand with the replacement rules
// of the code-page API (U+FFFD for each invalid sequence). Any other code page
// fails like an unknown code page does on Windows: an empty result.
#include <iconv.h>

#include <cstdint>
#include <vector>

#include "log/text_encoding.h"

namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char kUnmappableByte = '?';
constexpr unsigned kFirstLead = 0x81, kLastLead = 0xFE;
constexpr unsigned kFirstTrail = 0x40, kLastTrail = 0xFE;
constexpr unsigned kTrailCount = kLastTrail - kFirstTrail + 1;

// Both directions of code page 936; 0 marks "no mapping".
struct Cp936Tables {
  char16_t single[256] = {};
  std::vector<char16_t> pairs;   // [lead - kFirstLead][trail - kFirstTrail]
  std::vector<uint16_t> encode;  // UTF-16 unit -> byte (< 0x100) or lead << 8 | trail

  Cp936Tables() : pairs((kLastLead - kFirstLead + 1) * kTrailCount, 0), encode(0x10000, 0) {
    iconv_t cd = iconv_open("UTF-16LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (unsigned b = 0; b < 0x80; ++b) single[b] = static_cast<char16_t>(b);
    for (unsigned b = 0x80; b < 0x100; ++b) single[b] = DecodeOne(cd, b, 0, 1);
    for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
      for (unsigned trail = kFirstTrail; trail <= kLastTrail; ++trail) {
        pairs[(lead - kFirstLead) * kTrailCount + trail - kFirstTrail] =
            DecodeOne(cd, lead, trail, 2);
      }
    }
    iconv_close(cd);
    FillEncoder();
  }

  static char16_t DecodeOne(iconv_t cd, unsigned first, unsigned second, size_t size) {
    char in[2] = {static_cast<char>(first), static_cast<char>(second)};
    char out[8];
    char* in_ptr = in;
    char* out_ptr = out;
    size_t in_left = size, out_left = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) return 0;
    if (in_left != 0 || sizeof(out) - out_left != 2) return 0;  // only whole BMP characters
    unsigned unit = static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8;
    return static_cast<char16_t>(unit);
  }

  // The first code for a character wins, so the encoder picks the canonical
  // form when a character has more than one.
  void FillEncoder() {
    for (unsigned b = 0; b < 0x100; ++b) {
      if ((b < 0x80 || single[b] != 0) && encode[single[b]] == 0) encode[single[b]] = b;
    }
    for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
      for (unsigned trail = kFirstTrail; trail <= kLastTrail; ++trail) {
        char16_t unit = pairs[(lead - kFirstLead) * kTrailCount + trail - kFirstTrail];
        if (unit != 0 && encode[unit] == 0) encode[unit] = static_cast<uint16_t>(lead << 8 | trail);
      }
    }
  }
};

const Cp936Tables& Tables() {
  static const Cp936Tables tables;
  return tables;
}

bool IsCp936(unsigned code_page) {
  return code_page == kChineseCodePage || code_page == kSystemAnsiCodePage;
}

// Writes through a raw pointer into a buffer sized for the worst case: these
// loops carry every message the program parses and writes.
std::u16string DecodeCp936(const unsigned char* in, size_t size) {
  const Cp936Tables& t = Tables();
  std::u16string out(size, u'\0');  // never more units than bytes
  char16_t* cursor = &out[0];
  for (size_t i = 0; i < size;) {
    unsigned b = in[i];
    if (b < 0x80) {
      *cursor++ = static_cast<char16_t>(b);
      ++i;
      continue;
    }
    if (b >= kFirstLead && b <= kLastLead && i + 1 < size && in[i + 1] >= kFirstTrail &&
        in[i + 1] <= kLastTrail) {
      char16_t unit = t.pairs[(b - kFirstLead) * kTrailCount + in[i + 1] - kFirstTrail];
      if (unit != 0) {
        *cursor++ = unit;
        i += 2;
        continue;
      }
    }
    *cursor++ = t.single[b] != 0 ? t.single[b] : kReplacementCharacter;
    ++i;
  }
  out.resize(static_cast<size_t>(cursor - out.data()));
  return out;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string EncodeCp936(const char16_t* in, size_t units) {
  const Cp936Tables& t = Tables();
  std::string out(units * 2, '\0');  // at most two bytes per unit
  char* cursor = &out[0];
  for (size_t i = 0; i < units; ++i) {
    char16_t unit = in[i];
    if (unit < 0x80) {
      *cursor++ = static_cast<char>(unit);
      continue;
    }
    uint16_t code = t.encode[unit];
    if (code == 0) {
      // A surrogate pair stands for one character and gets one replacement.
      if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(in[i + 1])) ++i;
      *cursor++ = kUnmappableByte;
    } else if (code < 0x100) {
      *cursor++ = static_cast<char>(code);
    } else {
      *cursor++ = static_cast<char>(code >> 8);
      *cursor++ = static_cast<char>(code & 0xFF);
    }
  }
  out.resize(static_cast<size_t>(cursor - out.data()));
  return out;
}

// Length of the valid UTF-8 sequence at in[0..size), or 0 when it is invalid.
size_t Utf8SequenceLength(const unsigned char* in, size_t size, uint32_t* code_point) {
  unsigned b = in[0];
  size_t length;
  uint32_t value, minimum;
  if (b < 0x80) return *code_point = b, 1;
  if (b >= 0xC2 && b <= 0xDF)
    length = 2, value = b & 0x1F, minimum = 0x80;
  else if (b >= 0xE0 && b <= 0xEF)
    length = 3, value = b & 0x0F, minimum = 0x800;
  else if (b >= 0xF0 && b <= 0xF4)
    length = 4, value = b & 0x07, minimum = 0x10000;
  else
    return 0;
  if (size < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((in[k] & 0xC0) != 0x80) return 0;
    value = value << 6 | (in[k] & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code_point = value;
  return length;
}

std::u16string DecodeUtf8(const unsigned char* in, size_t size) {
  std::u16string out;
  out.reserve(size);
  for (size_t i = 0; i < size;) {
    uint32_t cp = 0;
    size_t length = Utf8SequenceLength(in + i, size - i, &cp);
    if (length == 0) {
      out.push_back(kReplacementCharacter);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | cp >> 6));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | cp >> 12));
    out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | cp >> 18));
    out->push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string EncodeUtf8(const char16_t* in, size_t units) {
  std::string out;
  out.reserve(units * 3);
  for (size_t i = 0; i < units; ++i) {
    uint32_t cp = in[i];
    if (IsHighSurrogate(in[i]) && i + 1 < units && IsLowSurrogate(in[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(in[i]) || IsLowSurrogate(in[i])) {
      cp = kReplacementCharacter;
    }
    AppendUtf8(cp, &out);
  }
  return out;
}

}  // namespace

std::u16string MultiByteToUtf16(const char* data, size_t size, unsigned code_page) {
  if (size == 0) return std::u16string();
  const unsigned char* in = reinterpret_cast<const unsigned char*>(data);
  if (IsCp936(code_page)) return DecodeCp936(in, size);
  if (code_page == kUtf8CodePage) return DecodeUtf8(in, size);
  return std::u16string();
}

std::string Utf16ToMultiByte(const char16_t* data, size_t units, unsigned code_page) {
  if (units == 0) return std::string();
  if (IsCp936(code_page)) return EncodeCp936(data, units);
  if (code_page == kUtf8CodePage) return EncodeUtf8(data, units);
  return std::string();
}
