#pragma once
// Helpers shared by the JSON document tests.
#include <string>

#include "log/text_encoding.h"
#include "util/json_document.h"

// Test sources are UTF-8 and the document takes code page 936 text. Whether a
// narrow literal is still UTF-8 depends on the compiler's execution character
// set (the Windows build already compiles literals to code page 936).
constexpr bool kLiteralsAreUtf8 = sizeof("中") == 4;
inline std::string Ansi(const char* literal) {
  return kLiteralsAreUtf8 ? Utf8ToAnsi(literal) : std::string(literal);
}

// Parses and gives the compact text back, or "<code@position>" on failure.
inline std::string Reformat(const std::string& text) {
  JsonDocument document;
  int code = 0, position = 0;
  if (!document.Parse(text, false, &code, &position)) {
    return "<" + std::to_string(code) + "@" + std::to_string(position) + ">";
  }
  return document.ToText();
}

// "<code@position>" of a parse expected to fail, "ok" when it succeeds.
inline std::string ParseError(const std::string& text) {
  JsonDocument document;
  int code = 0, position = 0;
  if (document.Parse(text, false, &code, &position)) return "ok";
  return "<" + std::to_string(code) + "@" + std::to_string(position) + ">";
}
