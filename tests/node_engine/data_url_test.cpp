// data: URLs as the headless engine reads them.
#include "standins/node/data_url.h"

#include <gtest/gtest.h>

namespace node_standin {
namespace {

TEST(DataUrl, SchemeIsMatchedWithoutCase) {
  EXPECT_TRUE(IsDataUrl("data:,x"));
  EXPECT_TRUE(IsDataUrl("DATA:text/plain,x"));
  EXPECT_FALSE(IsDataUrl("dat:x"));
  EXPECT_FALSE(IsDataUrl("http://127.0.0.1/data:"));
  EXPECT_FALSE(IsDataUrl(""));
}

TEST(DataUrl, Base64PayloadWithParametersDecodes) {
  std::string body;
  // "<b>hi</b>" and a two-byte UTF-8 character, with padding.
  ASSERT_TRUE(DecodeDataUrl("data:text/html;lumo=offline;base64,PGI+aGk8L2I+w6k=", &body));
  EXPECT_EQ(body, "<b>hi</b>\xc3\xa9");
  ASSERT_TRUE(DecodeDataUrl("data:text/html;base64,YWI=", &body));
  EXPECT_EQ(body, "ab");
  ASSERT_TRUE(DecodeDataUrl("data:;base64,YWJj", &body));
  EXPECT_EQ(body, "abc");
}

TEST(DataUrl, PlainPayloadIsPercentDecoded) {
  std::string body;
  ASSERT_TRUE(DecodeDataUrl("data:text/html,%3Ch1%3Ea b%3C/h1%3E%", &body));
  EXPECT_EQ(body, "<h1>a b</h1>%");
}

TEST(DataUrl, BrokenOnesAreRefused) {
  std::string body = "left over";
  EXPECT_FALSE(DecodeDataUrl("data:text/html;base64", &body));  // no comma
  EXPECT_EQ(body, "");
  EXPECT_FALSE(DecodeDataUrl("data:text/html;base64,YW*=", &body));
  EXPECT_FALSE(DecodeDataUrl("http://x/,y", &body));
}

}  // namespace
}  // namespace node_standin
