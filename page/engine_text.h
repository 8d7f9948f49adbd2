#pragma once
// Texts at the engine's border: the program holds code page 936, the engine
// takes and gives NUL-terminated UTF-16.
#include <cwchar>
#include <string>

#include "log/text_encoding.h"

// A UTF-16 copy of code page 936 text, readable by the engine while it lives.
// A failed conversion reads as the empty text, never as a null pointer.
class EngineText {
 public:
  explicit EngineText(const std::string& text) : bytes_(AnsiToWide(text)) {}
  const wchar_t* c_str() const {
    if (bytes_.size() < sizeof(wchar_t)) return L"";
    return reinterpret_cast<const wchar_t*>(bytes_.data());
  }

 private:
  Bytes bytes_;
};

// The UTF-16LE bytes of an engine text, without its terminator; empty for null.
inline Bytes WideBytesOf(const wchar_t* text) {
  if (text == nullptr) return Bytes();
  return Bytes(reinterpret_cast<const char*>(text), std::wcslen(text) * sizeof(wchar_t));
}

// Code page 936 text of an engine text; empty for null.
inline std::string TextOf(const wchar_t* text) {
  return text == nullptr ? std::string() : WideToAnsi(text);
}

// Code page 936 text of the engine's NUL-terminated UTF-8; empty for null.
inline std::string TextOfUtf8(const char* text) {
  return text == nullptr ? std::string() : Utf8ToAnsi(Bytes(text));
}
