#pragma once
// The program's HTTP GETs: one fresh connection per request, fixed time-outs,
// a fixed User-Agent and two no-cache headers, certificates never verified.
// A body is a byte string; an empty one means failure. Both functions are
// reentrant: every call has its own HttpClient.
#include <string>

// Time-out of connecting and of the whole transfer.
inline constexpr long kHttpTimeoutMs = 30000;
inline constexpr char kHttpUserAgent[] =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/55.0.2883.87 Safari/537.36";
// Redirect hops HttpRequestWithRedirects follows after the first request; a
// chain longer than this (a server redirecting in a loop) ends at the last
// 3xx answer with an empty body.
inline constexpr int kMaxRedirectHops = 20;

// GETs `url` (normalised first, see NormalizeUrl). Returns the body when the
// status is 200 to 299, else empty. *status is written only when the transfer
// completed, so callers start it at 0. With want_cookies, *header_text gets
// the response's header lines and *merged_cookies the request cookies merged
// with those the response set. Any out pointer may be null.
std::string HttpRequest(const std::string& url, const std::string& request_cookies = "",
                        bool want_cookies = false, int* status = nullptr,
                        std::string* header_text = nullptr, std::string* merged_cookies = nullptr);

// HttpRequest that follows 3xx answers itself: resolves the Location header
// against the URL that answered and carries the cookies set so far to the next
// hop. Body and *status are those of the last hop.
std::string HttpRequestWithRedirects(const std::string& url, int* status);
