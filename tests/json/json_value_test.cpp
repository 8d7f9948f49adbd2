// The getters' conversions between node kinds.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/json/json_test_util.h"

namespace {

class JsonValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(document_.Parse(
        R"({"tiny":0.00000001,"small":0.0000002,"neg":-1e-6,"zero":0,"five":+5,"dzero":0.0,)"
        R"("t":true,"f":false,"n":null,"s":"true","s12":"12ab","sneg":"  -7x","sword":"abc",)"
        R"("huge":99999999999999999999,"min":-9223372036854775808,"under":-9223372036854775809,)"
        R"("d":3.99,"dn":-3.99,"big":1e300,"nbig":-1e300,"inf":1e999,"e":2.5e1,)"
        R"("obj":{"x":1},"arr":[1],"shuge":"123456789012345678901"})"));
  }
  JsonDocument document_;
};

TEST_F(JsonValues, GetTextOfEachKind) {
  EXPECT_EQ(document_.GetText("five"), "+5");
  EXPECT_EQ(document_.GetText("e"), "2.5e1");
  EXPECT_EQ(document_.GetText("t"), "true");
  EXPECT_EQ(document_.GetText("f"), "false");
  EXPECT_EQ(document_.GetText("n"), "null");
  EXPECT_EQ(document_.GetText("s"), "true");
  EXPECT_EQ(document_.GetText("obj"), "");
  EXPECT_EQ(document_.GetText("arr"), "");
  EXPECT_EQ(document_.GetText("missing"), "");
}

TEST_F(JsonValues, GetBool) {
  EXPECT_FALSE(document_.GetBool("tiny"));
  EXPECT_TRUE(document_.GetBool("small"));
  EXPECT_TRUE(document_.GetBool("neg"));
  EXPECT_FALSE(document_.GetBool("zero"));
  EXPECT_FALSE(document_.GetBool("dzero"));
  EXPECT_TRUE(document_.GetBool("five"));
  EXPECT_TRUE(document_.GetBool("t"));
  EXPECT_FALSE(document_.GetBool("f"));
  EXPECT_FALSE(document_.GetBool("n"));
  EXPECT_FALSE(document_.GetBool("s"));  // the string "true" is not a bool
  EXPECT_FALSE(document_.GetBool("obj"));
  EXPECT_FALSE(document_.GetBool("missing"));
  EXPECT_TRUE(document_.GetBool("huge"));
}

TEST_F(JsonValues, GetInt64) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(document_.GetInt64("five"), 5);
  EXPECT_EQ(document_.GetInt64("d"), 3);
  EXPECT_EQ(document_.GetInt64("dn"), -3);
  EXPECT_EQ(document_.GetInt64("e"), 25);
  EXPECT_EQ(document_.GetInt64("t"), 1);
  EXPECT_EQ(document_.GetInt64("f"), 0);
  EXPECT_EQ(document_.GetInt64("s12"), 12);
  EXPECT_EQ(document_.GetInt64("sneg"), -7);
  EXPECT_EQ(document_.GetInt64("sword"), 0);
  EXPECT_EQ(document_.GetInt64("s"), 0);
  EXPECT_EQ(document_.GetInt64("n"), 0);
  EXPECT_EQ(document_.GetInt64("obj"), 0);
  EXPECT_EQ(document_.GetInt64("arr"), 0);
  EXPECT_EQ(document_.GetInt64("missing"), 0);
  // Out of range saturates instead of wrapping.
  EXPECT_EQ(document_.GetInt64("huge"), kMax);
  EXPECT_EQ(document_.GetInt64("shuge"), kMax);
  EXPECT_EQ(document_.GetInt64("min"), kMin);
  EXPECT_EQ(document_.GetInt64("under"), kMin);
  EXPECT_EQ(document_.GetInt64("big"), kMax);
  EXPECT_EQ(document_.GetInt64("nbig"), kMin);
  EXPECT_EQ(document_.GetInt64("inf"), kMax);
}

TEST(JsonValue, StringIntegerOfAMessageField) {
  JsonDocument document;
  ASSERT_TRUE(document.Parse(R"({"n":"12ab"})"));
  EXPECT_EQ(document.GetInt64("n"), 12);
}

TEST(JsonValue, NumbersAsStringsAfterSet) {
  JsonDocument document;
  ASSERT_TRUE(document.SetText("port", "5555"));
  EXPECT_EQ(document.GetType("port"), JsonType::kString);
  EXPECT_EQ(document.GetInt64("port"), 5555);
  EXPECT_FALSE(document.GetBool("port"));
}

TEST(JsonSetters, NumbersAndBoolsAreWrittenAsSuch) {
  JsonDocument document;
  ASSERT_TRUE(document.SetInt64("a.pid", -9223372036854775807LL - 1));
  ASSERT_TRUE(document.SetInt64("a.count", 42));
  ASSERT_TRUE(document.SetBool("a.up", true));
  ASSERT_TRUE(document.SetBool("a.down", false));
  ASSERT_TRUE(document.SetText("a.count", "x"));  // a later setter replaces the value
  ASSERT_TRUE(document.SetInt64("a.count", 7));
  EXPECT_EQ(document.ToText(),
            R"({"a":{"pid":-9223372036854775808,"count":7,"up":true,"down":false}})");
  EXPECT_EQ(document.GetType("a.pid"), JsonType::kInt64);
  EXPECT_EQ(document.GetInt64("a.pid"), std::numeric_limits<int64_t>::min());
  EXPECT_TRUE(document.GetBool("a.up"));
  EXPECT_FALSE(document.SetInt64("a]", 1));  // a malformed path
  EXPECT_FALSE(document.SetBool("a]", true));
}

}  // namespace
