#pragma once
// Which kind of navigation a main-frame document request is, from the events
// the browser raises before it (the page's own request to navigate, the start
// of the navigation) and the request itself, in the engine's numbering; and
// whether it is a further hop of a navigation already allowed (a redirect).
// Not thread-safe: the reader thread feeds it under the view's lock.
#include <string>

#include "protocol_json.h"

enum NavigationType {
  kNavigationLinkClick = 0,
  kNavigationFormSubmit = 1,
  kNavigationBackForward = 2,
  kNavigationReload = 3,
  kNavigationFormResubmit = 4,
  kNavigationOther = 5,
};

class NavigationPolicy {
 public:
  void set_main_frame(const std::string& frame_id) { main_frame_ = frame_id; }
  // Page.frameRequestedNavigation and Page.frameStartedNavigating.
  void OnEvent(const std::string& method, const Json& params);
  // Fetch.requestPaused of a document: false for a child frame's request,
  // which the host is not asked about; else true with its type.
  bool Classify(const Json& params, int* type);

 private:
  std::string main_frame_;
  std::string reason_;           // the page's own reason for its next navigation
  std::string started_type_;     // how the browser started the next navigation
  std::string current_network_;  // the request of the navigation under way
};
