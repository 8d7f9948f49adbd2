#include "net/url_text.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

constexpr char kHttpPrefix[] = "http";
constexpr char kDefaultScheme[] = "http://";
// Index (from 0) where the authority of "http://host..." starts at the
// earliest, so a "/" from there on belongs to the path.
constexpr size_t kAuthorityStart = 8;
constexpr char kSetCookieMarker[] = "Set-Cookie:";
constexpr char kSetCookieLinePrefix[] = "Set-Cookie: ";
// A further hit can start no earlier than this many bytes after the last one.
constexpr size_t kSetCookieSearchStep = 5;
constexpr char kLineBreak[] = "\r\n";
constexpr char kPairSeparator[] = "; ";
// Attribute names of a Set-Cookie value; between bars so one lookup matches a
// whole name.
constexpr char kCookieAttributes[] = "|path|domain|expires|max-age|secure|httponly|size|";

bool IsTrimmable(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), LowerAscii);
  return text;
}

bool SameChar(char a, char b, bool case_sensitive) {
  return case_sensitive ? a == b : LowerAscii(a) == LowerAscii(b);
}

size_t FindText(const std::string& text, const std::string& needle, size_t from,
                bool case_sensitive) {
  if (from > text.size()) return std::string::npos;
  auto same = [case_sensitive](char a, char b) { return SameChar(a, b, case_sensitive); };
  auto hit = std::search(text.begin() + from, text.end(), needle.begin(), needle.end(), same);
  return hit == text.end() ? std::string::npos : static_cast<size_t>(hit - text.begin());
}

size_t FindLastText(const std::string& text, const std::string& needle, bool case_sensitive) {
  auto same = [case_sensitive](char a, char b) { return SameChar(a, b, case_sensitive); };
  auto hit = std::find_end(text.begin(), text.end(), needle.begin(), needle.end(), same);
  return hit == text.end() ? std::string::npos : static_cast<size_t>(hit - text.begin());
}

// Every piece between separators, empty pieces included ("a==" at "=" gives
// three pieces).
std::vector<std::string> SplitText(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  size_t begin = 0;
  for (size_t hit = text.find(separator); hit != std::string::npos;
       hit = text.find(separator, begin)) {
    pieces.push_back(text.substr(begin, hit - begin));
    begin = hit + separator.size();
  }
  pieces.push_back(text.substr(begin));
  return pieces;
}

void AppendJoined(std::string* joined, const std::string& item, const char* separator) {
  if (!joined->empty()) *joined += separator;
  *joined += item;
}

std::string WithoutTrailingSemicolon(std::string text) {
  if (!text.empty() && text.back() == ';') text.pop_back();
  return text;
}

bool IsCookieAttribute(const std::string& name) {
  return std::string(kCookieAttributes).find("|" + LowerText(name) + "|") != std::string::npos;
}

// The name=value pairs of one Set-Cookie value, joined by "; ".
std::string PairsOfSetCookieValue(std::string value) {
  if (value.empty() || value.back() != ';') value += ';';
  std::string pairs;
  for (const std::string& raw_item : SplitText(value, ";")) {
    std::string item = TrimText(raw_item);
    if (item.empty()) continue;
    std::vector<std::string> pieces = SplitText(item, "=");
    if (pieces.size() != 2) continue;
    std::string name = TrimText(pieces[0]);
    if (IsCookieAttribute(name)) continue;
    AppendJoined(&pairs, name + "=" + TrimText(pieces[1]), kPairSeparator);
  }
  return pairs;
}

// The name of a "name=value" item; empty when it has no "=".
std::string CookieName(const std::string& item) {
  size_t equals = item.find('=');
  return equals == std::string::npos ? std::string() : TrimText(item.substr(0, equals));
}

}  // namespace

