// String escapes on the way in and out, and the exact shape of the output.
#include <gtest/gtest.h>

#include "tests/json/json_test_util.h"

namespace {

std::string TextOf(const std::string& json, bool decode_unicode = false) {
  JsonDocument document;
  if (!document.Parse(json, decode_unicode)) return "<parse failed>";
  return document.GetText("s");
}

TEST(JsonEscapes, NewlineBecomesCrLf) {
  EXPECT_EQ(TextOf(R"({"s":"a\nb"})"), "a\r\nb");
  EXPECT_EQ(TextOf(R"({"s":"a\r\nb"})"), "a\r\nb");
  EXPECT_EQ(TextOf(R"({"s":"\n\n"})"), "\r\n\r\n");
  EXPECT_EQ(TextOf(R"({"s":"\r\r\n"})"), "\r\r\n");
  EXPECT_EQ(TextOf("{\"s\":\"a\r\\nb\"}"), "a\r\nb");  // a raw CR before the escape
}

TEST(JsonEscapes, NewlineWritesBackAsEscapedCrLf) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"s":"a\nb"})"));
  EXPECT_EQ(document.ToText(), R"({"s":"a\r\nb"})");
}

TEST(JsonEscapes, SimpleEscapes) {
  EXPECT_EQ(TextOf(R"({"s":"\\ \/ \" \b\t\f"})"), "\\ / \" \b\t\f");
}

TEST(JsonEscapes, UnknownEscapesKeepTheBackslash) {
  EXPECT_EQ(TextOf(R"({"s":"\' \x41 \a"})"), R"(\' \x41 \a)");
  EXPECT_EQ(TextOf(R"({'s':'it\'s'})"), R"(it\'s)");
}

TEST(JsonEscapes, UnicodeEscapeStaysWithoutTheFlag) {
  EXPECT_EQ(TextOf(R"({"s":"\u4e2d"})"), R"(\u4e2d)");
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"s":"\u4e2d"})"));
  EXPECT_EQ(document.ToText(), R"({"s":"\\u4e2d"})");
}

TEST(JsonEscapes, UnicodeEscapeDecodedWithTheFlag) {
  EXPECT_EQ(TextOf(R"({"s":"\u4e2d\u00"})", true), "<parse failed>");
  EXPECT_EQ(TextOf(R"({"s":"\u4e2dA\u0041"})", true), Ansi("中AA"));
  EXPECT_EQ(TextOf(R"({"s":"\u000D\n"})", true), "\r\n");
}

TEST(JsonEscapes, KeysAreUnescapedToo) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"a\/b":1,"t\tab":2})"));
  EXPECT_EQ(document.GetText("a/b"), "1");
  EXPECT_EQ(document.GetText("t\tab"), "2");
  EXPECT_EQ(document.ToText(), R"({"a\/b":1,"t\tab":2})");
}

TEST(JsonWrite, EscapesOnlyTheListedCharacters) {
  JsonDocument document;
  ASSERT_TRUE(document.SetText("", Ansi("a/b\"c\\d\te\r\nf\b\fg'中\x01")));
  EXPECT_EQ(document.ToText(), Ansi("\"a\\/b\\\"c\\\\d\\te\\r\\nf\\b\\fg'中\x01\""));
  EXPECT_EQ(document.ToText("", false, false), Ansi("\"a/b\"c\\d\te\r\nf\b\fg'中\x01\""));
}

TEST(JsonWrite, EscapedTextBetweenTheQuotes) {
  // The pattern used to put arbitrary text into a script string.
  JsonDocument document;
  document.Create();
  ASSERT_TRUE(document.SetText("", Ansi("出错: \"x\" at C:\\a/b\r\n")));
  std::string quoted = document.ToText("", false, true);
  ASSERT_GE(quoted.size(), 2u);
  EXPECT_EQ(quoted.front(), '"');
  EXPECT_EQ(quoted.back(), '"');
  EXPECT_EQ(quoted.substr(1, quoted.size() - 2), Ansi("出错: \\\"x\\\" at C:\\\\a\\/b\\r\\n"));
}

TEST(JsonWrite, MembersInTheOrderTheyWereSet) {
  JsonDocument document;
  ASSERT_TRUE(document.SetText("c", "sys"));
  ASSERT_TRUE(document.SetText("a", "error"));
  ASSERT_TRUE(document.SetText("data", Ansi("数据")));
  EXPECT_EQ(document.ToText(), Ansi(R"({"c":"sys","a":"error","data":"数据"})"));
}

TEST(JsonWrite, Pretty) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"a":1,"b":{"c":[1,{"d":2}],"e":{}}})"));
  EXPECT_EQ(document.ToText("", true),
            "{\r\n"
            "\t\"a\":1,\r\n"
            "\t\"b\":{\r\n"
            "\t\t\"c\":[1,{\r\n"
            "\t\t\t\"d\":2\r\n"
            "\t\t}],\r\n"
            "\t\t\"e\":{\r\n"
            "\t\t}\r\n"
            "\t}\r\n"
            "}");
}

TEST(JsonWrite, PrettyEmptyAndArrays) {
  JsonDocument document;
  EXPECT_EQ(document.ToText("", true), "{\r\n}");
  ASSERT_TRUE(document.Parse("[[],[1,2],{\"a\":[]}]"));
  EXPECT_EQ(document.ToText("", true), "[[],[1,2],{\r\n\t\"a\":[]\r\n}]");
  EXPECT_EQ(document.ToText(), "[[],[1,2],{\"a\":[]}]");
}

TEST(JsonWrite, PrettySubtreeStartsAtItsOwnLevel) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"x":{"y":{"z":1}}})"));
  EXPECT_EQ(document.ToText("x", true), "{\r\n\t\"y\":{\r\n\t\t\"z\":1\r\n\t}\r\n}");
}

TEST(JsonWrite, PathAndMissingPath) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"b":{"c":[1,{"d":"x"}]}})"));
  EXPECT_EQ(document.ToText("b.c"), R"([1,{"d":"x"}])");
  EXPECT_EQ(document.ToText("b.c[1].d"), R"("x")");
  EXPECT_EQ(document.ToText("b.nothing"), "");
  EXPECT_EQ(document.ToText("b.c[2]"), "");
}

TEST(JsonWrite, AnyInitialCapacity) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"a":"some text that is longer than the buffer"})"));
  EXPECT_EQ(document.ToText("", false, true, 0), document.ToText("", false, true, 1 << 16));
  EXPECT_EQ(document.ToText("", false, true, 1), document.ToText());
}

TEST(JsonWrite, WideTextIsTheSameTree) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(Ansi(R"({"名":"值"})")));
  EXPECT_EQ(document.ToWideText(), u"{\"名\":\"值\"}");
  JsonDocument again;
  ASSERT_TRUE(again.Parse(document.ToWideText()));
  EXPECT_EQ(again.ToText(), document.ToText());
}

}  // namespace
