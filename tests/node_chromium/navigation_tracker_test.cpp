#include "navigation_tracker.h"

#include <gtest/gtest.h>

namespace {

const char kMain[] = "MAIN";

Json Started(const char* loader, const char* url, const char* type = "differentDocument",
             const char* frame = kMain) {
  return {{"frameId", frame}, {"loaderId", loader}, {"url", url}, {"navigationType", type}};
}
Json Lifecycle(const char* loader, const char* name, const char* frame = kMain) {
  return {{"frameId", frame}, {"loaderId", loader}, {"name", name}};
}

class NavigationTrackerTest : public ::testing::Test {
 protected:
  NavigationTrackerTest() { tracker_.set_main_frame(kMain); }
  bool Feed(const char* method, const Json& params, int64_t now = 0) {
    return tracker_.OnEvent(method, params, now, &result_);
  }
  NavigationTracker tracker_{1000};
  LoadResult result_;
};

TEST_F(NavigationTrackerTest, LoadEventOfTheNavigationIsSuccess) {
  EXPECT_FALSE(Feed("Page.frameStartedNavigating", Started("L1", "http://a/")));
  EXPECT_FALSE(
      Feed("Network.responseReceived", {{"requestId", "L1"}, {"response", {{"status", 200}}}}));
  EXPECT_FALSE(Feed("Page.lifecycleEvent", Lifecycle("L1", "DOMContentLoaded")));
  ASSERT_TRUE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
  EXPECT_EQ(result_.code, LoadResult::kSucceeded);
  EXPECT_EQ(result_.url, "http://a/");
  EXPECT_EQ(result_.reason, "");
  EXPECT_FALSE(tracker_.loading());
}

TEST_F(NavigationTrackerTest, ErrorStatusMakesTheLoadFail) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/x"));
  Feed("Network.responseReceived", {{"requestId", "L1"}, {"response", {{"status", 503}}}});
  ASSERT_TRUE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
  EXPECT_EQ(result_.code, LoadResult::kFailed);
  EXPECT_EQ(result_.reason, "HTTP 503");
}

TEST_F(NavigationTrackerTest, StatusOfAnotherRequestDoesNotCount) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/"));
  Feed("Network.responseReceived", {{"requestId", "L1"}, {"response", {{"status", 200}}}});
  Feed("Network.responseReceived", {{"requestId", "R7"}, {"response", {{"status", 404}}}});
  ASSERT_TRUE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
  EXPECT_EQ(result_.code, LoadResult::kSucceeded);
}

TEST_F(NavigationTrackerTest, NetworkFailureReportsOnceAndIgnoresTheErrorPage) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/"));
  ASSERT_TRUE(Feed(
      "Network.loadingFailed",
      {{"requestId", "L1"}, {"errorText", "net::ERR_CONNECTION_REFUSED"}, {"canceled", false}}));
  EXPECT_EQ(result_.code, LoadResult::kFailed);
  EXPECT_EQ(result_.reason, "net::ERR_CONNECTION_REFUSED");
  // The browser's error page then loads under the same loader.
  EXPECT_FALSE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
}

TEST_F(NavigationTrackerTest, CanceledDocumentIsCanceled) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/"));
  ASSERT_TRUE(Feed("Network.loadingFailed",
                   {{"requestId", "L1"}, {"errorText", "net::ERR_ABORTED"}, {"canceled", true}}));
  EXPECT_EQ(result_.code, LoadResult::kCanceled);
}

TEST_F(NavigationTrackerTest, ANewerNavigationReplacesTheOlderSilently) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/"));
  Feed("Page.frameStartedNavigating", Started("L2", "http://b/", "reload"));
  EXPECT_FALSE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
  EXPECT_FALSE(Feed("Network.loadingFailed", {{"requestId", "L1"}, {"canceled", true}}));
  ASSERT_TRUE(Feed("Page.lifecycleEvent", Lifecycle("L2", "load")));
  EXPECT_EQ(result_.url, "http://b/");
}

TEST_F(NavigationTrackerTest, SubframesAndSameDocumentNavigationsAreIgnored) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/"));
  EXPECT_FALSE(Feed("Page.frameStartedNavigating",
                    Started("F1", "http://ad/", "differentDocument", "CHILD")));
  EXPECT_FALSE(Feed("Page.frameStartedNavigating", Started("L9", "http://a/#x", "sameDocument")));
  EXPECT_FALSE(Feed("Page.lifecycleEvent", Lifecycle("F1", "load", "CHILD")));
  ASSERT_TRUE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
  EXPECT_EQ(result_.url, "http://a/");
}

TEST_F(NavigationTrackerTest, TimesOutExactlyAtTheLimit) {
  Feed("Page.frameStartedNavigating", Started("L1", "http://slow/"), 5000);
  EXPECT_FALSE(tracker_.OnTick(5999, &result_));
  ASSERT_TRUE(tracker_.OnTick(6000, &result_));
  EXPECT_EQ(result_.code, LoadResult::kFailed);
  EXPECT_EQ(result_.reason, NavigationTracker::kTimeoutReason);
  EXPECT_EQ(result_.url, "http://slow/");
  // Reported once; the late load of the same navigation says nothing more.
  EXPECT_FALSE(tracker_.OnTick(9000, &result_));
  EXPECT_FALSE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
}

TEST_F(NavigationTrackerTest, RefusedNavigateReportsOnlyWhenNothingStarted) {
  ASSERT_TRUE(tracker_.OnNavigateRefused("bad:url", "Cannot navigate to invalid URL", &result_));
  EXPECT_EQ(result_.code, LoadResult::kFailed);
  EXPECT_EQ(result_.url, "bad:url");
  Feed("Page.frameStartedNavigating", Started("L1", "http://a/"));
  EXPECT_FALSE(tracker_.OnNavigateRefused("http://a/", "whatever", &result_));
}

}  // namespace

TEST_F(NavigationTrackerTest, ANavigationOfADeadBrowserEndsSilentlyAndTheNewFrameCounts) {
  ASSERT_FALSE(Feed("Page.frameStartedNavigating", Started("L1", "http://a/")));
  tracker_.Restart("NEW");
  EXPECT_FALSE(tracker_.OnTick(5000, &result_));
  EXPECT_FALSE(Feed("Page.lifecycleEvent", Lifecycle("L1", "load")));
  EXPECT_FALSE(Feed("Page.frameStartedNavigating", Started("L2", "http://a/")));  // old frame
  ASSERT_FALSE(
      Feed("Page.frameStartedNavigating", Started("L3", "http://b/", "differentDocument", "NEW")));
  ASSERT_TRUE(Feed("Page.lifecycleEvent", Lifecycle("L3", "load", "NEW")));
  EXPECT_EQ(result_.url, "http://b/");
  EXPECT_EQ(result_.code, LoadResult::kSucceeded);
}
