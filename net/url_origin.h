#pragma once
// The origin of a URL (scheme, host and port) as a browser computes it, for
// deciding whether a document may use the program's native commands. Pure
// functions over bytes; none does any I/O.
#include <string>
#include <vector>

// What an opaque or unreadable origin is written as, as browsers do.
inline constexpr const char kOpaqueOrigin[] = "null";

// The serialised origin of url: "scheme://host" with ":port" only when the
// port is not the scheme's default (80 for http and ws, 443 for https and
// wss). Scheme and host are lower-cased, userinfo is dropped, IPv6 literals
// are written in their shortest form. Everything that has no such origin
// (data:, file:, about:, a missing host, a port that is not a number below
// 65536, a host with characters no host has) gives kOpaqueOrigin.
std::string OriginOf(const std::string& url);

// True when both texts name the same, non-opaque origin. Each may be a URL or
// an origin as location.origin gives it; both are read with OriginOf.
bool SameOrigin(const std::string& a, const std::string& b);

// The origins of a space- (or comma-) separated list, each in OriginOf's
// form; opaque entries are left out, since no document may be trusted for
// having none.
std::vector<std::string> OriginList(const std::string& text);
