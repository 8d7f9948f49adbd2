#pragma once
// One libcurl easy handle with the memory of one transfer: the response body,
// every response header line, and the request header list. The request engine
// makes one object per request, sets its options, performs once, reads the
// results and destroys it; nothing is shared between requests.
//
// Texts go to libcurl unchanged (code page 936 bytes); libcurl copies string
// options, so the caller's texts may go away after each call. One object
// belongs to one thread.
#include <string>
#include <vector>

#include "ext/curl_api.h"
#include "net/growable_buffer.h"
#include "util/scoped_handle.h"

struct CurlEasyTraits {
  using Handle = CURL*;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) {
    if (Curl().curl_easy_cleanup) Curl().curl_easy_cleanup(h);
  }
};
using ScopedCurlEasy = ScopedHandle<CurlEasyTraits>;

struct CurlHeaderListTraits {
  using Handle = curl_slist*;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) {
    if (Curl().curl_slist_free_all) Curl().curl_slist_free_all(h);
  }
};
using ScopedCurlHeaderList = ScopedHandle<CurlHeaderListTraits>;

class HttpClient {
 public:
  // Runs Init.
  HttpClient();
  // Runs Cleanup.
  ~HttpClient();
  // libcurl keeps a pointer to this object (CURLOPT_PRIVATE and the callback
  // data), so it never moves.
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Frees anything held, then sets up a fresh easy handle and both buffers.
  // False when libcurl gives no handle (or is missing).
  bool Init();
  // Frees the handle, both buffers and the header list.
  void Cleanup();

  // Each set operation returns libcurl's code, 0 on success. Without a handle
  // they return CURLE_BAD_FUNCTION_ARGUMENT, as libcurl does for a null handle.
  CURLcode SetOption(CURLoption option, long value);
  CURLcode Perform();
  CURLcode SetUrl(const std::string& url);
  // The request's cookie header: name=value pairs joined by "; ".
  CURLcode SetCookie(const std::string& cookies);
  CURLcode SetTimeoutsMs(long connect_ms, long total_ms);
  CURLcode SetFollowLocation(bool follow);
  // Replaces the request header list with these lines, in order.
  CURLcode SetHeaders(const std::vector<std::string>& lines);
  CURLcode SetUserAgent(const std::string& user_agent);
  CURLcode SetSslVerify(bool verify_peer, bool verify_host);

  // The response body received so far, as bytes.
  std::string GetBody() const;
  // Every response header line received, each with its CR LF, in arrival
  // order, up to the first NUL.
  std::string GetHeaderText() const;
  // The last response's HTTP status; 0 when there was none.
  int GetResponseCode() const;
  bool initialised() const { return initialised_; }

 private:
  template <typename Value>
  CURLcode SetRaw(CURLoption option, Value value);

  ScopedCurlEasy easy_;
  GrowableBuffer body_;
  GrowableBuffer headers_;
  ScopedCurlHeaderList header_list_;
  bool initialised_ = false;
};
