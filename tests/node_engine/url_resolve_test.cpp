#include "standins/node/url_resolve.h"

#include <gtest/gtest.h>

namespace node_standin {
namespace {

const char kPage[] = "http://127.0.0.1:8080/client/app/lumo/index.html?x=1#top";

TEST(UrlResolve, RelativeForms) {
  EXPECT_EQ(ResolveUrl(kPage, "app.js"), "http://127.0.0.1:8080/client/app/lumo/app.js");
  EXPECT_EQ(ResolveUrl(kPage, "./js/a.js"), "http://127.0.0.1:8080/client/app/lumo/js/a.js");
  EXPECT_EQ(ResolveUrl(kPage, "../b.js"), "http://127.0.0.1:8080/client/app/b.js");
  EXPECT_EQ(ResolveUrl(kPage, "../../../../../c.js"), "http://127.0.0.1:8080/c.js");
  EXPECT_EQ(ResolveUrl(kPage, "/api100.php?fun=port"), "http://127.0.0.1:8080/api100.php?fun=port");
  EXPECT_EQ(ResolveUrl(kPage, "//other:1/x"), "http://other:1/x");
  EXPECT_EQ(ResolveUrl(kPage, "?y=2"), "http://127.0.0.1:8080/client/app/lumo/index.html?y=2");
  EXPECT_EQ(ResolveUrl(kPage, "#b"), "http://127.0.0.1:8080/client/app/lumo/index.html?x=1#b");
  EXPECT_EQ(ResolveUrl(kPage, ""), "http://127.0.0.1:8080/client/app/lumo/index.html?x=1");
  EXPECT_EQ(ResolveUrl(kPage, "sub/"), "http://127.0.0.1:8080/client/app/lumo/sub/");
  EXPECT_EQ(ResolveUrl(kPage, ".."), "http://127.0.0.1:8080/client/app/");
}

TEST(UrlResolve, AbsoluteUrlsStayButLoseDotSegments) {
  EXPECT_EQ(ResolveUrl(kPage, "https://h/a/./b/../c"), "https://h/a/c");
  EXPECT_EQ(ResolveUrl(kPage, "  http://h/x  "), "http://h/x");
  EXPECT_EQ(ResolveUrl(kPage, "about:blank"), "about:blank");
}

TEST(UrlResolve, BaseWithoutPath) {
  EXPECT_EQ(ResolveUrl("http://h:81", "a.js"), "http://h:81/a.js");
  EXPECT_EQ(ResolveUrl("http://h:81", "?q"), "http://h:81?q");
}

TEST(UrlResolve, OriginIsSchemeHostAndPort) {
  EXPECT_EQ(UrlOrigin(kPage), "http://127.0.0.1:8080");
  EXPECT_EQ(UrlOrigin("HTTP://User@Host.Example/x"), "http://host.example");
  EXPECT_EQ(UrlOrigin("about:blank"), "");
  EXPECT_EQ(UrlOrigin("relative/path"), "");
  EXPECT_EQ(UrlOrigin("http:///nohost"), "");
}

TEST(UrlResolve, WebOriginLeavesOutTheDefaultPort) {
  EXPECT_EQ(WebOrigin(kPage), "http://127.0.0.1:8080");
  EXPECT_EQ(WebOrigin("http://127.0.0.1:80/x"), "http://127.0.0.1");
  EXPECT_EQ(WebOrigin("https://Shop.Example:443"), "https://shop.example");
  EXPECT_EQ(WebOrigin("https://shop.example:80/"), "https://shop.example:80");
  EXPECT_EQ(WebOrigin("http://u:p@h:0081/"), "http://h:81");
  EXPECT_EQ(WebOrigin("http://[::1]:8099/a"), "http://[::1]:8099");
  EXPECT_EQ(WebOrigin("http://[::1]/a"), "http://[::1]");
}

TEST(UrlResolve, WebOriginOfOpaqueDocumentsIsNull) {
  EXPECT_EQ(WebOrigin("data:text/html,<p>x</p>"), "null");
  EXPECT_EQ(WebOrigin("about:blank"), "null");
  EXPECT_EQ(WebOrigin("file:///C:/page.html"), "null");
  EXPECT_EQ(WebOrigin("http:///nohost"), "null");
  EXPECT_EQ(WebOrigin("http://h:99999/"), "null");
  EXPECT_EQ(WebOrigin("http://h:8x/"), "null");
  EXPECT_EQ(WebOrigin("javascript:alert(1)"), "null");
}

}  // namespace
}  // namespace node_standin
