#include "net/http_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/net/curl_environment.h"
#include "tests/net/loopback_http_server.h"

namespace {

std::string HostPort(const LoopbackHttpServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

CannedResponse Redirect(const std::string& location, std::vector<std::string> more = {}) {
  CannedResponse response;
  response.status = 302;
  if (!location.empty()) more.insert(more.begin(), "Location: " + location);
  response.headers = more;
  return response;
}

CannedResponse Body(const std::string& body, int status = 200) {
  CannedResponse response;
  response.status = status;
  response.body = body;
  return response;
}

// A server whose answer for each path the test chooses.
class HttpRequestTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(other_.Start());
  }

  CannedResponse Answer(const RecordedRequest& request) const {
    const std::string& path = request.target;
    if (path == "/missing") return Body("not here", 404);
    if (path == "/empty") return Body("");
    if (path == "/big") return Body(std::string(1 << 20, 'b') + "end");
    if (path == "/a/b") {
      return Redirect("next.php", {"Set-Cookie: sid=1; Path=/; HttpOnly", "Set-Cookie: t=a=="});
    }
    if (path == "/a/next.php") return Redirect("/login", {"Set-Cookie: lang=zh; Max-Age=60"});
    if (path == "/login") return Redirect("//" + HostPort(other_) + "/x");
    if (path == "/nowhere") return Redirect("");
    if (path == "/loop") return Redirect("/loop");
    if (path == "/absolute") return Redirect(other_.BaseUrl() + "/x");
    if (path == "/renew") return Redirect("/renewed", {"Set-Cookie: sid=2"});
    return Body("body of " + path);
  }

  LoopbackHttpServer server_{[this](const RecordedRequest& r) { return Answer(r); }};
  LoopbackHttpServer other_{[this](const RecordedRequest& r) { return Answer(r); }};
};

TEST_F(HttpRequestTest, SendsExactlyTheFixedHeadersBesidesLibcurlsOwn) {
  int status = 0;
  EXPECT_EQ(HttpRequest(server_.BaseUrl() + "/plain", "", false, &status), "body of /plain");
  EXPECT_EQ(status, 200);
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const RecordedRequest& request = requests[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.Header("User-Agent"), kHttpUserAgent);
  EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(request.Header("Pragma"), "no-cache");
  std::set<std::string> names;
  std::vector<std::string> order;
  for (const auto& header : request.headers) {
    std::string name = header.first;
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    names.insert(name);
    order.push_back(name);
  }
  // Host and Accept are libcurl's own.
  EXPECT_EQ(names,
            (std::set<std::string>{"host", "user-agent", "accept", "cache-control", "pragma"}));
  EXPECT_LT(std::find(order.begin(), order.end(), "cache-control"),
            std::find(order.begin(), order.end(), "pragma"));
}

TEST_F(HttpRequestTest, RequestsABareHostPortAsHttp) {
  EXPECT_EQ(HttpRequest(HostPort(server_) + "/api100.php?fun=port&name=tcp"),
            "body of /api100.php?fun=port&name=tcp");
  EXPECT_EQ(HttpRequest(HostPort(server_)), "body of /");
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "/api100.php?fun=port&name=tcp");
  EXPECT_EQ(requests[1].target, "/");
  EXPECT_EQ(requests[1].Header("Host"), HostPort(server_));
}

TEST_F(HttpRequestTest, SendsTrimmedRequestCookies) {
  HttpRequest(server_.BaseUrl() + "/c", "  a=1; b=2 \r\n");
  HttpRequest(server_.BaseUrl() + "/c", "   ");
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("Cookie"), "a=1; b=2");
  EXPECT_FALSE(requests[1].HasHeader("Cookie"));
}

TEST_F(HttpRequestTest, NotFoundGivesAnEmptyBodyAndItsStatus) {
  int status = 0;
  EXPECT_EQ(HttpRequest(server_.BaseUrl() + "/missing", "", false, &status), "");
  EXPECT_EQ(status, 404);
}

TEST_F(HttpRequestTest, AnEmptyBodyWithSuccessIsStillEmpty) {
  int status = 0;
  EXPECT_EQ(HttpRequest(server_.BaseUrl() + "/empty", "", false, &status), "");
  EXPECT_EQ(status, 200);
}

TEST_F(HttpRequestTest, ABodyFarLargerThan512BytesArrivesWhole) {
  EXPECT_EQ(HttpRequest(server_.BaseUrl() + "/big"), std::string(1 << 20, 'b') + "end");
}

