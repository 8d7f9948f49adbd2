#pragma once
// Resolution of the URLs a page names (script sources, requests, navigations)
// against the page's own address, and the origin that keys local storage.
#include <string>

namespace node_standin {

// The absolute URL that `reference` names when read on the page at `base`.
// Handles absolute URLs, scheme-relative ("//host/x"), absolute paths,
// queries, fragments and relative paths with "." and ".." segments.
std::string ResolveUrl(const std::string& base, const std::string& reference);

// "scheme://host[:port]" of an absolute URL, lower-cased; empty when the URL
// has no scheme and authority (about:blank, file paths).
std::string UrlOrigin(const std::string& url);

// The origin a document at `url` has, as script reads it in location.origin:
// "scheme://host[:port]" with the port left out when it is the scheme's
// default, or "null" for opaque documents (data:, about:, file paths and any
// URL without a host of a scheme that has one).
std::string WebOrigin(const std::string& url);

}  // namespace node_standin
