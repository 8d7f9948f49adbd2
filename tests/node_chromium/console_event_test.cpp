#include "console_event.h"

#include <gtest/gtest.h>

namespace {

Json Frame(const char* name, const char* url, int line, int column) {
  return {{"functionName", name}, {"url", url}, {"lineNumber", line}, {"columnNumber", column}};
}

TEST(ConsoleEventTest, ApiCallLevelsFollowTheType) {
  ConsoleMessage message;
  const std::pair<const char*, int> levels[] = {{"log", 1},    {"warning", 2}, {"error", 3},
                                                {"assert", 3}, {"debug", 4},   {"info", 5}};
  for (const auto& level : levels) {
    ASSERT_TRUE(ConsoleMessageFromApiCall({{"type", level.first}}, &message));
    EXPECT_EQ(message.level, level.second) << level.first;
  }
  EXPECT_FALSE(ConsoleMessageFromApiCall({{"type", "endGroup"}}, &message));
}

TEST(ConsoleEventTest, ArgumentsJoinAndTheTopFrameGivesOneBasedLines) {
  Json params = {
      {"type", "warning"},
      {"args", Json::array({{{"type", "string"}, {"value", "a"}},
                            {{"type", "number"}, {"value", 7}, {"description", "7"}},
                            {{"type", "object"}, {"subtype", "null"}, {"value", nullptr}},
                            {{"type", "undefined"}}})},
      {"stackTrace",
       {{"callFrames",
         Json::array({Frame("f", "http://p/s.js", 2, 4), Frame("", "http://p/", 9, 0)})}}}};
  ConsoleMessage message;
  ASSERT_TRUE(ConsoleMessageFromApiCall(params, &message));
  EXPECT_EQ(message.message, "a 7 null undefined");
  EXPECT_EQ(message.source, "http://p/s.js");
  EXPECT_EQ(message.line, 3u);
  EXPECT_EQ(message.stack, "    at f (http://p/s.js:3:5)\n    at (anonymous) (http://p/:10:1)\n");
}

TEST(ConsoleEventTest, MissingStackLeavesSourceEmptyAndLineZero) {
  ConsoleMessage message;
  ASSERT_TRUE(ConsoleMessageFromApiCall({{"type", "log"}, {"args", 5}}, &message));
  EXPECT_EQ(message.message, "");
  EXPECT_EQ(message.source, "");
  EXPECT_EQ(message.line, 0u);
}

TEST(ConsoleEventTest, ExceptionTakesTheFirstLineOfItsDescription) {
  Json details = {
      {"text", "Uncaught"},
      {"url", "http://p/"},
      {"lineNumber", 5},
      {"exception",
       {{"type", "object"}, {"description", "ReferenceError: x is not defined\n    at f"}}},
      {"stackTrace", {{"callFrames", Json::array({Frame("f", "http://p/", 5, 2)})}}}};
  ConsoleMessage message = ConsoleMessageFromException(details);
  EXPECT_EQ(message.level, 3);
  EXPECT_EQ(message.message, "ReferenceError: x is not defined");
  EXPECT_EQ(message.source, "http://p/");
  EXPECT_EQ(message.line, 6u);
  EXPECT_EQ(message.stack, "    at f (http://p/:6:3)\n");
}

TEST(ConsoleEventTest, ThrownStringIsReportedAsUncaughtText) {
  Json details = {{"text", "Uncaught"},
                  {"lineNumber", 0},
                  {"exception", {{"type", "string"}, {"value", "plain"}}}};
  ConsoleMessage message = ConsoleMessageFromException(details);
  EXPECT_EQ(message.message, "Uncaught plain");
  EXPECT_EQ(message.line, 1u);
}

}  // namespace
