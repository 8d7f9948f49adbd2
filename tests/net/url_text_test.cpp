#include "net/url_text.h"

#include <gtest/gtest.h>

namespace {

TEST(NormalizeUrl, PutsTheSchemeInFrontOfABareHost) {
  EXPECT_EQ(NormalizeUrl("host:8099/api100.php?fun=port&name=tcp"),
            "http://host:8099/api100.php?fun=port&name=tcp");
  EXPECT_EQ(NormalizeUrl("ftp"), "http://ftp/");
}

TEST(NormalizeUrl, AddsAPathWhenThereIsNone) {
  EXPECT_EQ(NormalizeUrl("host:8099"), "http://host:8099/");
  EXPECT_EQ(NormalizeUrl("http://h"), "http://h/");
  EXPECT_EQ(NormalizeUrl("https://secure.example"), "https://secure.example/");
}

TEST(NormalizeUrl, LeavesAUrlWithAPathAlone) {
  EXPECT_EQ(NormalizeUrl("http://h/"), "http://h/");
  EXPECT_EQ(NormalizeUrl("http://h:1/a?b=/c"), "http://h:1/a?b=/c");
  EXPECT_EQ(NormalizeUrl("https://h/x"), "https://h/x");
}

TEST(NormalizeUrl, EmptyTextOnlyGetsTheScheme) { EXPECT_EQ(NormalizeUrl(""), "http://"); }

TEST(TextBetween, FindsTheTextBetweenTwoMarkers) {
  EXPECT_EQ(TextBetween("a[b]c", "[", "]"), "b");
  EXPECT_EQ(TextBetween("a[]c", "[", "]"), "");
}

TEST(TextBetween, IgnoresCaseUnlessAsked) {
  const std::string headers = "HTTP/1.1 302 Found\r\nLOCATION: /x\r\n\r\n";
  EXPECT_EQ(TextBetween(headers, "location:", "\r\n"), " /x");
  EXPECT_EQ(TextBetween(headers, "location:", "\r\n", 1, true), "");
  EXPECT_EQ(TextBetween("aXbxc", "X", "x", 1, true), "b");
}

TEST(TextBetween, MissingStartFollowsTheMode) {
  EXPECT_EQ(TextBetween("abc", "[", "]", 1, false, false, WhenMissing::kEmpty), "");
  EXPECT_EQ(TextBetween("abc", "[", "]", 1, false, false, WhenMissing::kToEnd), "");
  EXPECT_EQ(TextBetween("abc", "[", "]", 1, false, false, WhenMissing::kWholeText), "abc");
}

TEST(TextBetween, MissingEndFollowsTheMode) {
  EXPECT_EQ(TextBetween("a[bc", "[", "]", 1, false, false, WhenMissing::kEmpty), "");
  EXPECT_EQ(TextBetween("a[bc", "[", "]", 1, false, false, WhenMissing::kToEnd), "bc");
  EXPECT_EQ(TextBetween("a[bc", "[", "]", 1, false, false, WhenMissing::kWholeText), "a[bc");
}

TEST(TextBetween, EmptyEndMarkerReadsToTheEnd) { EXPECT_EQ(TextBetween("key: v", ":"), " v"); }

TEST(TextBetween, EmptyStartMarkerReadsFromTheBeginningWhateverThePosition) {
  EXPECT_EQ(TextBetween("a;b;c", "", ";"), "a");
  // The position only moves where the end marker is searched from.
  EXPECT_EQ(TextBetween("a;b;c", "", ";", 3), "a;b");
  EXPECT_EQ(TextBetween("a;b;c", "", ""), "a;b;c");
}

TEST(TextBetween, StartPositionCountsFromOne) {
  EXPECT_EQ(TextBetween("k=1;k=2;", "k=", ";", 1), "1");
  EXPECT_EQ(TextBetween("k=1;k=2;", "k=", ";", 2), "2");
  EXPECT_EQ(TextBetween("k=1;k=2;", "k=", ";", 5), "2");
  EXPECT_EQ(TextBetween("k=1;k=2;", "k=", ";", 6), "");
}

TEST(TextBetween, PositionsOutsideTheTextAreSafe) {
  EXPECT_EQ(TextBetween("k=1;", "k=", ";", 0), "1");
  EXPECT_EQ(TextBetween("k=1;", "k=", ";", -7), "1");
  EXPECT_EQ(TextBetween("k=1;", "k=", ";", 100), "");
  EXPECT_EQ(TextBetween("k=1;", "k=", ";", 100, false, false, WhenMissing::kWholeText), "k=1;");
  EXPECT_EQ(TextBetween("k=1;", "", ";", 100, false, false, WhenMissing::kToEnd), "k=1;");
}

TEST(TextBetween, EndMarkerIsSearchedAfterTheStartMatch) {
  EXPECT_EQ(TextBetween("ab", "a", "a"), "");
  EXPECT_EQ(TextBetween("aba", "a", "a"), "b");
}

TEST(TextBetween, EndFromTheBackTakesTheLastEndMarker) {
  EXPECT_EQ(TextBetween("<a><b>", "<", ">", 1, false, true), "a><b");
  EXPECT_EQ(TextBetween("<a><b>", "<", ">", 1, false, false), "a");
}

TEST(TextBetween, EndFromTheBackBeforeTheStartCountsAsMissing) {
  EXPECT_EQ(TextBetween("x>y<z", "<", ">", 1, false, true), "");
  EXPECT_EQ(TextBetween("x>y<z", "<", ">", 1, false, true, WhenMissing::kToEnd), "z");
  EXPECT_EQ(TextBetween("x>y<z", "<", ">", 1, false, true, WhenMissing::kWholeText), "x>y<z");
  // An end marker overlapping the start match does not count either.
  EXPECT_EQ(TextBetween("ab", "ab", "b", 1, false, true), "");
}

TEST(TextBetween, EmptyTextGivesEmptyInEveryMode) {
  EXPECT_EQ(TextBetween("", "", "", 1, false, false, WhenMissing::kWholeText), "");
}

TEST(TextBetween, KeepsDoubleByteTextIntact) {
  // "中文" in code page 936 between markers.
  EXPECT_EQ(TextBetween("[\xD6\xD0\xCE\xC4]", "[", "]"), "\xD6\xD0\xCE\xC4");
}

TEST(SetCookieList, CollectsEverySetCookieHeaderWithoutCase) {
  const std::string headers =
      "HTTP/1.1 302 Found\r\nset-cookie:  sid=1; Path=/; HttpOnly \r\nLocation: /x\r\n"
      "SET-COOKIE: t=a==\r\n\r\n";
  EXPECT_EQ(SetCookieList(headers), "Set-Cookie: sid=1; Path=/; HttpOnly\r\nSet-Cookie: t=a==");
}

TEST(SetCookieList, HeaderWithoutLineEndGivesAnEmptyLine) {
  EXPECT_EQ(SetCookieList("Set-Cookie: a=1"), "Set-Cookie: ");
  EXPECT_EQ(SetCookieList("Content-Type: text/plain\r\n"), "");
}

TEST(CookiesFromSetCookie, DropsEveryAttribute) {
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: sid=1; Path=/; HttpOnly"), "sid=1");
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: a=1; PATH=/; Domain=x; expires=Wed, 21 Oct 2015 "
                                 "07:28:00 GMT; Max-Age=3; Secure; SIZE=4"),
            "a=1");
}