TEST_F(HttpRequestTest, RefusedConnectionGivesAnEmptyBodyAndLeavesTheStatus) {
  std::string url = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort()) + "/";
  int status = 0;
  EXPECT_EQ(HttpRequest(url, "", false, &status), "");
  EXPECT_EQ(status, 0);
  int preset = -5;
  std::string headers = "untouched";
  std::string merged = "untouched";
  EXPECT_EQ(HttpRequest(url, "a=1", true, &preset, &headers, &merged), "");
  EXPECT_EQ(preset, -5);
  EXPECT_EQ(headers, "untouched");
  EXPECT_EQ(merged, "untouched");
  status = 0;
  EXPECT_EQ(HttpRequestWithRedirects(url, &status), "");
  EXPECT_EQ(status, 0);
}

TEST_F(HttpRequestTest, WantCookiesGivesTheHeadersAndTheMergedCookies) {
  int status = 0;
  std::string headers;
  std::string merged;
  EXPECT_EQ(
      HttpRequest(server_.BaseUrl() + "/a/b", "old=1; sid=0", true, &status, &headers, &merged),
      "");
  EXPECT_EQ(status, 302);
  EXPECT_EQ(headers.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
  EXPECT_NE(headers.find("Location: next.php\r\n"), std::string::npos);
  EXPECT_EQ(merged, "sid=1; old=1");
}

TEST_F(HttpRequestTest, FollowsTheThreeRelativeFormsAndCarriesCookies) {
  int status = 0;
  EXPECT_EQ(HttpRequestWithRedirects(server_.BaseUrl() + "/a/b", &status), "body of /x");
  EXPECT_EQ(status, 200);
  auto hops = server_.Requests();
  ASSERT_EQ(hops.size(), 3u);
  EXPECT_EQ(hops[0].target, "/a/b");
  EXPECT_FALSE(hops[0].HasHeader("Cookie"));
  EXPECT_EQ(hops[1].target, "/a/next.php");
  // Only sid=1: its attributes and t=a== are never carried.
  EXPECT_EQ(hops[1].Header("Cookie"), "sid=1");
  EXPECT_EQ(hops[2].target, "/login");
  EXPECT_EQ(hops[2].Header("Cookie"), "lang=zh; sid=1");
  auto last = other_.Requests();
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].target, "/x");
  EXPECT_EQ(last[0].Header("Cookie"), "lang=zh; sid=1");
  for (const auto& hop : hops) {
    EXPECT_EQ(hop.Header("Pragma"), "no-cache");
    EXPECT_EQ(hop.Header("User-Agent"), kHttpUserAgent);
  }
}

TEST_F(HttpRequestTest, FollowsAnAbsoluteLocation) {
  int status = 0;
  EXPECT_EQ(HttpRequestWithRedirects(server_.BaseUrl() + "/absolute", &status), "body of /x");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(other_.Requests().size(), 1u);
}

TEST_F(HttpRequestTest, ANewerCookieReplacesTheOlderOneOnTheNextHop) {
  int status = 0;
  HttpRequestWithRedirects(server_.BaseUrl() + "/renew", &status);
  auto hops = server_.Requests();
  ASSERT_EQ(hops.size(), 2u);
  EXPECT_EQ(hops[1].target, "/renewed");
  EXPECT_EQ(hops[1].Header("Cookie"), "sid=2");
}

TEST_F(HttpRequestTest, ARedirectWithoutLocationEndsTheChain) {
  int status = 0;
  EXPECT_EQ(HttpRequestWithRedirects(server_.BaseUrl() + "/nowhere", &status), "");
  EXPECT_EQ(status, 302);
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(HttpRequestTest, ARedirectLoopEndsWithAnEmptyBody) {
  int status = 0;
  EXPECT_EQ(HttpRequestWithRedirects(server_.BaseUrl() + "/loop", &status), "");
  EXPECT_EQ(status, 302);
  EXPECT_EQ(server_.Requests().size(), static_cast<size_t>(kMaxRedirectHops) + 1);
}

TEST_F(HttpRequestTest, WithRedirectsAnErrorStatusGivesAnEmptyBody) {
  int status = 0;
  EXPECT_EQ(HttpRequestWithRedirects(HostPort(server_) + "/missing", &status), "");
  EXPECT_EQ(status, 404);
}

TEST_F(HttpRequestTest, WithoutLibcurlEveryRequestFailsQuietly) {
  SetCurlApiForTest(&MissingCurl());
  int status = 0;
  EXPECT_EQ(HttpRequest(server_.BaseUrl() + "/plain", "", false, &status), "");
  EXPECT_EQ(HttpRequestWithRedirects(server_.BaseUrl() + "/plain", &status), "");
  SetCurlApiForTest(nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
