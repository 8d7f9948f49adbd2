// What the lenient reader accepts, and the tree it builds.
#include <gtest/gtest.h>

#include "tests/json/json_test_util.h"

namespace {

TEST(JsonParse, SingleQuotedKeysAndValues) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("{'a':'x'}"));
  EXPECT_EQ(document.GetText("a"), "x");
}

TEST(JsonParse, OtherQuoteIsAnOrdinaryCharacterInsideAString) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"a":"it's, [x]: {y}",'b':'say "hi"'})"));
  EXPECT_EQ(document.GetText("a"), "it's, [x]: {y}");
  EXPECT_EQ(document.GetText("b"), "say \"hi\"");
}

TEST(JsonParse, NumbersKeepTheirText) {
  EXPECT_EQ(Reformat("{\"n\":1.50}"), "{\"n\":1.50}");
  EXPECT_EQ(Reformat("[+3,1e3,-0.0,.5,5.,007,1E+2,-4e-02]"), "[+3,1e3,-0.0,.5,5.,007,1E+2,-4e-02]");
}

TEST(JsonParse, NumberKinds) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("{\"i\":-12,\"p\":+3,\"d\":1.5,\"e\":2e3,\"s\":\"7\"}"));
  EXPECT_EQ(document.GetType("i"), JsonType::kInt64);
  EXPECT_EQ(document.GetType("p"), JsonType::kInt64);
  EXPECT_EQ(document.GetType("d"), JsonType::kDouble);
  EXPECT_EQ(document.GetType("e"), JsonType::kDouble);
  EXPECT_EQ(document.GetType("s"), JsonType::kString);
}

TEST(JsonParse, LiteralsAreCaseSensitive) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("[null,true,false]"));
  EXPECT_EQ(document.GetType("[0]"), JsonType::kNull);
  EXPECT_EQ(document.GetText("[1]"), "true");
  EXPECT_EQ(document.GetText("[2]"), "false");
  EXPECT_EQ(ParseError("[True]"), "<-6@1>");
  EXPECT_EQ(ParseError("[NULL]"), "<-6@1>");
}

TEST(JsonParse, UnquotedKeys) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(Ansi("{a:1, b_2 :'x',$c:true,中文:2,9:3}")));
  EXPECT_EQ(document.ToText(), Ansi(R"({"a":1,"b_2":"x","$c":true,"中文":2,"9":3})"));
}

TEST(JsonParse, TrailingCommasAndEmptyItems) {
  EXPECT_EQ(Reformat("[1,,2,]"), "[1,2]");
  EXPECT_EQ(Reformat("[,1]"), "[1]");
  EXPECT_EQ(Reformat("[,]"), "[]");
  EXPECT_EQ(Reformat("{\"a\":1,}"), "{\"a\":1}");
  EXPECT_EQ(Reformat("{\"a\":[],\"b\":{},}"), "{\"a\":[],\"b\":{}}");
}

TEST(JsonParse, DuplicateKeyKeepsFirstPlaceAndLastValue) {
  EXPECT_EQ(Reformat("{\"a\":1,\"b\":2,\"a\":{\"x\":[3]}}"), "{\"a\":{\"x\":[3]},\"b\":2}");
  EXPECT_EQ(Reformat("{\"a\":{\"x\":1},\"a\":2}"), "{\"a\":2}");
}

TEST(JsonParse, DuplicateKeyInALargeObject) {
  std::string text = "{";
  for (int i = 0; i < 200; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += "\"k150\":\"again\",\"k3\":true}";
  JsonDocument document;
  ASSERT_TRUE(document.Parse(text));
  EXPECT_EQ(document.GetText("k150"), "again");
  EXPECT_EQ(document.GetText("k3"), "true");
  EXPECT_EQ(document.GetText("k199"), "199");
  std::string out = document.ToText();
  EXPECT_NE(out.find("\"k149\":149,\"k150\":\"again\",\"k151\":151"), std::string::npos);
  EXPECT_EQ(out.find("k150", out.find("k150") + 1), std::string::npos);  // only once
}

TEST(JsonParse, KeysAreCaseSensitive) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("{\"A\":1,\"a\":2}"));
  EXPECT_EQ(document.GetText("A"), "1");
  EXPECT_EQ(document.GetText("a"), "2");
}

TEST(JsonParse, ScalarRoots) {
  EXPECT_EQ(Reformat("42"), "42");
  EXPECT_EQ(Reformat(" 'abc' "), "\"abc\"");
  EXPECT_EQ(Reformat("null"), "null");
  EXPECT_EQ(Reformat("false"), "false");
  JsonDocument document;
  ASSERT_TRUE(document.Parse("-7.25"));
  EXPECT_EQ(document.GetText(""), "-7.25");
}

TEST(JsonParse, BlanksBetweenTokens) {
  EXPECT_EQ(Reformat("\t{ \"a\" : 1 ,\r\n \"b\" :[ 1 , 2 ] ,'c' : null }\n"),
            "{\"a\":1,\"b\":[1,2],\"c\":null}");
  JsonDocument document;
  ASSERT_TRUE(document.Parse(std::u16string(u"{\0\"a\"\0:\0[1\0]}\0", 15)));
  EXPECT_EQ(document.ToText(), "{\"a\":[1]}");
}

TEST(JsonParse, TextEndsAtTheFirstNul) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(std::string("{\"a\":1}\0garbage", 15)));
  EXPECT_EQ(document.ToText(), "{\"a\":1}");
}

TEST(JsonParse, ChineseTextRoundTrips) {
  std::string message = Ansi(
      R"({"c":"pos","a":"cart","uid":"1001","notme":true,"data":{"title":"欢迎光临","items":)"
      R"([{"name":"可口可乐 330ml","qty":2,"price":3.50},{"name":"面包","qty":1,"price":6.00}],)"
      R"("total":13.00,"memo":"会员：张三"}})");
  EXPECT_EQ(Reformat(message), message);
  JsonDocument document;
  ASSERT_TRUE(document.Parse(message));
  EXPECT_EQ(document.GetText("data.items[0].name"), Ansi("可口可乐 330ml"));
  EXPECT_EQ(document.GetText("data.memo"), Ansi("会员：张三"));
  EXPECT_TRUE(document.GetBool("notme"));
  EXPECT_EQ(document.GetInt64("data.items[1].price"), 6);
}

TEST(JsonParse, TrailByteThatLooksLikeBackslashIsNoEscape) {
  // 0x81 0x5C is one character; as bytes its second half is a backslash that
  // would swallow the closing quote.
  std::string text = "{\"k\":\"\x81\x5C\",\"n\":1}";
  JsonDocument document;
  ASSERT_TRUE(document.Parse(text));
  EXPECT_EQ(document.GetText("k"), "\x81\x5C");
  EXPECT_EQ(document.ToText(), text);
}

TEST(JsonParse, ParseReplacesThePreviousTree) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("{\"a\":1}"));
  ASSERT_TRUE(document.Parse("[2]"));
  EXPECT_EQ(document.ToText(), "[2]");
  EXPECT_EQ(document.GetText("a"), "");
}

}  // namespace
