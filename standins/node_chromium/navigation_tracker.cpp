#include "navigation_tracker.h"

namespace {
// The first HTTP status that counts as a failed page load.
constexpr int kFirstErrorStatus = 400;
}  // namespace

bool NavigationTracker::IsMainFrame(const Json& params) const {
  std::string frame = StringMember(params, "frameId");
  return !frame.empty() && (main_frame_.empty() || frame == main_frame_);
}

bool NavigationTracker::Finish(LoadResult::Code code, const std::string& reason,
                               LoadResult* result) {
  active_ = false;
  result->url = url_;
  result->code = code;
  result->reason = reason;
  return true;
}

bool NavigationTracker::OnEvent(const std::string& method, const Json& params, int64_t now_ms,
                                LoadResult* result) {
  if (method == "Page.frameStartedNavigating") {
    if (!IsMainFrame(params)) return false;
    std::string type = StringMember(params, "navigationType");
    if (type.find("sameDocument") != std::string::npos) return false;
    active_ = true;
    loader_id_ = StringMember(params, "loaderId");
    url_ = StringMember(params, "url");
    started_ms_ = now_ms;
    http_status_ = 0;
    return false;
  }
  if (!active_) return false;
  if (method == "Network.responseReceived") {
    if (StringMember(params, "requestId") != loader_id_) return false;
    http_status_ = static_cast<int>(IntMember(Member(params, "response"), "status"));
    return false;
  }
  if (method == "Network.loadingFailed") {
    if (StringMember(params, "requestId") != loader_id_) return false;
    bool canceled = BoolMember(params, "canceled");
    return Finish(canceled ? LoadResult::kCanceled : LoadResult::kFailed,
                  StringMember(params, "errorText"), result);
  }
  if (method == "Page.lifecycleEvent") {
    if (!IsMainFrame(params) || StringMember(params, "name") != "load" ||
        StringMember(params, "loaderId") != loader_id_) {
      return false;
    }
    if (http_status_ >= kFirstErrorStatus) {
      return Finish(LoadResult::kFailed, "HTTP " + std::to_string(http_status_), result);
    }
    return Finish(LoadResult::kSucceeded, std::string(), result);
  }
  return false;
}

bool NavigationTracker::OnNavigateRefused(const std::string& url, const std::string& error,
                                          LoadResult* result) {
  // A navigation the browser did start reports through its own events.
  if (active_) return false;
  url_ = url;
  return Finish(LoadResult::kFailed, error, result);
}

bool NavigationTracker::OnTick(int64_t now_ms, LoadResult* result) {
  if (!active_ || now_ms - started_ms_ < timeout_ms_) return false;
  return Finish(LoadResult::kFailed, kTimeoutReason, result);
}