std::string TrimText(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsTrimmable(text[begin])) ++begin;
  while (end > begin && IsTrimmable(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string TrimBlanksAndControls(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  return text.substr(begin, end - begin);
}

std::string NormalizeUrl(const std::string& url) {
  std::string normal = url.compare(0, 4, kHttpPrefix) == 0 ? url : kDefaultScheme + url;
  bool has_path =
      normal.size() > kAuthorityStart && normal.find('/', kAuthorityStart) != std::string::npos;
  if (!has_path && (normal.empty() || normal.back() != '/')) normal += '/';
  return normal;
}

std::string TextBetween(const std::string& text, const std::string& start_marker,
                        const std::string& end_marker, int start_position, bool case_sensitive,
                        bool end_from_back, WhenMissing when_missing) {
  if (text.empty()) return "";
  const std::string missing = when_missing == WhenMissing::kWholeText ? text : std::string();
  size_t from = start_position < 1 ? 0 : std::min<size_t>(start_position - 1, text.size());
  size_t match_end = from;
  if (!start_marker.empty()) {
    size_t hit = FindText(text, start_marker, from, case_sensitive);
    if (hit == std::string::npos) return missing;
    match_end = hit + start_marker.size();
  }
  size_t end = text.size();
  if (!end_marker.empty() && end_from_back) {
    end = FindLastText(text, end_marker, case_sensitive);
    if (end != std::string::npos && end < match_end) end = std::string::npos;
  } else if (!end_marker.empty()) {
    end = FindText(text, end_marker, match_end, case_sensitive);
  }
  if (end == std::string::npos) {
    if (when_missing != WhenMissing::kToEnd) return missing;
    end = text.size();
  }
  size_t begin = start_marker.empty() ? 0 : match_end;
  return text.substr(begin, end - begin);
}

std::string SetCookieList(const std::string& header_text) {
  std::string list;
  for (size_t hit = FindText(header_text, kSetCookieMarker, 0, false); hit != std::string::npos;
       hit = FindText(header_text, kSetCookieMarker, hit + kSetCookieSearchStep, false)) {
    std::string value =
        TextBetween(header_text, kSetCookieMarker, kLineBreak, static_cast<int>(hit + 1));
    AppendJoined(&list, kSetCookieLinePrefix + TrimText(value), kLineBreak);
  }
  return list;
}

std::string CookiesFromSetCookie(const std::string& set_cookie_list) {
  std::string cookies;
  for (const std::string& line : SplitText(set_cookie_list, kLineBreak)) {
    std::string value =
        TrimText(TextBetween(line, kSetCookieMarker, "", 1, false, false, WhenMissing::kEmpty));
    std::string pairs = PairsOfSetCookieValue(value);
    if (!pairs.empty()) AppendJoined(&cookies, pairs, kPairSeparator);
  }
  return WithoutTrailingSemicolon(TrimText(cookies));
}

std::string MergeCookies(const std::string& older, const std::string& newer) {
  std::string old_cookies = WithoutTrailingSemicolon(TrimText(older));
  std::string merged = WithoutTrailingSemicolon(TrimText(newer));
  if (old_cookies.empty()) return merged;
  if (merged.empty()) return old_cookies;
  // Names are compared whole: an older "id" survives a newer "sid".
  std::set<std::string> names;
  for (const std::string& item : SplitText(merged, ";")) names.insert(CookieName(item));
  for (const std::string& raw_item : SplitText(old_cookies, ";")) {
    std::string item = TrimText(raw_item);
    if (item.empty() || item.find('=') == std::string::npos) continue;
    if (!names.insert(CookieName(item)).second) continue;
    merged += kPairSeparator + item;
  }
  return merged;
}

std::string ResolveLocation(const std::string& from_url, const std::string& location) {
  if (LowerText(location.substr(0, 4)) == kHttpPrefix) return location;
  if (location.compare(0, 2, "//") == 0) {
    size_t scheme_end = from_url.find("//");
    return (scheme_end == std::string::npos ? std::string("http:")
                                            : from_url.substr(0, scheme_end)) +
           location;
  }
  size_t path_start =
      from_url.size() > kAuthorityStart ? from_url.find('/', kAuthorityStart) : std::string::npos;
  if (location.compare(0, 1, "/") == 0) return from_url.substr(0, path_start) + location;
  size_t folder_end = from_url.rfind('/');
  if (folder_end == std::string::npos || folder_end < kAuthorityStart) {
    return from_url + "/" + location;
  }
  return from_url.substr(0, folder_end) + "/" + location;
}
