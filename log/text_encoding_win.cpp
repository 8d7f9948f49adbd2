// Conversion primitives over the Windows code-page API. Each makes two passes:
// a sizing call without an output buffer, then the conversion into a buffer of
// exactly that size. Flags are 0 and no default character is given, so invalid
// input and unmappable characters are handled the way the platform does.
#include <windows.h>

#include <climits>

#include "log/text_encoding.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

std::u16string MultiByteToUtf16(const char* data, size_t size, unsigned code_page) {
  if (size == 0 || size > static_cast<size_t>(INT_MAX)) return std::u16string();
  int length = static_cast<int>(size);
  int count = MultiByteToWideChar(code_page, 0, data, length, nullptr, 0);
  if (count <= 0) return std::u16string();
  std::u16string wide(static_cast<size_t>(count), u'\0');
  int done =
      MultiByteToWideChar(code_page, 0, data, length, reinterpret_cast<wchar_t*>(&wide[0]), count);
  if (done <= 0) return std::u16string();
  wide.resize(static_cast<size_t>(done));
  return wide;
}

std::string Utf16ToMultiByte(const char16_t* data, size_t units, unsigned code_page) {
  if (units == 0 || units > static_cast<size_t>(INT_MAX)) return std::string();
  const wchar_t* source = reinterpret_cast<const wchar_t*>(data);
  int length = static_cast<int>(units);
  int size = WideCharToMultiByte(code_page, 0, source, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string text(static_cast<size_t>(size), '\0');
  int done = WideCharToMultiByte(code_page, 0, source, length, &text[0], size, nullptr, nullptr);
  if (done <= 0) return std::string();
  text.resize(static_cast<size_t>(done));
  return text;
}
