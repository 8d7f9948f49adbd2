#pragma once
// Conversions between the three text forms of the program: 8-bit code page 936
// text inside, UTF-16 at the browser engine, UTF-8 where a message says so.
// No conversion reports an error: a failure gives an empty result, and
// characters a code page cannot hold are replaced as the platform does.
#include <cstddef>
#include <string>

// A counted byte string; may hold NULs (UTF-16 text is kept little-endian in it).
using Bytes = std::string;

// Code pages the program converts with. kSystemAnsiCodePage is the machine's
// ANSI code page (on the native test build: 936).
constexpr unsigned kSystemAnsiCodePage = 0;
constexpr unsigned kChineseCodePage = 936;
constexpr unsigned kUtf8CodePage = 65001;

// Text up to its first NUL, as UTF-16LE bytes including the two-byte terminator.
// Empty when the conversion fails.
Bytes AnsiToWide(const std::string& text, unsigned code_page = kChineseCodePage);
// NUL-terminated UTF-16 to text; a null pointer gives empty text.
std::string WideToAnsi(const char16_t* wide, unsigned code_page = kChineseCodePage);
#ifdef _WIN32
std::string WideToAnsi(const wchar_t* wide, unsigned code_page = kChineseCodePage);
#endif
// UTF-8 bytes to UTF-16LE bytes, no terminator added.
Bytes Utf8ToWide(const Bytes& utf8);
// UTF-16LE bytes (an odd last byte is dropped) to text in the system ANSI code page.
std::string WideBytesToAnsi(const Bytes& wide);
// UTF-8 bytes to text in the system ANSI code page.
std::string Utf8ToAnsi(const Bytes& utf8);
// Text in code page 936 to UTF-8.
std::string AnsiToUtf8(const std::string& text);

// The two primitives the operations above (and the JSON document) are built on.
// Each converts exactly the counted input, NULs included; a failure or an
// input too long for the platform API gives an empty result.
std::u16string MultiByteToUtf16(const char* data, size_t size, unsigned code_page);
std::string Utf16ToMultiByte(const char16_t* data, size_t units, unsigned code_page);
