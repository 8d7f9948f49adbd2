// How a main-frame document request is classed from the events before it.
#include "navigation_policy.h"

#include <gtest/gtest.h>

namespace {

Json Request(const std::string& frame, const std::string& network, const std::string& method) {
  return {{"frameId", frame},
          {"networkId", network},
          {"resourceType", "Document"},
          {"request", {{"url", "http://127.0.0.1/x"}, {"method", method}}}};
}

class NavigationPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override { policy_.set_main_frame("main"); }
  int Classify(const Json& request) {
    int type = -1;
    EXPECT_TRUE(policy_.Classify(request, &type));
    return type;
  }
  void Requested(const std::string& reason) {
    policy_.OnEvent("Page.frameRequestedNavigation", {{"frameId", "main"}, {"reason", reason}});
  }
  void Started(const std::string& type) {
    policy_.OnEvent("Page.frameStartedNavigating", {{"frameId", "main"}, {"navigationType", type}});
  }
  NavigationPolicy policy_;
};

TEST_F(NavigationPolicyTest, ThePagesReasonGivesTheType) {
  Requested("anchorClick");
  Started("differentDocument");
  EXPECT_EQ(Classify(Request("main", "1", "GET")), kNavigationLinkClick);
  Requested("formSubmissionPost");
  Started("differentDocument");
  EXPECT_EQ(Classify(Request("main", "2", "POST")), kNavigationFormSubmit);
  Requested("formSubmissionGet");
  EXPECT_EQ(Classify(Request("main", "3", "GET")), kNavigationFormSubmit);
  Requested("scriptInitiated");
  EXPECT_EQ(Classify(Request("main", "4", "GET")), kNavigationOther);
  // Nothing before it (the program's own load): other.
  EXPECT_EQ(Classify(Request("main", "5", "GET")), kNavigationOther);
}

TEST_F(NavigationPolicyTest, HistoryReloadAndResubmitComeFromHowTheBrowserStarted) {
  Started("historyDifferentDocument");
  EXPECT_EQ(Classify(Request("main", "1", "GET")), kNavigationBackForward);
  Requested("reload");
  Started("reload");
  EXPECT_EQ(Classify(Request("main", "2", "GET")), kNavigationReload);
  Started("reload");
  EXPECT_EQ(Classify(Request("main", "3", "POST")), kNavigationFormResubmit);
}

TEST_F(NavigationPolicyTest, AReasonIsUsedOnceAndARedirectHopIsOther) {
  Requested("anchorClick");
  EXPECT_EQ(Classify(Request("main", "7", "GET")), kNavigationLinkClick);
  // The same request at its next address.
  EXPECT_EQ(Classify(Request("main", "7", "GET")), kNavigationOther);
  EXPECT_EQ(Classify(Request("main", "8", "GET")), kNavigationOther);
}

TEST_F(NavigationPolicyTest, ChildFramesAreNotAskedAbout) {
  Requested("anchorClick");
  policy_.OnEvent("Page.frameRequestedNavigation", {{"frameId", "child"}, {"reason", "reload"}});
  int type = -1;
  EXPECT_FALSE(policy_.Classify(Request("child", "1", "GET"), &type));
  // The child's events did not touch the main frame's pending reason.
  EXPECT_EQ(Classify(Request("main", "2", "GET")), kNavigationLinkClick);
}

}  // namespace
