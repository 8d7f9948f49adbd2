#pragma once
// Turns the browser's navigation events for the main frame into one
// "loading finished" result per navigation: success, failure with a reason
// (network error, HTTP error status, time-out) or cancellation. A navigation
// replaced by a newer one reports nothing; only the newest one counts.
// Not thread-safe: the reader thread feeds it under the view's lock.
#include <cstdint>
#include <string>

#include "protocol_json.h"

struct LoadResult {
  enum Code { kSucceeded = 0, kFailed = 1, kCanceled = 2 };
  std::string url;
  Code code = kSucceeded;
  std::string reason;  // empty on success
};

class NavigationTracker {
 public:
  explicit NavigationTracker(int64_t timeout_ms) : timeout_ms_(timeout_ms) {}

  void set_main_frame(const std::string& frame_id) { main_frame_ = frame_id; }
  void set_timeout(int64_t timeout_ms) { timeout_ms_ = timeout_ms; }
  // The browser is gone: its navigation reports nothing (the page is loaded
  // anew once a browser is back), and the next browser's frame counts.
  void Restart(const std::string& frame_id) {
    active_ = false;
    main_frame_ = frame_id;
  }
  // Feeds one DevTools event; true with *result when a navigation ended.
  bool OnEvent(const std::string& method, const Json& params, int64_t now_ms, LoadResult* result);
  // Our own request to navigate failed before the browser started it.
  bool OnNavigateRefused(const std::string& url, const std::string& error, LoadResult* result);
  // True with a time-out result when the current navigation has run too long.
  bool OnTick(int64_t now_ms, LoadResult* result);
  bool loading() const { return active_; }

  static constexpr const char* kTimeoutReason = "net::ERR_TIMED_OUT";

 private:
  bool Finish(LoadResult::Code code, const std::string& reason, LoadResult* result);
  bool IsMainFrame(const Json& params) const;

  std::string main_frame_;
  int64_t timeout_ms_;
  bool active_ = false;
  std::string loader_id_;
  std::string url_;
  int64_t started_ms_ = 0;
  int http_status_ = 0;
};
