// One logged message is one line, whatever text from outside it carries.
#include "log/log_line_text.h"

#include <gtest/gtest.h>

namespace {

TEST(LogLineText, PlainTextAndDoubleByteCharactersStayAsTheyAre) {
  EXPECT_EQ(OneLineText(""), "");
  EXPECT_EQ(OneLineText("OnServer json:{\"c\":\"sys\"}"), "OnServer json:{\"c\":\"sys\"}");
  // "载入页面" and a character whose trail byte is a backslash (0x5C).
  const std::string chinese = "\xd4\xd8\xc8\xeb\xd2\xb3\xc3\xe6 \x95\x5c";
  EXPECT_EQ(OneLineText(chinese), chinese);
  EXPECT_EQ(OneLineText("a\\nb"), "a\\nb");  // an escape already in the text stays
}

TEST(LogLineText, ControlCharactersAreWrittenVisibly) {
  EXPECT_EQ(OneLineText("a\r\nb"), "a\\r\\nb");
  EXPECT_EQ(OneLineText("\n"), "\\n");
  EXPECT_EQ(OneLineText("tab\there"), "tab\\there");
  EXPECT_EQ(OneLineText(std::string("nul\0end", 7)), "nul\\x00end");
  EXPECT_EQ(OneLineText("\x1b[31mred\x7f"), "\\x1B[31mred\\x7F");
  EXPECT_EQ(OneLineText("\x1f\x20"), "\\x1F ");
}

TEST(LogLineText, NothingOfTheResultBreaksALine) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string line = OneLineText(all);
  EXPECT_EQ(line.find('\r'), std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.size(), all.size() + 30 * 3 + 3);  // 30 as \xNN, 3 as two bytes
}

}  // namespace
