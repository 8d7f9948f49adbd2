#include "net/http_client.h"

namespace {

// libcurl's write and header callbacks: always report the whole chunk as
// taken, so a chunk the buffer cannot hold is dropped and the transfer goes on
// instead of failing.
size_t AppendChunk(char* data, size_t size, size_t count, void* buffer) {
  size_t bytes = size * count;
  static_cast<GrowableBuffer*>(buffer)->Append(data, bytes);
  return bytes;
}

constexpr long kVerifyHostName = 2;

}  // namespace

HttpClient::HttpClient() { Init(); }

HttpClient::~HttpClient() { Cleanup(); }

bool HttpClient::Init() {
  Cleanup();
  if (Curl().curl_easy_init == nullptr) return false;
  easy_.Set(Curl().curl_easy_init());
  if (!easy_.IsValid()) return false;
  SetRaw(CURLOPT_PRIVATE, static_cast<void*>(this));
  SetRaw(CURLOPT_NOSIGNAL, 1L);
  // On by default; the engine switches it off for every request because it
  // follows redirects itself.
  SetFollowLocation(true);
  body_.Allocate();
  SetRaw(CURLOPT_WRITEFUNCTION, &AppendChunk);
  SetRaw(CURLOPT_WRITEDATA, static_cast<void*>(&body_));
  headers_.Allocate();
  SetRaw(CURLOPT_HEADERFUNCTION, &AppendChunk);
  SetRaw(CURLOPT_HEADERDATA, static_cast<void*>(&headers_));
  initialised_ = true;
  return true;
}

void HttpClient::Cleanup() {
  // The handle goes first: it may still point at the buffers and the list.
  easy_.Close();
  body_.Free();
  headers_.Free();
  header_list_.Close();
  initialised_ = false;
}

template <typename Value>
CURLcode HttpClient::SetRaw(CURLoption option, Value value) {
  if (!easy_.IsValid() || Curl().curl_easy_setopt == nullptr) return CURLE_BAD_FUNCTION_ARGUMENT;
  return Curl().curl_easy_setopt(easy_.Get(), option, value);
}

CURLcode HttpClient::SetOption(CURLoption option, long value) { return SetRaw(option, value); }

CURLcode HttpClient::Perform() {
  if (!easy_.IsValid() || Curl().curl_easy_perform == nullptr) return CURLE_BAD_FUNCTION_ARGUMENT;
  return Curl().curl_easy_perform(easy_.Get());
}

CURLcode HttpClient::SetUrl(const std::string& url) { return SetRaw(CURLOPT_URL, url.c_str()); }

CURLcode HttpClient::SetCookie(const std::string& cookies) {
  return SetRaw(CURLOPT_COOKIE, cookies.c_str());
}

CURLcode HttpClient::SetTimeoutsMs(long connect_ms, long total_ms) {
  CURLcode result = SetRaw(CURLOPT_CONNECTTIMEOUT_MS, connect_ms);
  if (result != CURLE_OK) return result;
  return SetRaw(CURLOPT_TIMEOUT_MS, total_ms);
}

CURLcode HttpClient::SetFollowLocation(bool follow) {
  return SetRaw(CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
}

CURLcode HttpClient::SetHeaders(const std::vector<std::string>& lines) {
  if (!easy_.IsValid() || Curl().curl_slist_append == nullptr) return CURLE_BAD_FUNCTION_ARGUMENT;
  ScopedCurlHeaderList list;
  for (const std::string& line : lines) {
    curl_slist* longer = Curl().curl_slist_append(list.Get(), line.c_str());
    // On failure libcurl leaves the list as it was; `list` still frees it.
    if (longer == nullptr) return CURLE_OUT_OF_MEMORY;
    list.Take();
    list.Set(longer);
  }
  CURLcode result = SetRaw(CURLOPT_HTTPHEADER, list.Get());
  if (result != CURLE_OK) return result;
  // The handle now points at the new list, so the old one can go.
  header_list_ = std::move(list);
  return CURLE_OK;
}

CURLcode HttpClient::SetUserAgent(const std::string& user_agent) {
  return SetRaw(CURLOPT_USERAGENT, user_agent.c_str());
}

CURLcode HttpClient::SetSslVerify(bool verify_peer, bool verify_host) {
  CURLcode result = SetRaw(CURLOPT_SSL_VERIFYPEER, verify_peer ? 1L : 0L);
  if (result != CURLE_OK) return result;
  return SetRaw(CURLOPT_SSL_VERIFYHOST, verify_host ? kVerifyHostName : 0L);
}

std::string HttpClient::GetBody() const { return body_.Bytes(); }

std::string HttpClient::GetHeaderText() const {
  std::string text = headers_.Bytes();
  return text.substr(0, text.find('\0'));
}

int HttpClient::GetResponseCode() const {
  if (!easy_.IsValid() || Curl().curl_easy_getinfo == nullptr) return 0;
  long code = 0;
  if (Curl().curl_easy_getinfo(easy_.Get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
  return static_cast<int>(code);
}
