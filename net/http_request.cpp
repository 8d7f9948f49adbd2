#include "net/http_request.h"

#include <vector>

#include "net/http_client.h"
#include "net/url_text.h"

namespace {

const std::vector<std::string>& NoCacheHeaders() {
  static const std::vector<std::string> lines = {"Cache-Control: no-cache", "Pragma: no-cache"};
  return lines;
}

constexpr char kLocationMarker[] = "Location:";
constexpr char kLineBreak[] = "\r\n";

bool IsSuccess(int status) { return status >= 200 && status < 300; }

// Judged by the leading digit of the status text, so an unusual 3xx code a
// server invents is followed like 301 or 302.
bool IsRedirect(int status) { return std::to_string(status)[0] == '3'; }

// Sets every option of one request; false when the URL is refused.
bool Prepare(HttpClient* client, const std::string& url, const std::string& cookies) {
  if (client->SetUrl(url) != CURLE_OK) return false;
  client->SetSslVerify(false, false);
  client->SetTimeoutsMs(kHttpTimeoutMs, kHttpTimeoutMs);
  if (!cookies.empty()) client->SetCookie(cookies);
  client->SetFollowLocation(false);
  client->SetOption(CURLOPT_FRESH_CONNECT, 1L);
  client->SetUserAgent(kHttpUserAgent);
  client->SetHeaders(NoCacheHeaders());
  return true;
}

std::string RequestHop(const std::string& url, const std::string& cookies, int hops_left,
                       int* status) {
  std::string header_text;
  std::string merged;
  std::string body = HttpRequest(url, cookies, true, status, &header_text, &merged);
  if (!IsRedirect(*status) || hops_left == 0) return body;
  std::string location = TrimText(TextBetween(header_text, kLocationMarker, kLineBreak));
  if (location.empty()) return body;
  std::string next = ResolveLocation(NormalizeUrl(url), location);
  return RequestHop(next, merged, hops_left - 1, status);
}

}  // namespace

std::string HttpRequest(const std::string& url, const std::string& request_cookies,
                        bool want_cookies, int* status, std::string* header_text,
                        std::string* merged_cookies) {
  HttpClient client;
  std::string cookies = TrimText(request_cookies);
  if (!Prepare(&client, NormalizeUrl(url), cookies)) return std::string();
  if (client.Perform() != CURLE_OK) return std::string();
  if (want_cookies) {
    std::string headers = client.GetHeaderText();
    std::string merged =
        MergeCookies(request_cookies, CookiesFromSetCookie(SetCookieList(headers)));
    if (header_text) *header_text = headers;
    if (merged_cookies) *merged_cookies = merged;
  }
  int code = client.GetResponseCode();
  if (status) *status = code;
  if (!IsSuccess(code)) return std::string();
  return client.GetBody();
}

std::string HttpRequestWithRedirects(const std::string& url, int* status) {
  int local_status = 0;
  int* out = status ? status : &local_status;
  return RequestHop(url, "", kMaxRedirectHops, out);
}
