// Conversions between code page 936, UTF-16 and UTF-8. The same expectations
// hold for the code-page API under Wine (code page 936) and the native tables.
#include "log/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kZhongAnsi = "\xD6\xD0";                  // 中 in code page 936
const std::string kZhongUtf8 = "\xE4\xB8\xAD";              // 中 in UTF-8
const std::string kZhongWide = std::string("\x2D\x4E", 2);  // U+4E2D little-endian
const std::string kWenAnsi = "\xCE\xC4";                    // 文

Bytes Wide(std::initializer_list<unsigned> units) {
  Bytes bytes;
  for (unsigned unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST(AnsiToWide, EmptyTextGivesOnlyTheTerminator) {
  EXPECT_EQ(AnsiToWide(""), std::string(2, '\0'));
}

TEST(AnsiToWide, ConvertsChineseAndAppendsTerminator) {
  EXPECT_EQ(AnsiToWide("a" + kZhongAnsi), Wide({'a', 0x4E2D, 0}));
}

TEST(AnsiToWide, StopsAtTheFirstNul) {
  EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), Wide({'a', 'b', 0}));
}

TEST(AnsiToWide, TrailByteThatLooksLikeBackslashBelongsToItsCharacter) {
  // 0x81 0x5C is one character of code page 936, not a character and a '\'.
  Bytes wide = AnsiToWide("\x81\x5C");
  ASSERT_EQ(wide.size(), 4u);
  EXPECT_NE(wide.substr(0, 2), Wide({'\\'}));
  EXPECT_EQ(wide.substr(2), std::string(2, '\0'));
}

TEST(AnsiToWide, ExplicitUtf8CodePage) {
  EXPECT_EQ(AnsiToWide(kZhongUtf8, kUtf8CodePage), Wide({0x4E2D, 0}));
}

TEST(WideToAnsi, ConvertsUpToTheTerminator) {
  const char16_t text[] = {0x4E2D, 0x6587, 'x', 0, 'y', 0};
  EXPECT_EQ(WideToAnsi(text), kZhongAnsi + kWenAnsi + "x");
}

TEST(WideToAnsi, NullAndEmpty) {
  EXPECT_EQ(WideToAnsi(static_cast<const char16_t*>(nullptr)), "");
  EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(WideToAnsi, CharacterOutsideTheCodePageBecomesQuestionMark) {
  EXPECT_EQ(WideToAnsi(u"a\u0E01b"), "a?b");  // a Thai letter
}

#ifdef _WIN32
TEST(WideToAnsi, WindowsWideCharacters) { EXPECT_EQ(WideToAnsi(L"\u4E2D"), kZhongAnsi); }
#endif

TEST(Utf8ToWide, EmptyGivesEmptyWithoutTerminator) { EXPECT_EQ(Utf8ToWide(""), ""); }

TEST(Utf8ToWide, NoTerminatorAdded) { EXPECT_EQ(Utf8ToWide(kZhongUtf8), kZhongWide); }

TEST(Utf8ToWide, KeepsEmbeddedNuls) {
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), Wide({'a', 0, 'b'}));
}

TEST(Utf8ToWide, CharacterBeyondTheBasicPlaneBecomesASurrogatePair) {
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), Wide({0xD83D, 0xDE00}));
}

TEST(Utf8ToWide, InvalidByteIsReplacedAndTheRestSurvives) {
  Bytes wide = Utf8ToWide(
      "a\xFF"
      "b");
  ASSERT_EQ(wide.size(), 6u);
  EXPECT_EQ(wide.substr(0, 2), Wide({'a'}));
  EXPECT_EQ(wide.substr(2, 2), Wide({0xFFFD}));
  EXPECT_EQ(wide.substr(4, 2), Wide({'b'}));
}

TEST(WideBytesToAnsi, EmptyAndSingleByte) {
  EXPECT_EQ(WideBytesToAnsi(""), "");
  EXPECT_EQ(WideBytesToAnsi("A"), "");
}

TEST(WideBytesToAnsi, OddLastByteIsDropped) {
  EXPECT_EQ(WideBytesToAnsi(kZhongWide + "A"), kZhongAnsi);
}

TEST(WideBytesToAnsi, StopsAtTheFirstNul) {
  EXPECT_EQ(WideBytesToAnsi(Wide({'o', 'k', 0, 'x'})), "ok");
}

TEST(Utf8ToAnsi, Zhong) { EXPECT_EQ(Utf8ToAnsi(kZhongUtf8), kZhongAnsi); }

TEST(Utf8ToAnsi, EmptyAndAscii) {
  EXPECT_EQ(Utf8ToAnsi(""), "");
  EXPECT_EQ(Utf8ToAnsi("{\"c\":\"sys\"}"), "{\"c\":\"sys\"}");
}

TEST(Utf8ToAnsi, EmojiHasNoPlaceInCodePage936) {
  std::string text = Utf8ToAnsi("x\xF0\x9F\x98\x80y");
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.front(), 'x');
  EXPECT_EQ(text.back(), 'y');
  EXPECT_EQ(text.find_first_not_of("xy?"), std::string::npos) << text;
}

TEST(AnsiToUtf8, Zhong) { EXPECT_EQ(AnsiToUtf8(kZhongAnsi), kZhongUtf8); }

TEST(AnsiToUtf8, EmptyAndNulTerminated) {
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToUtf8(std::string("a\0b", 3)), "a");
}

TEST(RoundTrip, LongMixedTextSurvivesUtf8AndWide) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += kZhongAnsi + "ab" + kWenAnsi + "\t{}\"\\";
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(text)), text);
  Bytes wide = AnsiToWide(text);
  EXPECT_EQ(WideBytesToAnsi(wide), text);
}

TEST(RoundTrip, EveryDoubleByteCharacterComesBackUnchanged) {
  // Lead bytes 0xB0..0xF7 with trail bytes 0xA1..0xFE: the common hanzi block,
  // where every code is a character and each character has one code.
  std::string text;
  for (int lead = 0xB0; lead <= 0xF7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      if (lead == 0xD7 && trail >= 0xFA) continue;  // the block's five unassigned codes
      text.push_back(static_cast<char>(lead));
      text.push_back(static_cast<char>(trail));
    }
  }
  Bytes wide = AnsiToWide(text);
  EXPECT_EQ(wide.size(), text.size() + 2);  // one unit per character, plus the terminator
  EXPECT_EQ(WideBytesToAnsi(wide), text);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(text)), text);
}

TEST(Primitives, CountedInputKeepsNuls) {
  std::u16string wide = MultiByteToUtf16("a\0b", 3, kChineseCodePage);
  EXPECT_EQ(wide, std::u16string(u"a\0b", 3));
  EXPECT_EQ(Utf16ToMultiByte(wide.data(), wide.size(), kChineseCodePage), std::string("a\0b", 3));
}

TEST(Primitives, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(MultiByteToUtf16("", 0, kChineseCodePage), u"");
  EXPECT_EQ(Utf16ToMultiByte(u"", 0, kUtf8CodePage), "");
}

}  // namespace
