// The native build converts code page 936 through tables filled from iconv;
// here every double-byte code and every UTF-16 unit is checked against iconv.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "log/text_encoding.h"

namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // False when iconv refuses the input.
  bool Convert(const std::string& in, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* in_ptr = const_cast<char*>(in.data());
    char* out_ptr = buffer;
    size_t in_left = in.size(), out_left = sizeof(buffer);
    if (iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) return false;
    out->assign(buffer, sizeof(buffer) - out_left);
    return in_left == 0;
  }

 private:
  iconv_t cd_;
};

TEST(Cp936Tables, EveryDoubleByteCodeDecodesLikeIconv) {
  Iconv decoder("UTF-16LE", "CP936");
  ASSERT_TRUE(decoder.ok());
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      std::string expected;
      if (!decoder.Convert(code, &expected) || expected.size() != 2) continue;
      ++mapped;
      std::u16string wide = MultiByteToUtf16(code.data(), code.size(), kChineseCodePage);
      ASSERT_EQ(wide.size(), 1u) << lead << " " << trail;
      unsigned unit =
          static_cast<unsigned char>(expected[0]) | static_cast<unsigned char>(expected[1]) << 8;
      ASSERT_EQ(static_cast<unsigned>(wide[0]), unit) << lead << " " << trail;
    }
  }
  EXPECT_GT(mapped, 21000);  // GBK holds about 21900 double-byte characters
}

TEST(Cp936Tables, EveryUnitEncodesToACodeThatDecodesBack) {
  Iconv encoder("CP936", "UTF-16LE");
  ASSERT_TRUE(encoder.ok());
  for (unsigned unit = 0x80; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    char16_t c = static_cast<char16_t>(unit);
    std::string ours = Utf16ToMultiByte(&c, 1, kChineseCodePage);
    std::string expected;
    std::string in{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    if (!encoder.Convert(in, &expected)) {
      ASSERT_EQ(ours, "?") << unit;
      continue;
    }
    // Where a character has two codes we may pick either, but it must decode back.
    std::u16string back = MultiByteToUtf16(ours.data(), ours.size(), kChineseCodePage);
    ASSERT_EQ(back, std::u16string(1, c)) << unit;
  }
}

TEST(Cp936Tables, InvalidSequencesAreReplacedOneByteAtATime) {
  // A lead byte at the end, and one followed by a byte that cannot trail.
  EXPECT_EQ(MultiByteToUtf16("a\x81", 2, kChineseCodePage), std::u16string(u"a\uFFFD"));
  EXPECT_EQ(MultiByteToUtf16("\x81\x22x", 3, kChineseCodePage), std::u16string(u"\uFFFD\"x"));
}

TEST(Utf8, MalformedSequencesGiveOneReplacementPerByte) {
  // An overlong '/', an encoded surrogate, a cut sequence.
  EXPECT_EQ(MultiByteToUtf16("\xC0\xAF", 2, kUtf8CodePage), std::u16string(u"\uFFFD\uFFFD"));
  EXPECT_EQ(MultiByteToUtf16("\xED\xA0\x80", 3, kUtf8CodePage),
            std::u16string(u"\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(MultiByteToUtf16("\xE4\xB8", 2, kUtf8CodePage), std::u16string(u"\uFFFD\uFFFD"));
}

TEST(Utf8, LoneSurrogateIsWrittenAsReplacement) {
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(Utf16ToMultiByte(lone, 3, kUtf8CodePage),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(OtherCodePages, FailLikeAnUnknownCodePage) {
  EXPECT_EQ(MultiByteToUtf16("abc", 3, 1252), u"");
  EXPECT_EQ(Utf16ToMultiByte(u"abc", 3, 1252), "");
}

}  // namespace
