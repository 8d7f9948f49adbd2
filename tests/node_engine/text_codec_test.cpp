#include "standins/node/text_codec.h"

#include <gtest/gtest.h>

namespace node_standin {
namespace {

TEST(TextCodec, ChineseRoundTripsThroughCesu8) {
  std::u16string text = u"收银台 ok";
  std::string cesu = Utf16ToCesu8(text);
  EXPECT_EQ(cesu, "\xE6\x94\xB6\xE9\x93\xB6\xE5\x8F\xB0 ok");
  EXPECT_EQ(Cesu8ToUtf16(cesu), text);
}

TEST(TextCodec, SupplementaryCharacterBecomesTwoUnitsEitherWay) {
  // U+1F600 as UTF-8 (four bytes) and as CESU-8 (two three-byte surrogates).
  std::string utf8 = "\xF0\x9F\x98\x80";
  std::u16string expected = u"\U0001F600";
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(Cesu8ToUtf16(utf8), expected);
  std::string cesu = Utf8ToCesu8(utf8);
  EXPECT_EQ(cesu, "\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(Cesu8ToUtf16(cesu), expected);
  EXPECT_EQ(Utf16ToUtf8(expected), utf8);
}

TEST(TextCodec, InvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(Cesu8ToUtf16("a\xFF"
                         "b"),
            u"a\uFFFD"
            u"b");
  EXPECT_EQ(Cesu8ToUtf16("\xE6\x94"), u"\uFFFD\uFFFD");  // cut short at the end
  EXPECT_EQ(Cesu8ToUtf16("\xC0\xAF"), u"\uFFFD");        // overlong '/'
  EXPECT_EQ(Cesu8ToUtf16("\xE6"
                         "a"),
            u"\uFFFD"
            u"a");
}

TEST(TextCodec, LoneSurrogateLeavesAsReplacementInUtf8) {
  std::u16string lone = u"x";
  lone.push_back(0xD800);
  EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBD");
}

TEST(TextCodec, StringToInt32FollowsJavaScript) {
  EXPECT_EQ(StringToInt32(u" 42 "), 42);
  EXPECT_EQ(StringToInt32(u"-7.9"), -7);
  EXPECT_EQ(StringToInt32(u"0x1F"), 31);
  EXPECT_EQ(StringToInt32(u"4294967297"), 1);
  EXPECT_EQ(StringToInt32(u"2147483648"), -2147483647 - 1);
  EXPECT_EQ(StringToInt32(u"1e3"), 1000);
  EXPECT_EQ(StringToInt32(u""), 0);
  EXPECT_EQ(StringToInt32(u"12abc"), 0);
  EXPECT_EQ(StringToInt32(u"Infinity"), 0);
  EXPECT_EQ(StringToInt32(u"nan"), 0);
  EXPECT_EQ(StringToInt32(u"0x"), 0);
  EXPECT_EQ(StringToInt32(u"１２"), 0);  // full-width digits are not numbers
}

TEST(TextCodec, NumberToInt32WrapsAndTruncates) {
  EXPECT_EQ(NumberToInt32(-1.5), -1);
  EXPECT_EQ(NumberToInt32(4294967295.0), -1);
  EXPECT_EQ(NumberToInt32(1.0 / 0.0), 0);
  EXPECT_EQ(NumberToInt32(0.0 / 0.0), 0);
  EXPECT_EQ(NumberToInt32(-4294967296.0 - 3), -3);
}

}  // namespace
}  // namespace node_standin
