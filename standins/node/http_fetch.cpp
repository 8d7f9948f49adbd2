#include "standins/node/http_fetch.h"

#include "standins/node/curl_api.h"
#include "standins/node/data_url.h"
#include "util/scoped_handle.h"

namespace node_standin {
namespace {

std::atomic<uint32_t> g_timeout_ms{30000};
constexpr uint32_t kMaxConnectMs = 10000;

struct CurlEasyTraits {
  using Handle = CURL*;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { Curl()->easy_cleanup(h); }
};
using ScopedCurl = ScopedHandle<CurlEasyTraits>;

struct CurlListTraits {
  using Handle = curl_slist*;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { Curl()->slist_free_all(h); }
};
using ScopedCurlList = ScopedHandle<CurlListTraits>;

struct Transfer {
  std::string* body;
  bool too_large = false;
  const std::atomic<bool>* cancel;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  size_t bytes = size * count;
  if (transfer->body->size() + bytes > kMaxResponseBytes) {
    transfer->too_large = true;
    return 0;  // makes curl stop with a write error
  }
  transfer->body->append(data, bytes);
  return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  return transfer->cancel != nullptr && transfer->cancel->load() ? 1 : 0;
}

std::string TransportFailure(CURLcode code, const Transfer& transfer) {
  switch (code) {
    case CURLE_COULDNT_CONNECT:
      return "net::ERR_CONNECTION_REFUSED";
    case CURLE_OPERATION_TIMEDOUT:
      return "net::ERR_TIMED_OUT";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "net::ERR_NAME_NOT_RESOLVED";
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return "net::ERR_INVALID_URL";
    case CURLE_ABORTED_BY_CALLBACK:
      return "net::ERR_ABORTED";
    case CURLE_GOT_NOTHING:
      return "net::ERR_EMPTY_RESPONSE";
    default:
      if (transfer.too_large) return "net::ERR_RESPONSE_TOO_LARGE";
      return std::string("net::ERR_FAILED (") + Curl()->easy_strerror(code) + ")";
  }
}

void SetOptions(CURL* curl, const FetchRequest& request, curl_slist* headers, Transfer* transfer) {
  const CurlApi& api = *Curl();
  uint32_t timeout = g_timeout_ms;
  api.easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  api.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.follow_redirects ? 1L : 0L);
  api.easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  api.easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout));
  api.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                  static_cast<long>(timeout < kMaxConnectMs ? timeout : kMaxConnectMs));
  api.easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  api.easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnData);
  api.easy_setopt(curl, CURLOPT_WRITEDATA, transfer);
  api.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  api.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  api.easy_setopt(curl, CURLOPT_XFERINFODATA, transfer);
  if (headers != nullptr) api.easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  if (request.method == "POST" || request.has_body) {
    api.easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    api.easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  }
  if (request.method == "HEAD") api.easy_setopt(curl, CURLOPT_NOBODY, 1L);
  if (request.method != "GET" && request.method != "POST" && request.method != "HEAD") {
    api.easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
}

}  // namespace

void SetFetchTimeout(uint32_t milliseconds) { g_timeout_ms = milliseconds == 0 ? 1 : milliseconds; }

FetchResponse Fetch(const FetchRequest& request, const std::atomic<bool>* cancel) {
  FetchResponse response;
  if (IsDataUrl(request.url)) {
    // The document is in the URL: no transfer, an answer at once.
    response.completed = DecodeDataUrl(request.url, &response.body);
    response.status = 200;
    response.final_url = request.url;
    if (!response.completed) response.failure = "net::ERR_INVALID_URL";
    return response;
  }
  if (Curl() == nullptr) {
    response.failure = "net::ERR_FAILED (libcurl.dll is not available)";
    return response;
  }
  ScopedCurl curl(Curl()->easy_init());
  if (!curl.IsValid()) {
    response.failure = "net::ERR_FAILED (curl_easy_init)";
    return response;
  }
  ScopedCurlList headers;
  for (const std::string& header : request.headers) {
    // Appending keeps the head of a non-empty list, so only the first node is taken.
    curl_slist* head = Curl()->slist_append(headers.Get(), header.c_str());
    if (head != nullptr && !headers.IsValid()) headers.Set(head);
  }
  Transfer transfer{&response.body, false, cancel};
  SetOptions(curl.Get(), request, headers.Get(), &transfer);
  CURLcode code = Curl()->easy_perform(curl.Get());
  if (code != CURLE_OK) {
    response.failure = TransportFailure(code, transfer);
    response.body.clear();
    return response;
  }
  char* final_url = nullptr;
  Curl()->easy_getinfo(curl.Get(), CURLINFO_RESPONSE_CODE, &response.status);
  Curl()->easy_getinfo(curl.Get(), CURLINFO_EFFECTIVE_URL, &final_url);
  response.final_url = final_url != nullptr ? final_url : request.url;
  if (!request.follow_redirects) {
    char* redirect = nullptr;
    Curl()->easy_getinfo(curl.Get(), CURLINFO_REDIRECT_URL, &redirect);
    if (redirect != nullptr) response.redirect_url = redirect;
  }
  response.completed = true;
  return response;
}

std::string LoadFailureReason(const FetchResponse& response) {
  if (!response.completed) return response.failure;
  if (response.status >= 400) return "HTTP " + std::to_string(response.status);
  return "";
}

}  // namespace node_standin
