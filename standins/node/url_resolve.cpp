#include "standins/node/url_resolve.h"

#include <cctype>
#include <vector>

namespace node_standin {
namespace {

struct UrlParts {
  std::string scheme;     // "http", without the colon
  std::string authority;  // "host:port", empty when the URL has none
  bool has_authority = false;
  std::string path;
  std::string rest;  // query and fragment, with their leading '?' or '#'
};

// Length of the scheme at the start of `url`, or 0 when it has none.
size_t SchemeLength(const std::string& url) {
  if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return 0;
  for (size_t i = 1; i < url.size(); ++i) {
    unsigned char c = url[i];
    if (c == ':') return i;
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

UrlParts Split(const std::string& url) {
  UrlParts parts;
  size_t scheme = SchemeLength(url);
  size_t pos = 0;
  if (scheme > 0) {
    parts.scheme = url.substr(0, scheme);
    pos = scheme + 1;
  }
  if (url.compare(pos, 2, "//") == 0) {
    size_t end = url.find_first_of("/?#", pos + 2);
    if (end == std::string::npos) end = url.size();
    parts.authority = url.substr(pos + 2, end - pos - 2);
    parts.has_authority = true;
    pos = end;
  }
  size_t rest = url.find_first_of("?#", pos);
  if (rest == std::string::npos) rest = url.size();
  parts.path = url.substr(pos, rest - pos);
  parts.rest = url.substr(rest);
  return parts;
}

// Removes "." and ".." segments the way browsers do; ".." never climbs above
// the root.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> out;
  size_t pos = path.empty() || path[0] != '/' ? 0 : 1;
  bool trailing_slash = false;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(pos, end - pos);
    trailing_slash = segment == "." || segment == "..";
    if (segment == "..") {
      if (!out.empty()) out.pop_back();
    } else if (segment != ".") {
      out.push_back(segment);
    }
    pos = end + 1;
  }
  std::string result = path.empty() || path[0] != '/' ? "" : "/";
  for (size_t i = 0; i < out.size(); ++i) {
    if (i > 0) result += '/';
    result += out[i];
  }
  if (trailing_slash && (result.empty() || result.back() != '/')) result += '/';
  return result;
}

std::string Join(const UrlParts& parts) {
  std::string url = parts.scheme.empty() ? "" : parts.scheme + ":";
  if (parts.has_authority) url += "//" + parts.authority;
  return url + parts.path + parts.rest;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::string ResolveUrl(const std::string& base_url, const std::string& reference_url) {
  std::string reference = Trim(reference_url);
  if (SchemeLength(reference) > 0) {
    UrlParts absolute = Split(reference);
    absolute.path = RemoveDotSegments(absolute.path);
    return Join(absolute);
  }
  UrlParts base = Split(base_url);
  UrlParts ref = Split(reference);
  UrlParts target;
  target.scheme = base.scheme;
  if (ref.has_authority) {
    target.authority = ref.authority;
    target.has_authority = true;
    target.path = RemoveDotSegments(ref.path);
    target.rest = ref.rest;
    return Join(target);
  }
  target.authority = base.authority;
  target.has_authority = base.has_authority;
  if (ref.path.empty()) {
    target.path = base.path;
    if (ref.rest.empty() || ref.rest[0] == '#') {
      size_t fragment = base.rest.find('#');
      target.rest = base.rest.substr(0, fragment) + ref.rest;
    } else {
      target.rest = ref.rest;
    }
    return Join(target);
  }
  if (ref.path[0] == '/') {
    target.path = RemoveDotSegments(ref.path);
  } else {
    size_t slash = base.path.rfind('/');
    std::string directory = slash == std::string::npos ? (base.has_authority ? "/" : "")
                                                       : base.path.substr(0, slash + 1);
    target.path = RemoveDotSegments(directory + ref.path);
  }
  target.rest = ref.rest;
  return Join(target);
}

std::string UrlOrigin(const std::string& url) {
  UrlParts parts = Split(url);
  if (parts.scheme.empty() || !parts.has_authority || parts.authority.empty()) return "";
  std::string authority = parts.authority;
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  return Lower(parts.scheme) + "://" + Lower(authority);
}

std::string WebOrigin(const std::string& url) {
  UrlParts parts = Split(Trim(url));
  std::string scheme = Lower(parts.scheme);
  const char* default_port = scheme == "http" || scheme == "ws"     ? "80"
                             : scheme == "https" || scheme == "wss" ? "443"
                             : scheme == "ftp"                      ? "21"
                                                                    : nullptr;
  // Only the schemes with a network host give a document its own origin.
  if (default_port == nullptr || !parts.has_authority) return "null";
  std::string authority = parts.authority;
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  // The port follows the last colon outside an IPv6 literal's brackets.
  size_t bracket = authority.rfind(']');
  size_t colon = authority.rfind(':');
  std::string host = authority, port;
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return "null";
  for (char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return "null";
  }
  size_t digits = port.find_first_not_of('0');
  port = digits == std::string::npos ? (port.empty() ? "" : "0") : port.substr(digits);
  if (port.size() > 5 || (!port.empty() && std::stoul(port) > 65535)) return "null";
  std::string origin = scheme + "://" + Lower(host);
  if (!port.empty() && port != default_port) origin += ":" + port;
  return origin;
}

}  // namespace node_standin
