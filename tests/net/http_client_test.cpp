#include "net/http_client.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/net/curl_environment.h"
#include "tests/net/loopback_http_server.h"

namespace {

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return text;
}

TEST(GrowableBuffer, StartsWithAZeroFilledBlockOf512Bytes) {
  GrowableBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  EXPECT_EQ(buffer.capacity(), 512u);
  EXPECT_EQ(buffer.size(), 0u);
  for (size_t i = 0; i < buffer.capacity(); ++i) ASSERT_EQ(buffer.data()[i], '\0');
}

TEST(GrowableBuffer, GrowsToTwiceTheNeededSizeAndKeepsItsContent) {
  GrowableBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  std::string first = Pattern(500);
  ASSERT_TRUE(buffer.Append(first.data(), first.size()));
  EXPECT_EQ(buffer.capacity(), 512u);
  ASSERT_TRUE(buffer.Append("0123456789AB", 12));
  EXPECT_EQ(buffer.capacity(), 512u);  // exactly full
  ASSERT_TRUE(buffer.Append("x", 1));
  EXPECT_EQ(buffer.capacity(), 2u * 513u);
  ASSERT_TRUE(buffer.Append("yz", 2));
  EXPECT_EQ(buffer.capacity(), 1026u);
  EXPECT_EQ(buffer.Bytes(), first + "0123456789ABxyz");
  // The rest of the new block is zero-filled.
  EXPECT_EQ(buffer.data()[buffer.size()], '\0');
}

TEST(GrowableBuffer, KeepsNulBytes) {
  GrowableBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  ASSERT_TRUE(buffer.Append("a\0b", 3));
  EXPECT_EQ(buffer.Bytes(), std::string("a\0b", 3));
}

TEST(GrowableBuffer, RefusesAChunkWhoseSizeWouldOverflow) {
  GrowableBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  ASSERT_TRUE(buffer.Append("abc", 3));
  const char byte = 'z';
  EXPECT_FALSE(buffer.Append(&byte, std::numeric_limits<size_t>::max() - 1));
  EXPECT_FALSE(buffer.Append(&byte, std::numeric_limits<size_t>::max() / 2));
  EXPECT_EQ(buffer.Bytes(), "abc");
  ASSERT_TRUE(buffer.Append("d", 1));
  EXPECT_EQ(buffer.Bytes(), "abcd");
}

#ifdef _WIN32
TEST(GrowableBuffer, DropsAChunkTheHeapCannotHoldAndGoesOn) {
  GrowableBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  ASSERT_TRUE(buffer.Append("abc", 3));
  // Passes the overflow guard, but the block it needs is about the whole
  // address space: no heap gives it, in a 32-bit process or a 64-bit one.
  // (A size only a 32-bit heap refuses would be granted on 64-bit, and the
  // append would then read far past the one byte given.)
  const char byte = 'z';
  const size_t huge = std::numeric_limits<size_t>::max() / 2 - 3;
  EXPECT_FALSE(buffer.Append(&byte, huge));
  EXPECT_EQ(buffer.Bytes(), "abc");
  EXPECT_EQ(buffer.capacity(), 512u);
}
#endif

TEST(GrowableBuffer, AppendsWithoutAnInitialBlock) {
  GrowableBuffer buffer;
  ASSERT_TRUE(buffer.Append("abc", 3));
  EXPECT_EQ(buffer.Bytes(), "abc");
  buffer.Free();
  EXPECT_EQ(buffer.Bytes(), "");
}

class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start()); }

  CannedResponse Answer(const RecordedRequest& request) {
    CannedResponse response;
    if (request.target == "/empty") return response;
    if (request.target == "/moved") {
      response.status = 302;
      response.headers = {"Location: /target", "X-Hop: first"};
      return response;
    }
    if (request.target == "/target") response.headers = {"X-Hop: second"};
    response.body = request.target == "/big" ? Pattern(300000) : "hello";
    return response;
  }

  LoopbackHttpServer server_{[this](const RecordedRequest& r) { return Answer(r); }};
};

