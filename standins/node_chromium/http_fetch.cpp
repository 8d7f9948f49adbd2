#include "http_fetch.h"

#include "curl_functions.h"

namespace {
size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}
}  // namespace

bool FetchHttp(const std::string& method, const std::string& url, int timeout_ms,
               std::string* body) {
  const CurlFunctions* curl = Curl();
  if (!curl) return false;
  CURL* handle = curl->curl_easy_init();
  if (!handle) return false;
  body->clear();
  curl->curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl->curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
  curl->curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_ms));
  curl->curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
  curl->curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl->curl_easy_setopt(handle, CURLOPT_WRITEDATA, body);
  CURLcode result = curl->curl_easy_perform(handle);
  long status = 0;
  curl->curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  curl->curl_easy_cleanup(handle);
  return result == CURLE_OK && status >= 200 && status < 300;
}
