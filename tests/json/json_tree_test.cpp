// Whole-tree behaviour: copies, moves, very deep and very wide documents.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>

#include "tests/json/json_test_util.h"

namespace {

constexpr int kDeep = 100000;

std::string Nested(int depth, const std::string& open, const std::string& inner,
                   const std::string& close) {
  std::string text;
  text.reserve(depth * (open.size() + close.size()) + inner.size());
  for (int i = 0; i < depth; ++i) text += open;
  text += inner;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(JsonTree, NewDocumentIsAnEmptyObject) {
  JsonDocument document;
  EXPECT_TRUE(document.HasRoot());
  EXPECT_EQ(document.GetType(""), JsonType::kObject);
  EXPECT_EQ(document.ToText(), "{}");
}

TEST(JsonTree, CreateDropsTheTree) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse("[1,2]"));
  document.Create();
  EXPECT_EQ(document.ToText(), "{}");
}

TEST(JsonTree, CopyIsDeep) {
  JsonDocument original;
  ASSERT_TRUE(original.Parse(Ansi(R"({"a":{"b":[1,"二"]},"c":true})")));
  JsonDocument copy(original);
  ASSERT_TRUE(copy.SetText("a.b[0]", "changed"));
  EXPECT_EQ(original.ToText(), Ansi(R"({"a":{"b":[1,"二"]},"c":true})"));
  EXPECT_EQ(copy.ToText(), Ansi(R"({"a":{"b":["changed","二"]},"c":true})"));

  JsonDocument assigned;
  assigned = original;
  original.Create();  // the copy must not share anything with its source
  EXPECT_EQ(assigned.GetText("a.b[1]"), Ansi("二"));
  const JsonDocument& same = assigned;
  assigned = same;  // self-assignment keeps the tree
  EXPECT_EQ(assigned.GetText("c"), "true");
}

TEST(JsonTree, CopyOfAWideObjectKeepsItsIndex) {
  JsonDocument original;
  std::string text = "{";
  for (int i = 0; i < 300; ++i) text += "\"m" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += "}";
  ASSERT_TRUE(original.Parse(text));
  JsonDocument copy = original;
  EXPECT_EQ(copy.GetText("m299"), "299");
  ASSERT_TRUE(copy.SetText("m7", "x"));
  EXPECT_EQ(copy.GetText("m7"), "x");
  EXPECT_EQ(copy.ToText().size(), original.ToText().size() + 2);  // "x" quoted replaces 7
}

TEST(JsonTree, MoveLeavesTheSourceWithoutRoot) {
  JsonDocument source;
  ASSERT_TRUE(source.Parse(R"({"a":1})"));
  JsonDocument target(std::move(source));
  EXPECT_EQ(target.ToText(), R"({"a":1})");
  EXPECT_FALSE(source.HasRoot());  // NOLINT(bugprone-use-after-move): defined state
  EXPECT_EQ(source.ToText(), "");
  EXPECT_EQ(source.GetText("a"), "");
  JsonDocument other;
  other = std::move(target);
  EXPECT_EQ(other.GetText("a"), "1");
  ASSERT_TRUE(source.SetText("b", "2"));  // a moved-from document is usable again
  EXPECT_EQ(source.ToText(), R"({"b":"2"})");
}

TEST(JsonTree, VeryDeepArraysParseCopyWriteAndFree) {
  std::string text = Nested(kDeep, "[", "", "]");
  JsonDocument document;
  int code = 0, position = 0;
  ASSERT_TRUE(document.Parse(text, false, &code, &position)) << code << "@" << position;
  {
    JsonDocument copy(document);
    EXPECT_EQ(copy.ToText(), text);
    JsonDocument sub = copy.GetDocument("[0][0][0]");
    EXPECT_EQ(sub.ToText().size(), text.size() - 6);
  }
  EXPECT_EQ(document.ToText("", true), text);  // arrays stay on one line
}

TEST(JsonTree, VeryDeepObjectsParseCopyWriteAndFree) {
  std::string text = Nested(kDeep, "{\"a\":", "1", "}");
  JsonDocument document;
  ASSERT_TRUE(document.Parse(text));
  JsonDocument copy = document;
  EXPECT_EQ(copy.ToText(), text);
  std::string path = "a";
  for (int i = 1; i < kDeep; ++i) path += ".a";
  EXPECT_EQ(copy.GetText(path), "1");
}

TEST(JsonTree, VeryDeepUnclosedTextFailsCleanly) {
  int code = 0, position = 0;
  JsonDocument document;
  EXPECT_FALSE(document.Parse(std::string(kDeep, '['), false, &code, &position));
  EXPECT_EQ(code, kJsonOpenContainer);
  EXPECT_EQ(position, kDeep);
}

TEST(JsonTree, WideObjectParsesInLinearTime) {
  // 200000 distinct keys: a linear duplicate check per member would take
  // minutes; with the index it is a fraction of a second.
  std::string text = "{";
  for (int i = 0; i < 200000; ++i)
    text += "\"key" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += "}";
  auto start = std::chrono::steady_clock::now();
  JsonDocument document;
  ASSERT_TRUE(document.Parse(text));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 10);
  EXPECT_EQ(document.GetText("key123456"), "123456");
  EXPECT_EQ(document.ToText(), text.substr(0, text.size() - 2) + "}");
}

}  // namespace