TEST(CookiesFromSetCookie, DropsCookiesWhoseValueHoldsAnEqualsSign) {
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: t=a=="), "");
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: t=a==; u=2"), "u=2");
}

TEST(CookiesFromSetCookie, JoinsThePairsOfEveryLine) {
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: a=1; b=2\r\nSet-Cookie: c=3;"), "a=1; b=2; c=3");
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: Path=/\r\nSet-Cookie: c=3"), "c=3");
}

TEST(CookiesFromSetCookie, TrimsNamesAndValues) {
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie:   a = 1 ;  ; b=\t2"), "a=1; b=2");
  EXPECT_EQ(CookiesFromSetCookie("Set-Cookie: empty="), "empty=");
}

TEST(CookiesFromSetCookie, LinesWithoutTheMarkerGiveNothing) {
  EXPECT_EQ(CookiesFromSetCookie(""), "");
  EXPECT_EQ(CookiesFromSetCookie("Location: a=1"), "");
}

TEST(MergeCookies, EitherSideEmptyGivesTheOther) {
  EXPECT_EQ(MergeCookies("", "a=1;"), "a=1");
  EXPECT_EQ(MergeCookies(" a=1; ", ""), "a=1");
  EXPECT_EQ(MergeCookies("", ""), "");
}

TEST(MergeCookies, NewerCookiesComeFirstAndWin) {
  EXPECT_EQ(MergeCookies("sid=old; x=1", "sid=new"), "sid=new; x=1");
  EXPECT_EQ(MergeCookies("a=1;", " b=2; "), "b=2; a=1");
}

TEST(MergeCookies, ComparesWholeNames) {
  // A newer "sid" must not hide an older "id".
  EXPECT_EQ(MergeCookies("id=5", "sid=1"), "sid=1; id=5");
  EXPECT_EQ(MergeCookies("sid=5", "id=1"), "id=1; sid=5");
}

TEST(MergeCookies, KeepsTheFirstOfRepeatedOlderNamesAndDropsValuelessItems) {
  EXPECT_EQ(MergeCookies("a=1; a=2; flag", "b=3"), "b=3; a=1");
}

TEST(ResolveLocation, ResolvesTheThreeRelativeForms) {
  const std::string from = "http://h:8099/a/b";
  EXPECT_EQ(ResolveLocation(from, "/login"), "http://h:8099/login");
  EXPECT_EQ(ResolveLocation(from, "next.php"), "http://h:8099/a/next.php");
  EXPECT_EQ(ResolveLocation(from, "//other/x"), "http://other/x");
  EXPECT_EQ(ResolveLocation("https://h/a", "//other/x"), "https://other/x");
}

TEST(ResolveLocation, KeepsAbsoluteLocations) {
  EXPECT_EQ(ResolveLocation("http://h/a", "http://z:1/q"), "http://z:1/q");
  EXPECT_EQ(ResolveLocation("http://h/a", "HTTPS://z/q"), "HTTPS://z/q");
}

TEST(ResolveLocation, WorksFromTheRootAndFromAUrlWithoutPath) {
  EXPECT_EQ(ResolveLocation("http://h:8099/", "x"), "http://h:8099/x");
  EXPECT_EQ(ResolveLocation("http://h", "x"), "http://h/x");
  EXPECT_EQ(ResolveLocation("http://h", "/p"), "http://h/p");
}

TEST(TrimText, TrimsAsciiSpaceOnly) {
  EXPECT_EQ(TrimText(" \t\r\n a b \r\n"), "a b");
  EXPECT_EQ(TrimText("\xA1\xA1"), "\xA1\xA1");  // the ideographic space stays
  EXPECT_EQ(TrimText("   "), "");
}

}  // namespace
