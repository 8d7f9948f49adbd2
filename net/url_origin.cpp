#include "net/url_origin.h"

#include <cstdint>
#include <cstdio>

#include "net/url_text.h"

namespace {

struct SchemeDefault {
  const char* scheme;
  int port;
};

// The schemes whose URLs have a host and so an origin of their own; every
// other scheme (data, file, about, javascript, blob...) gives an opaque one.
constexpr SchemeDefault kSchemesWithHost[] = {
    {"http", 80}, {"https", 443}, {"ws", 80}, {"wss", 443}, {"ftp", 21}};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

int DefaultPort(const std::string& scheme) {
  for (const SchemeDefault& known : kSchemesWithHost) {
    if (scheme == known.scheme) return known.port;
  }
  return -1;
}

// The port text after a colon: empty (the default) or digits below 65536.
bool ReadPort(const std::string& text, int default_port, int* port) {
  if (text.empty()) {
    *port = default_port;
    return true;
  }
  uint32_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) return false;
  }
  *port = static_cast<int>(value);
  return true;
}

// One part of an IPv4 address in any form a browser reads: decimal, 0x hex
// or 0-led octal.
bool ReadIpv4Part(const std::string& part, uint64_t* value) {
  std::string digits = part;
  int base = 10;
  if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
    base = 16;
  } else if (digits.size() >= 2 && digits[0] == '0') {
    digits = digits.substr(1);
    base = 8;
  }
  uint64_t result = 0;
  for (char c : digits) {
    int digit = IsDigit(c) ? c - '0' : (IsHexDigit(c) ? AsciiLower(c) - 'a' + 10 : 99);
    if (digit >= base) return false;
    result = result * base + static_cast<uint64_t>(digit);
    if (result > 0xFFFFFFFFull) return false;
  }
  *value = result;
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

bool EndsInNumber(const std::vector<std::string>& parts) {
  const std::string& last = parts.back();
  if (last.empty()) return false;
  bool digits_only = true;
  for (char c : last) digits_only = digits_only && IsDigit(c);
  if (digits_only) return true;
  uint64_t ignored;
  return last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
         ReadIpv4Part(last, &ignored);
}

enum class HostKind { kName, kIpv4, kInvalid };

// A host whose last label is a number is an IPv4 address ("127.1",
// "0x7f.0.0.1" and "2130706433" all are 127.0.0.1): written dotted, as the
// engine's location.origin writes it.
HostKind ReadIpv4(const std::string& host, std::string* dotted) {
  std::vector<std::string> parts = Split(host, '.');
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  if (!EndsInNumber(parts)) return HostKind::kName;
  if (parts.size() > 4) return HostKind::kInvalid;
  uint64_t address = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    uint64_t value;
    if (parts[i].empty() || !ReadIpv4Part(parts[i], &value)) return HostKind::kInvalid;
    bool last = i + 1 == parts.size();
    if (!last && value > 255) return HostKind::kInvalid;
    if (last && value >= (1ull << (8 * (5 - parts.size())))) return HostKind::kInvalid;
    address = last ? (address << (8 * (5 - parts.size()))) + value : (address << 8) + value;
  }
  char text[16];
  snprintf(text, sizeof(text), "%u.%u.%u.%u", static_cast<unsigned>(address >> 24 & 255),
           static_cast<unsigned>(address >> 16 & 255), static_cast<unsigned>(address >> 8 & 255),
           static_cast<unsigned>(address & 255));
  *dotted = text;
  return HostKind::kIpv4;
}

