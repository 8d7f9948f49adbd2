#pragma once
// Who may use the program's native commands and show the customer a page:
// documents of the back office's own origin (the page URL's scheme, host and
// port) and of the origins the shop lists in config.ini ([local] trust=).
// The program runs as administrator, and its commands start programs and
// rewrite config.ini, so any other document (a page the view was led to, an
// advertisement's iframe, a sandboxed frame) gets nothing.
#include <string>

#include "ext/node_api.h"

// Sets the origins trusted from now on: the page URL's and those of the
// space-separated list. Called once by start-up, before the page loads.
void TrustPageOrigins(const std::string& page_url, const std::string& trusted_list);

// True when url (or an origin) is of a trusted origin; never for an opaque one.
bool IsTrustedOrigin(const std::string& url_or_origin);

// The calling document's own origin (location.origin of the global object of
// the context the call came from, which a page cannot redefine); empty when
// the engine cannot tell.
std::string CallerOrigin(jsExecState state);

// Logs a refusal under "WKE" and, at most once a minute (a foreign page may
// try in a loop), as a warning in the Windows event log.
void LogRefusal(const std::string& text);

// Text from outside as it goes into a log line: at most limit bytes, cut
// between characters, "..." marking a cut.
std::string ShortenedText(const std::string& text, size_t limit);
// An origin or URL from outside, shortened to what a reader needs.
std::string LoggedUrl(const std::string& url);
