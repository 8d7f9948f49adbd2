#pragma once
// Text conversions at the engine's borders. The interface speaks UTF-16
// (wchar_t on Windows), pages arrive as UTF-8 bytes, and the script engine
// keeps strings as CESU-8: every UTF-16 unit, surrogates included, encoded on
// its own, so a string keeps its JavaScript length and indexes.
#include <string>

namespace node_standin {

// UTF-16 units to CESU-8; unpaired surrogates pass through unchanged.
std::string Utf16ToCesu8(const std::u16string& text);
// CESU-8 (or UTF-8: four-byte sequences become surrogate pairs) to UTF-16.
// Invalid bytes become U+FFFD, so no input can break the decoder.
std::u16string Cesu8ToUtf16(const std::string& bytes);
// UTF-8 bytes from the network to CESU-8 for the script engine.
std::string Utf8ToCesu8(const std::string& bytes);
// UTF-16 to standard UTF-8 (surrogate pairs joined; lone ones become U+FFFD),
// for URLs and request bodies that leave the process.
std::string Utf16ToUtf8(const std::u16string& text);

// The JavaScript ToInt32 of a string's ToNumber: decimal or 0x hexadecimal,
// surrounding white space ignored, anything else 0.
int StringToInt32(const std::u16string& text);
// The JavaScript ToInt32 of a number (modulo 2^32; NaN and infinities give 0).
int NumberToInt32(double value);

}  // namespace node_standin
