#include "script_value.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ScriptValueTest, SmallValuesRoundTripWithoutTheTable) {
  EXPECT_EQ(LoadValue(StoreValue(ScriptValue::Int(-5))).ToInt(), -5);
  EXPECT_EQ(LoadValue(StoreValue(ScriptValue::Int(INT32_MIN))).ToInt(), INT32_MIN);
  EXPECT_EQ(LoadValue(StoreValue(ScriptValue::Bool(true))).ToText(), L"true");
  EXPECT_EQ(LoadValue(StoreValue(ScriptValue::Null())).ToText(), L"null");
  EXPECT_EQ(LoadValue(StoreValue(ScriptValue::Undefined())).ToText(), L"undefined");
  // Distinct values get distinct numbers.
  EXPECT_NE(StoreValue(ScriptValue::Bool(false)), StoreValue(ScriptValue::Int(0)));
  EXPECT_NE(StoreValue(ScriptValue::Undefined()), StoreValue(ScriptValue::Null()));
}

TEST(ScriptValueTest, UnknownNumbersReadAsUndefined) {
  EXPECT_EQ(LoadValue(0).kind, ScriptValue::Kind::kUndefined);
  EXPECT_EQ(LoadValue(0x7fffffff00000001LL).kind, ScriptValue::Kind::kUndefined);
}

TEST(ScriptValueTest, EvictedStringsReadAsUndefinedNotAsANewerValue) {
  jsValue first = StoreValue(ScriptValue::String(L"first"));
  EXPECT_EQ(LoadValue(first).ToText(), L"first");
  for (size_t i = 0; i < kValueTableCapacity; ++i) StoreValue(ScriptValue::String(L"filler"));
  EXPECT_EQ(LoadValue(first).kind, ScriptValue::Kind::kUndefined);
}

TEST(ScriptValueTest, ToIntFollowsTheScriptConversion) {
  EXPECT_EQ(ScriptValue::String(L" 42 ").ToInt(), 42);
  EXPECT_EQ(ScriptValue::String(L"0x1f").ToInt(), 31);
  EXPECT_EQ(ScriptValue::String(L"12abc").ToInt(), 0);
  EXPECT_EQ(ScriptValue::String(L"").ToInt(), 0);
  EXPECT_EQ(ScriptValue::Number(-3.9).ToInt(), -3);
  EXPECT_EQ(ScriptValue::Number(4294967297.0).ToInt(), 1);
  EXPECT_EQ(ScriptValue::Number(2147483648.0).ToInt(), INT32_MIN);
  EXPECT_EQ(ScriptValue::Number(NAN).ToInt(), 0);
  EXPECT_EQ(ScriptValue::Bool(true).ToInt(), 1);
  EXPECT_EQ(ScriptValue::Object("{\"a\":1}").ToInt(), 0);
}

TEST(ScriptValueTest, ToTextPrintsNumbersLikeTheScript) {
  EXPECT_EQ(ScriptValue::Number(1.5).ToText(), L"1.5");
  EXPECT_EQ(ScriptValue::Number(0.1).ToText(), L"0.1");
  EXPECT_EQ(ScriptValue::Number(1e21).ToText(), L"1e+21");
  EXPECT_EQ(ScriptValue::Int(140).ToText(), L"140");
  EXPECT_EQ(ScriptValue::Number(1e20).ToText(), L"100000000000000000000");
  EXPECT_EQ(ScriptValue::Number(-4294967296.0).ToText(), L"-4294967296");
  EXPECT_EQ(ScriptValue::Number(NAN).ToText(), L"NaN");
  EXPECT_EQ(ScriptValue::Number(-INFINITY).ToText(), L"-Infinity");
  EXPECT_EQ(ScriptValue::Number(3.0).kind, ScriptValue::Kind::kInt);
  EXPECT_EQ(ScriptValue::Object("{\"a\":1}").ToText(), L"[object Object]");
}

TEST(ScriptValueTest, LiteralsEvaluateBackToTheValue) {
  EXPECT_EQ(ScriptValue::String(L"a\"b\\c\n\x4e2d").ToLiteral(), "\"a\\\"b\\\\c\\n\xe4\xb8\xad\"");
  EXPECT_EQ(ScriptValue::Int(-7).ToLiteral(), "-7");
  EXPECT_EQ(ScriptValue::Number(NAN).ToLiteral(), "(NaN)");
  EXPECT_EQ(ScriptValue::Undefined().ToLiteral(), "undefined");
  EXPECT_EQ(ScriptValue::Object("[1,2]").ToLiteral(), "([1,2])");
  // Broken object text never becomes script source.
  EXPECT_EQ(ScriptValue::Object("1);alert(2").ToLiteral(), "undefined");
}

TEST(ScriptValueTest, RemoteObjectsOfEveryType) {
  EXPECT_EQ(ScriptValue::FromRemoteObject({{"type", "number"}, {"value", 42}}).ToInt(), 42);
  EXPECT_EQ(ScriptValue::FromRemoteObject({{"type", "number"}, {"unserializableValue", "-0"}}).kind,
            ScriptValue::Kind::kNumber);
  EXPECT_EQ(ScriptValue::FromRemoteObject({{"type", "string"}, {"value", "\xe4\xbd\xa0"}}).text,
            L"\x4f60");
  EXPECT_EQ(ScriptValue::FromRemoteObject({{"type", "object"}, {"subtype", "null"}}).kind,
            ScriptValue::Kind::kNull);
  EXPECT_EQ(ScriptValue::FromRemoteObject({{"type", "object"}, {"value", {{"k", 1}}}}).json,
            "{\"k\":1}");
  EXPECT_EQ(ScriptValue::FromRemoteObject({{"type", "undefined"}}).kind,
            ScriptValue::Kind::kUndefined);
  EXPECT_EQ(ScriptValue::FromRemoteObject(Json()).kind, ScriptValue::Kind::kUndefined);
}

}  // namespace
