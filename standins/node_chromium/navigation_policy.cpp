#include "navigation_policy.h"

void NavigationPolicy::OnEvent(const std::string& method, const Json& params) {
  if (StringMember(params, "frameId") != main_frame_) return;
  if (method == "Page.frameRequestedNavigation") {
    reason_ = StringMember(params, "reason");
  } else if (method == "Page.frameStartedNavigating") {
    started_type_ = StringMember(params, "navigationType");
  }
}

bool NavigationPolicy::Classify(const Json& params, int* type) {
  if (StringMember(params, "frameId") != main_frame_) return false;
  std::string network = StringMember(params, "networkId");
  if (network.empty()) network = StringMember(params, "requestId");
  bool post = StringMember(Member(params, "request"), "method") == "POST";
  if (!current_network_.empty() && network == current_network_) {
    // The same request again, at another address: a redirect hop.
    *type = kNavigationOther;
    return true;
  }
  current_network_ = network;
  if (started_type_ == "historyDifferentDocument" || started_type_ == "historySameDocument") {
    *type = kNavigationBackForward;
  } else if (started_type_ == "reload" || started_type_ == "reloadBypassingCache" ||
             reason_ == "reload") {
    *type = post ? kNavigationFormResubmit : kNavigationReload;
  } else if (started_type_ == "restoreWithPost") {
    *type = kNavigationFormResubmit;
  } else if (reason_ == "anchorClick") {
    *type = kNavigationLinkClick;
  } else if (reason_ == "formSubmissionGet" || reason_ == "formSubmissionPost") {
    *type = kNavigationFormSubmit;
  } else {
    *type = kNavigationOther;
  }
  reason_.clear();
  started_type_.clear();
  return true;
}
