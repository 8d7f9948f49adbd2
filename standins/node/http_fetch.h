#pragma once
// One HTTP request over libcurl, performed on the calling thread. Used from
// request threads for page loads, script sources and XMLHttpRequest, and
// directly on the GUI thread for synchronous XMLHttpRequest.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace node_standin {

struct FetchRequest {
  std::string method = "GET";
  std::string url;                   // absolute, UTF-8
  std::vector<std::string> headers;  // "Name: value"
  bool has_body = false;
  std::string body;
  // Page loads take redirects one hop at a time, so each hop can be asked
  // about; other requests follow them here.
  bool follow_redirects = true;
};

struct FetchResponse {
  bool completed = false;  // an HTTP response arrived (any status)
  long status = 0;
  std::string body;
  std::string final_url;     // after redirects
  std::string redirect_url;  // where a redirect not followed points, absolute
  std::string failure;       // why it did not complete, when it did not
};

// Never throws; a cancel flag that turns true aborts the transfer promptly.
FetchResponse Fetch(const FetchRequest& request, const std::atomic<bool>* cancel);

// The reason text a failed page load reports: transport failures as
// "net::ERR_..." and error statuses as "HTTP <status>"; empty for success.
std::string LoadFailureReason(const FetchResponse& response);

// Total time one request may take (also bounds connecting); for tests.
void SetFetchTimeout(uint32_t milliseconds);

// Largest response body accepted; bigger ones fail instead of filling memory.
constexpr size_t kMaxResponseBytes = 64u * 1024 * 1024;

constexpr char kUserAgent[] =
    "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) lumo-node/1.0";

}  // namespace node_standin
