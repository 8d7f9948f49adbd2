// Key paths: reading, creating on the way, and sub-documents.
#include <gtest/gtest.h>

#include "tests/json/json_test_util.h"

namespace {

JsonDocument Parsed(const std::string& text) {
  JsonDocument document;
  EXPECT_TRUE(document.Parse(text)) << text;
  return document;
}

TEST(JsonPath, NestedKeysAndIndexes) {
  JsonDocument document = Parsed(R"({"data":{"items":[{"name":"a"},{"name":"b"},{"name":"c"}]}})");
  EXPECT_EQ(document.GetText("data.items[2].name"), "c");
  EXPECT_EQ(document.GetText("data.items[0].name"), "a");
  EXPECT_EQ(document.GetText("data.items[3].name"), "");
  EXPECT_EQ(document.GetText("data.item[0].name"), "");
}

TEST(JsonPath, RootArrayAndIndexChains) {
  JsonDocument document = Parsed("[[1,2],[3,[4,5]]]");
  EXPECT_EQ(document.GetText("[1][1][0]"), "4");
  EXPECT_EQ(document.GetText("[0][1]"), "2");
  EXPECT_EQ(document.GetText(".[0][1]"), "");  // an empty key is not an index
}

TEST(JsonPath, BackslashMakesSpecialCharactersPartOfTheKey) {
  JsonDocument document = Parsed(R"({"a.b":1,"x[1]":2,"back\\slash":3,"a":{"b":4}})");
  EXPECT_EQ(document.GetText("a\\.b"), "1");
  EXPECT_EQ(document.GetText("a.b"), "4");
  EXPECT_EQ(document.GetText("x\\[1\\]"), "2");
  EXPECT_EQ(document.GetText("back\\\\slash"), "3");
}

TEST(JsonPath, EmptyKeys) {
  JsonDocument document = Parsed(R"({"":{"":"deep"},"a":{"":"x"}})");
  EXPECT_EQ(document.GetText("."), "deep");
  EXPECT_EQ(document.GetText("a."), "x");
}

TEST(JsonPath, ChineseKeysAndTrailBytesThatLookLikeBackslash) {
  JsonDocument document = Parsed(Ansi(R"({"顾客":{"名字":"李四"}})"));
  EXPECT_EQ(document.GetText(Ansi("顾客.名字")), Ansi("李四"));
  // The key is one character whose second byte is 0x5C; the path must not
  // read that byte as an escape.
  JsonDocument tricky = Parsed("{\"\x81\x5C\":{\"k\":7}}");
  EXPECT_EQ(tricky.GetText("\x81\x5C.k"), "7");
}

TEST(JsonPath, WrongContainerKindIsMissing) {
  JsonDocument document = Parsed(R"({"o":{"0":1},"a":[1]})");
  EXPECT_EQ(document.GetType("o[0]"), JsonType::kMissing);
  EXPECT_EQ(document.GetType("a.0"), JsonType::kMissing);
  EXPECT_EQ(document.GetType("o.0"), JsonType::kInt64);
  EXPECT_EQ(document.GetType("o.0.x"), JsonType::kMissing);
}

TEST(JsonPath, MalformedPaths) {
  JsonDocument document = Parsed(R"({"a":[1,2]})");
  for (const char* path :
       {"a[", "a[x]", "a[]", "a[1]b", "a]", "a[-1]", "a[99999999999999999999999]"}) {
    EXPECT_EQ(document.GetType(path), JsonType::kMissing) << path;
    EXPECT_FALSE(document.SetText(path, "v")) << path;
  }
  EXPECT_EQ(document.ToText(), R"({"a":[1,2]})");
}

TEST(JsonSet, CreatesTheWholePath) {
  JsonDocument document;
  ASSERT_TRUE(document.SetText("a.b[2].c", "x"));
  EXPECT_EQ(document.ToText(), R"({"a":{"b":[null,null,{"c":"x"}]}})");
}

TEST(JsonSet, ExistingMemberKeepsItsPlace) {
  JsonDocument document = Parsed(R"({"a":{"deep":[1]},"b":2})");
  ASSERT_TRUE(document.SetText("a", Ansi("新")));
  EXPECT_EQ(document.ToText(), Ansi(R"({"a":"新","b":2})"));
}

TEST(JsonSet, ScalarOnTheWayBecomesAContainer) {
  JsonDocument document = Parsed(R"({"a":1,"b":"s"})");
  ASSERT_TRUE(document.SetText("a.x", "1"));
  ASSERT_TRUE(document.SetText("b[1]", "2"));
  EXPECT_EQ(document.ToText(), R"({"a":{"x":"1"},"b":[null,"2"]})");
}

TEST(JsonSet, RootBecomesAStringAndThenAnObjectAgain) {
  JsonDocument document;
  ASSERT_TRUE(document.SetText("", "text"));
  EXPECT_EQ(document.GetType(""), JsonType::kString);
  EXPECT_EQ(document.ToText(), "\"text\"");
  ASSERT_TRUE(document.SetText("k", "v"));
  EXPECT_EQ(document.ToText(), R"({"k":"v"})");
}

TEST(JsonSet, WrongContainerKindFailsWithoutChange) {
  JsonDocument document = Parsed(R"({"o":{"x":1},"a":[1]})");
  EXPECT_FALSE(document.SetText("o[0]", "v"));
  EXPECT_FALSE(document.SetText("a.x", "v"));
  EXPECT_EQ(document.ToText(), R"({"o":{"x":1},"a":[1]})");
}

TEST(JsonSet, IndexFarPastTheEndFails) {
  JsonDocument document;
  EXPECT_FALSE(document.SetText("a[4000000000]", "v"));
  ASSERT_TRUE(document.SetText("b[100]", "v"));
  EXPECT_EQ(document.GetText("b[100]"), "v");
  EXPECT_EQ(document.GetType("b[99]"), JsonType::kNull);
}

TEST(JsonSet, ManyMembersStayFindable) {
  JsonDocument document;
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(document.SetText("k" + std::to_string(i), "v"));
  ASSERT_TRUE(document.SetText("k2500", "changed"));
  EXPECT_EQ(document.GetText("k2500"), "changed");
  EXPECT_EQ(document.GetText("k4999"), "v");
  EXPECT_EQ(document.GetText("k5000"), "");
  EXPECT_EQ(document.ToText().substr(0, 19), R"({"k0":"v","k1":"v",)");
}

TEST(JsonGetDocument, CopiesTheSubtree) {
  JsonDocument document = Parsed(Ansi(R"({"c":"pos","data":{"name":"王五","list":[1,2]}})"));
  JsonDocument data = document.GetDocument("data");
  EXPECT_EQ(data.ToText(), Ansi(R"({"name":"王五","list":[1,2]})"));
  EXPECT_EQ(data.GetText("list[1]"), "2");
  ASSERT_TRUE(data.SetText("name", "x"));
  EXPECT_EQ(document.GetText("data.name"), Ansi("王五"));
}

TEST(JsonGetDocument, MissingMemberIsAddedAsNull) {
  JsonDocument document = Parsed(R"({"c":"pos"})");
  JsonDocument data = document.GetDocument("data");
  EXPECT_TRUE(data.HasRoot());
  EXPECT_EQ(data.GetType(""), JsonType::kNull);
  EXPECT_EQ(data.ToText(), "null");
  EXPECT_EQ(data.GetText("name"), "");
  EXPECT_EQ(document.ToText(), R"({"c":"pos","data":null})");
}

TEST(JsonGetDocument, PathThatCannotBeCreatedGivesNoRoot) {
  JsonDocument document = Parsed(R"({"a":[1]})");
  JsonDocument copy = document.GetDocument("a.b");
  EXPECT_FALSE(copy.HasRoot());
  EXPECT_EQ(copy.ToText(), "");
  EXPECT_EQ(copy.GetText(""), "");
}

}  // namespace
