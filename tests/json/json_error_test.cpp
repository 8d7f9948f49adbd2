// Malformed input: the code, the position (in UTF-16 units) and the state left.
#include <gtest/gtest.h>

#include "tests/json/json_test_util.h"

namespace {

TEST(JsonError, EmptyOrBlankText) {
  EXPECT_EQ(ParseError(""), "<-2@0>");
  EXPECT_EQ(ParseError(std::string("\0{}", 3)), "<-2@0>");
  EXPECT_EQ(ParseError(" \r\n\t"), "<-2@4>");
  JsonDocument document;
  int code = 0, position = 0;
  EXPECT_FALSE(document.Parse(std::u16string(), false, &code, &position));
  EXPECT_EQ(code, kJsonNoText);
}

TEST(JsonError, ContainersLeftOpen) {
  EXPECT_EQ(ParseError("{\"a\":1"), "<-5@6>");
  EXPECT_EQ(ParseError("[1,[2]"), "<-5@6>");
  EXPECT_EQ(ParseError("{\"a\""), "<-5@4>");
  EXPECT_EQ(ParseError("{\"a\":"), "<-5@5>");
}

TEST(JsonError, MalformedMembers) {
  EXPECT_EQ(ParseError("{\"a\" x:1}"), "<-4@5>");
  EXPECT_EQ(ParseError("{:1}"), "<-4@1>");
  EXPECT_EQ(ParseError("{\"a\":1,,\"b\":2}"), "<-4@7>");
  EXPECT_EQ(ParseError("{{}}"), "<-4@1>");
  EXPECT_EQ(ParseError("{[1]:2}"), "<-4@1>");
  EXPECT_EQ(ParseError("{\"a\":1]"), "<-4@6>");
  EXPECT_EQ(ParseError("{a b:1}"), "<-4@3>");
}

TEST(JsonError, MalformedValues) {
  EXPECT_EQ(ParseError("{\"a\":tru}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":,\"b\":1}"), "<-6@5>");
  EXPECT_EQ(ParseError("[1}"), "<-6@2>");
  EXPECT_EQ(ParseError("[1 2]"), "<-6@1>");
  EXPECT_EQ(ParseError("{\"a\":12[3]}"), "<-6@7>");
  EXPECT_EQ(ParseError("{\"a\":\"x\" \"b\":1}"), "<-6@9>");
  EXPECT_EQ(ParseError("]"), "<-6@0>");
}

TEST(JsonError, UnmatchedQuotes) {
  EXPECT_EQ(ParseError("{\"a\":\"x}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":'x\"}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":\"x\\\"}"), "<-6@5>");  // the quote is escaped
  EXPECT_EQ(ParseError("{\"a"), "<-6@1>");
}

TEST(JsonError, LooseNumbersAreNotNumbers) {
  for (const char* text : {"[1-2]", "[1e]", "[-]", "[.]", "[+.e1]", "[1.2.3]", "[0x10]", "[1e5e5]",
                           "[1e+-5]", "[Infinity]", "[NaN]", "[1-e]", "[--1]"}) {
    EXPECT_EQ(ParseError(text), "<-6@1>") << text;
  }
}

TEST(JsonError, PositionCountsUtf16Units) {
  // Each Chinese character is two bytes of input but one unit.
  EXPECT_EQ(ParseError(Ansi("{\"中文\":tru}")), "<-6@6>");
  EXPECT_EQ(ParseError(Ansi("{\"键\":\"值\"")), "<-5@8>");
}

TEST(JsonError, FailureLeavesAnEmptyObjectRoot) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("{\"a\":[1,2,3]}"));
  int code = 0, position = -1;
  EXPECT_FALSE(document.Parse("{\"a\":[1,2,3]", false, &code, &position));
  EXPECT_EQ(code, kJsonOpenContainer);
  EXPECT_EQ(position, 12);
  EXPECT_EQ(document.ToText(), "{}");
  EXPECT_EQ(document.GetText("a"), "");
  EXPECT_EQ(document.GetType("a"), JsonType::kMissing);
}

TEST(JsonError, SuccessClearsTheOutputs) {
  JsonDocument document;
  int code = -9, position = -9;
  ASSERT_TRUE(document.Parse("{}", false, &code, &position));
  EXPECT_EQ(code, kJsonOk);
  EXPECT_EQ(position, 0);
}

TEST(JsonError, NullOutputsAreAllowed) {
  JsonDocument document;
  EXPECT_FALSE(document.Parse("{", false, nullptr, nullptr));
}

// Received messages are run in the page as "clientJS2(" + text + ")", so text
// that parses here must not be able to end that call and run more script.
TEST(JsonBreakout, NothingMayFollowTheRoot) {
  EXPECT_EQ(ParseError("{\"a\":1});anything();({\"b\":2}"), "<-6@7>");
  EXPECT_EQ(ParseError("{\"a\":1} x"), "<-6@8>");
  EXPECT_EQ(ParseError("{\"a\":1}{}"), "<-6@7>");
  EXPECT_EQ(ParseError("42 43"), "<-6@0>");  // one value token "42 43"
  EXPECT_EQ(ParseError("42,43"), "<-6@2>");
  EXPECT_EQ(ParseError("\"a\"\"b\""), "<-6@3>");
  EXPECT_EQ(ParseError("[1]]"), "<-6@3>");
  EXPECT_EQ(ParseError("{\"a\":1}//comment"), "<-6@7>");
  EXPECT_EQ(ParseError("{\"a\":1}  \r\n\t"), "ok");
}

TEST(JsonBreakout, UnquotedKeysAreNamesOnly) {
  EXPECT_EQ(ParseError("{a)+alert(1);({b:1}"), "<-4@2>");
  EXPECT_EQ(ParseError("{a-b:1}"), "<-4@2>");
  EXPECT_EQ(ParseError("{/*x*/a:1}"), "<-4@1>");
  EXPECT_EQ(ParseError("{a\\u0029:1}"), "<-4@2>");
}

TEST(JsonBreakout, UnicodeEscapeNeedsFourHexDigits) {
  // The reader skips six characters after "\u"; with fewer than four hex
  // digits it would end the string elsewhere than a script does.
  EXPECT_EQ(ParseError("{\"a\":\"\\u\",\"b\":1);alert(1);//\"}"), "<-6@6>");
  EXPECT_EQ(ParseError("{\"a\":\"\\u12\"}"), "<-6@6>");
  EXPECT_EQ(ParseError("{\"a\":\"x\\u00"), "<-6@7>");
  EXPECT_EQ(ParseError("{\"a\":\"\\u00e9\\uABCD\"}"), "ok");
}

TEST(JsonBreakout, ValuesAreLiteralsOnly) {
  EXPECT_EQ(ParseError("{\"a\":alert(1)}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":1+alert(1)}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":x=>1}"), "<-6@5>");
  EXPECT_EQ(ParseError("{\"a\":`x`}"), "<-6@5>");
}

}  // namespace