bool ReadIpv6Pieces(const std::string& text, std::vector<uint32_t>* pieces) {
  std::vector<std::string> groups = Split(text, ':');
  for (size_t i = 0; i < groups.size(); ++i) {
    const std::string& group = groups[i];
    if (group.find('.') != std::string::npos) {
      // An IPv4 address may end an IPv6 one: two pieces.
      std::string dotted;
      if (i + 1 != groups.size() || ReadIpv4(group, &dotted) != HostKind::kIpv4 ||
          Split(group, '.').size() != 4) {
        return false;
      }
      uint32_t a, b, c, d;
      if (sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return false;
      pieces->push_back(a << 8 | b);
      pieces->push_back(c << 8 | d);
      continue;
    }
    if (group.empty() || group.size() > 4) return false;
    uint32_t value = 0;
    for (char c : group) {
      if (!IsHexDigit(c)) return false;
      value = value * 16 + static_cast<uint32_t>(IsDigit(c) ? c - '0' : AsciiLower(c) - 'a' + 10);
    }
    pieces->push_back(value);
  }
  return true;
}

// An IPv6 literal's eight pieces, "::" expanded; false when it is none.
bool ReadIpv6(const std::string& text, uint32_t pieces[8]) {
  size_t gap = text.find("::");
  if (gap != std::string::npos && text.find("::", gap + 1) != std::string::npos) return false;
  std::vector<uint32_t> head, tail;
  if (gap == std::string::npos) {
    if (!ReadIpv6Pieces(text, &head) || head.size() != 8) return false;
  } else {
    std::string before = text.substr(0, gap), after = text.substr(gap + 2);
    if (!before.empty() && !ReadIpv6Pieces(before, &head)) return false;
    if (!after.empty() && !ReadIpv6Pieces(after, &tail)) return false;
    if (head.size() + tail.size() > 7) return false;
  }
  size_t zeros = 8 - head.size() - tail.size();
  size_t at = 0;
  for (uint32_t piece : head) pieces[at++] = piece;
  for (size_t i = 0; i < zeros; ++i) pieces[at++] = 0;
  for (uint32_t piece : tail) pieces[at++] = piece;
  return true;
}

// The shortest form browsers write: lower-case hex, the first longest run of
// two or more zero pieces as "::".
std::string Ipv6Text(const uint32_t pieces[8]) {
  int best_start = -1, best_length = 1;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && pieces[j] == 0) ++j;
    if (j - i > best_length) {
      best_start = i;
      best_length = j - i;
    }
    i = (j == i) ? i + 1 : j;
  }
  std::string text = "[";
  for (int i = 0; i < 8; ++i) {
    if (i == best_start) {
      text += "::";
      i += best_length - 1;
      continue;
    }
    if (text.size() > 1 && text.back() != ':') text += ':';
    char piece[8];
    snprintf(piece, sizeof(piece), "%x", static_cast<unsigned>(pieces[i]));
    text += piece;
  }
  return text + "]";
}

bool IsHostNameByte(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return IsAsciiLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || byte >= 0x80;
}

// The host as an origin writes it; empty when it is not a host.
std::string CanonicalHost(const std::string& host) {
  if (host.empty()) return "";
  if (host.front() == '[') {
    uint32_t pieces[8];
    if (host.back() != ']' || !ReadIpv6(host.substr(1, host.size() - 2), pieces)) return "";
    return Ipv6Text(pieces);
  }
  for (char c : host) {
    if (!IsHostNameByte(c)) return "";
  }
  std::string dotted;
  switch (ReadIpv4(host, &dotted)) {
    case HostKind::kIpv4:
      return dotted;
    case HostKind::kInvalid:
      return "";
    case HostKind::kName:
      break;
  }
  return Lower(host);
}

// Splits "host:port" (the host may be a bracketed IPv6 literal).
bool SplitHostPort(const std::string& authority, std::string* host, std::string* port) {
  size_t colon;
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    colon = close + 1;
    if (colon < authority.size() && authority[colon] != ':') return false;
  } else {
    colon = authority.rfind(':');
  }
  if (colon == std::string::npos || colon >= authority.size()) {
    *host = authority;
    port->clear();
  } else {
    *host = authority.substr(0, colon);
    *port = authority.substr(colon + 1);
  }
  return true;
}

}  // namespace

std::string OriginOf(const std::string& url) {
  // Browsers strip leading and trailing spaces and control characters.
  std::string text = TrimBlanksAndControls(url);
  size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || !IsAsciiLetter(text[0])) return kOpaqueOrigin;
  std::string scheme = Lower(text.substr(0, colon));
  int default_port = DefaultPort(scheme);
  if (default_port < 0 || text.compare(colon + 1, 2, "//") != 0) return kOpaqueOrigin;
  size_t begin = colon + 3;
  size_t end = text.find_first_of("/?#\\", begin);
  std::string authority =
      text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  std::string host_text, port_text;
  int port;
  if (!SplitHostPort(authority, &host_text, &port_text) ||
      !ReadPort(port_text, default_port, &port)) {
    return kOpaqueOrigin;
  }
  std::string host = CanonicalHost(host_text);
  if (host.empty()) return kOpaqueOrigin;
  std::string origin = scheme + "://" + host;
  if (port != default_port) origin += ":" + std::to_string(port);
  return origin;
}

bool SameOrigin(const std::string& a, const std::string& b) {
  std::string first = OriginOf(a);
  return first != kOpaqueOrigin && first == OriginOf(b);
}

std::vector<std::string> OriginList(const std::string& text) {
  std::vector<std::string> origins;
  std::string word;
  for (size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : ' ';
    if (c == ' ' || c == ',' || c == '\t' || c == ';') {
      std::string origin = word.empty() ? kOpaqueOrigin : OriginOf(word);
      if (origin != kOpaqueOrigin) origins.push_back(origin);
      word.clear();
    } else {
      word += c;
    }
  }
  return origins;
}
