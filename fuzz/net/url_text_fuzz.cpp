// libFuzzer over the request engine's text helpers. The input is split at NUL
// bytes into up to four texts; the first byte picks the TextBetween options.
// Besides memory errors (the sanitizers), it checks properties that hold for
// every input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "log/log_line_text.h"
#include "net/url_origin.h"
#include "net/url_text.h"

namespace {

std::vector<std::string> Pieces(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && pieces.size() < 4) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  pieces.resize(4);
  return pieces;
}

void Check(bool property) {
  if (!property) std::abort();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void CheckNormalizeUrl(const std::string& url) {
  std::string normal = NormalizeUrl(url);
  Check(normal.compare(0, 4, "http") == 0);
  Check(Contains(normal, url));
  Check(NormalizeUrl(normal) == normal);
}

void CheckTextBetween(uint8_t options, const std::vector<std::string>& p) {
  int position = static_cast<int8_t>(options) / 4;
  bool case_sensitive = options & 1;
  bool from_back = options & 2;
  auto mode = static_cast<WhenMissing>((options >> 2) % 3);
  std::string between = TextBetween(p[0], p[1], p[2], position, case_sensitive, from_back, mode);
  Check(between.size() <= p[0].size());
  Check(Contains(p[0], between));
}

void CheckCookies(const std::vector<std::string>& p) {
  std::string cookies = CookiesFromSetCookie(SetCookieList(p[0]));
  Check(!Contains(cookies, "\r\n"));
  Check(cookies.empty() || cookies.back() != ';');
  std::string merged = MergeCookies(p[1], cookies);
  Check(merged.size() <= p[1].size() + cookies.size() + 2 * p[1].size());
  Check(MergeCookies(p[1], "") == MergeCookies("", p[1]));
}

void CheckResolveLocation(const std::vector<std::string>& p) {
  std::string target = ResolveLocation(NormalizeUrl(p[2]), p[3]);
  Check(Contains(target, p[3]));
}

// An origin decides who reaches the native commands: reading one again
// changes nothing, an opaque one is never trusted, and a URL and its origin
// agree.
void CheckOrigin(const std::vector<std::string>& p) {
  std::string origin = OriginOf(p[0]);
  Check(OriginOf(origin) == origin);
  Check(origin == kOpaqueOrigin || Contains(origin, "://"));
  Check(!Contains(origin, "/") || origin.find('/') == origin.find("://") + 1);
  Check(!Contains(origin, "@") && !Contains(origin, "?") && !Contains(origin, "#"));
  Check(SameOrigin(p[0], origin) == (origin != kOpaqueOrigin));
  Check(SameOrigin(p[0], p[1]) == SameOrigin(p[1], p[0]));
  for (const std::string& listed : OriginList(p[2])) Check(OriginOf(listed) == listed);
}

void CheckOneLine(const std::vector<std::string>& p) {
  std::string line = OneLineText(p[3]);
  Check(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
  Check(line.size() >= p[3].size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<std::string> pieces = Pieces(data + 1, size - 1);
  CheckNormalizeUrl(pieces[0]);
  CheckTextBetween(data[0], pieces);
  CheckCookies(pieces);
  CheckResolveLocation(pieces);
  CheckOrigin(pieces);
  CheckOneLine(pieces);
  return 0;
}
