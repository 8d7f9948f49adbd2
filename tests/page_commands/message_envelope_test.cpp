#include "page/message_envelope.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadEnvelopeTest, ReadsTheFiveMembers) {
  MessageEnvelope message;
  ASSERT_TRUE(ReadEnvelope(
      R"({"c":"sale","a":"item","uid":"7","notme":true,"data":{"name":"苹果","qty":2}})",
      &message));
  EXPECT_EQ(message.c, "sale");
  EXPECT_EQ(message.a, "item");
  EXPECT_EQ(message.uid, "7");
  EXPECT_TRUE(message.notme);
  EXPECT_EQ(message.data.GetText("name"), "苹果");
  EXPECT_EQ(message.data.GetInt64("qty"), 2);
}

TEST(ReadEnvelopeTest, MissingMembersReadAsEmpty) {
  MessageEnvelope message;
  ASSERT_TRUE(ReadEnvelope(R"({"x":1})", &message));
  EXPECT_EQ(message.c, "");
  EXPECT_FALSE(message.notme);
  EXPECT_EQ(message.data.GetText("anything"), "");
  EXPECT_EQ(message.data.GetInt64("show"), 0);
}

TEST(ReadEnvelopeTest, EmptyAndNonJsonAreRejected) {
  MessageEnvelope message;
  EXPECT_FALSE(ReadEnvelope("", &message));
  EXPECT_FALSE(ReadEnvelope("hello", &message));
  EXPECT_FALSE(ReadEnvelope(R"({"c":"sys")", &message));
}

TEST(ReadEnvelopeTest, TextThatWouldBreakOutOfTheScriptCallIsRejected) {
  // Server messages are run as clientJS2(<text>): anything after the object
  // would run as script in the page.
  MessageEnvelope message;
  EXPECT_FALSE(ReadEnvelope(R"({"a":1});alert(1);({"b":2})", &message));
  EXPECT_FALSE(ReadEnvelope(R"({a});alert(1);({b:1})", &message));
  EXPECT_FALSE(ReadEnvelope(R"({"a":1}//)", &message));
}

TEST(ReadEnvelopeTest, TheUtf8MarkerConvertsAndItsAbsenceMeansCodePage936) {
  const std::string utf8_zhong = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文 in UTF-8
  MessageEnvelope marked;
  ASSERT_TRUE(ReadEnvelope(
      "{\"c\":\"x\",\"char\":\"utf-8\",\"data\":{\"t\":\"" + utf8_zhong + "\"}}", &marked));
  EXPECT_EQ(marked.data.GetText("t"), "\xD6\xD0\xCE\xC4");  // 中文 in code page 936
  MessageEnvelope unmarked;
  ASSERT_TRUE(ReadEnvelope("{\"c\":\"x\",\"data\":{\"t\":\"" + utf8_zhong + "\"}}", &unmarked));
  EXPECT_NE(unmarked.data.GetText("t"), "\xD6\xD0\xCE\xC4");
  // The marker must match exactly, letter case included.
  MessageEnvelope other_case;
  ASSERT_TRUE(
      ReadEnvelope("{\"char\":\"UTF-8\",\"data\":{\"t\":\"" + utf8_zhong + "\"}}", &other_case));
  EXPECT_NE(other_case.data.GetText("t"), "\xD6\xD0\xCE\xC4");
}

}  // namespace