TEST_F(HttpClientTest, FetchesABody) {
  HttpClient client;
  ASSERT_TRUE(client.initialised());
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/hello"), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  EXPECT_EQ(client.GetResponseCode(), 200);
  EXPECT_EQ(client.GetBody(), "hello");
  EXPECT_EQ(client.GetHeaderText().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(client.GetHeaderText().find("Content-Length: 5\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, ABodyFarLargerThan512BytesArrivesWhole) {
  HttpClient client;
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/big"), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  EXPECT_EQ(client.GetBody(), Pattern(300000));
}

TEST_F(HttpClientTest, AnEmptyResponseGivesAnEmptyBody) {
  HttpClient client;
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/empty"), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  EXPECT_EQ(client.GetResponseCode(), 200);
  EXPECT_EQ(client.GetBody(), "");
}

TEST_F(HttpClientTest, OnlyTheSecondHeaderListIsSent) {
  HttpClient client;
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/h"), CURLE_OK);
  ASSERT_EQ(client.SetHeaders({"X-First: 1", "X-Shared: old"}), CURLE_OK);
  ASSERT_EQ(client.SetHeaders({"X-Second: 2", "X-Shared: new"}), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].HasHeader("X-First"));
  EXPECT_EQ(requests[0].Header("X-Second"), "2");
  EXPECT_EQ(requests[0].Header("X-Shared"), "new");
}

TEST_F(HttpClientTest, WithoutFollowingTheHeaderTextIsThatOfTheRedirectOnly) {
  HttpClient client;
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/moved"), CURLE_OK);
  ASSERT_EQ(client.SetFollowLocation(false), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  EXPECT_EQ(client.GetResponseCode(), 302);
  EXPECT_NE(client.GetHeaderText().find("X-Hop: first\r\n"), std::string::npos);
  EXPECT_EQ(client.GetHeaderText().find("X-Hop: second"), std::string::npos);
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(HttpClientTest, FollowingCollectsTheHeadersOfEveryResponseInOrder) {
  HttpClient client;  // Init turns following on.
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/moved"), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  EXPECT_EQ(client.GetResponseCode(), 200);
  std::string headers = client.GetHeaderText();
  size_t first = headers.find("X-Hop: first\r\n");
  size_t second = headers.find("X-Hop: second\r\n");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
}

TEST_F(HttpClientTest, InitAgainStartsAFreshTransfer) {
  HttpClient client;
  ASSERT_EQ(client.SetUrl(server_.BaseUrl() + "/hello"), CURLE_OK);
  ASSERT_EQ(client.Perform(), CURLE_OK);
  ASSERT_TRUE(client.Init());
  EXPECT_EQ(client.GetBody(), "");
  EXPECT_EQ(client.GetHeaderText(), "");
  EXPECT_EQ(client.GetResponseCode(), 0);
}

TEST_F(HttpClientTest, RefusedConnectionIsReportedByPerform) {
  HttpClient client;
  ASSERT_EQ(
      client.SetUrl("http://127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort()) + "/"),
      CURLE_OK);
  EXPECT_EQ(client.Perform(), CURLE_COULDNT_CONNECT);
  EXPECT_EQ(client.GetResponseCode(), 0);
  EXPECT_EQ(client.GetBody(), "");
}

TEST(HttpClientWithoutLibcurl, EveryOperationFailsWithoutCrashing) {
  SetCurlApiForTest(&MissingCurl());
  {
    HttpClient client;
    EXPECT_FALSE(client.initialised());
    EXPECT_FALSE(client.Init());
    EXPECT_EQ(client.SetUrl("http://127.0.0.1/"), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(client.SetHeaders({"A: b"}), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(client.SetTimeoutsMs(1, 1), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(client.Perform(), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(client.GetResponseCode(), 0);
    EXPECT_EQ(client.GetBody(), "");
    EXPECT_EQ(client.GetHeaderText(), "");
  }
  SetCurlApiForTest(nullptr);
}

}  // namespace
