// The program's text conversions, built on the two platform primitives
// (code-page API on Windows, tables from iconv on the native build).
#include "log/text_encoding.h"

#include <cstring>

namespace {

Bytes ToBytes(const std::u16string& wide) {
  Bytes bytes(wide.size() * 2, '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    bytes[2 * i] = static_cast<char>(wide[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(wide[i] >> 8);
  }
  return bytes;
}

std::u16string FromBytes(const Bytes& bytes) {
  std::u16string wide(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    unsigned low = static_cast<unsigned char>(bytes[2 * i]);
    unsigned high = static_cast<unsigned char>(bytes[2 * i + 1]);
    wide[i] = static_cast<char16_t>(low | (high << 8));
  }
  return wide;
}

// Text ends at its first NUL, whatever the counted string holds after it.
std::string UpToNul(std::string text) {
  text.resize(std::strlen(text.c_str()));
  return text;
}

size_t WideLength(const char16_t* wide) {
  size_t length = 0;
  while (wide[length] != u'\0') ++length;
  return length;
}

}  // namespace

Bytes AnsiToWide(const std::string& text, unsigned code_page) {
  // The terminator is converted too, so the engine gets a NUL-terminated string.
  std::u16string wide = MultiByteToUtf16(text.c_str(), std::strlen(text.c_str()) + 1, code_page);
  return ToBytes(wide);
}

std::string WideToAnsi(const char16_t* wide, unsigned code_page) {
  if (wide == nullptr) return std::string();
  return UpToNul(Utf16ToMultiByte(wide, WideLength(wide) + 1, code_page));
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");
std::string WideToAnsi(const wchar_t* wide, unsigned code_page) {
  return WideToAnsi(reinterpret_cast<const char16_t*>(wide), code_page);
}
#endif

Bytes Utf8ToWide(const Bytes& utf8) {
  if (utf8.empty()) return Bytes();
  return ToBytes(MultiByteToUtf16(utf8.data(), utf8.size(), kUtf8CodePage));
}

std::string WideBytesToAnsi(const Bytes& wide) {
  if (wide.size() < 2) return std::string();
  std::u16string units = FromBytes(wide);
  return UpToNul(Utf16ToMultiByte(units.data(), units.size(), kSystemAnsiCodePage));
}

std::string Utf8ToAnsi(const Bytes& utf8) {
  if (utf8.empty()) return std::string();
  return WideBytesToAnsi(Utf8ToWide(utf8));
}

std::string AnsiToUtf8(const std::string& text) {
  std::u16string wide = MultiByteToUtf16(text.data(), std::strlen(text.c_str()), kChineseCodePage);
  return Utf16ToMultiByte(wide.data(), wide.size(), kUtf8CodePage);
}
