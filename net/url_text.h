#pragma once
// Text helpers of the HTTP request engine: URL normalisation, marker search,
// cookie extraction and merging, and redirect resolution. Pure functions over
// code page 936 bytes; none does any I/O.
#include <string>

// What TextBetween gives when a marker is not found.
enum class WhenMissing {
  kEmpty = 0,      // a missing start or end marker gives ""
  kToEnd = 1,      // a missing start gives ""; a missing end reads to the end of the text
  kWholeText = 2,  // a missing start or end marker gives the whole text
};

// The text without leading and trailing ASCII white space (space, tab, CR, LF,
// VT, FF). Bytes of double-byte characters are never touched.
std::string TrimText(const std::string& text);
// The text without leading and trailing bytes up to 0x20: space and every
// ASCII control character, as browsers trim a URL (and as the program trims a
// setting it parses strictly).
std::string TrimBlanksAndControls(const std::string& text);

// Puts "http://" in front unless the text starts with "http", and appends "/"
// when there is no path, so "host:8099" becomes "http://host:8099/".
std::string NormalizeUrl(const std::string& url);

// The text between start_marker and end_marker. start_position counts from 1.
// An empty start marker reads from the beginning of the text (the position then
// only says where the end marker is searched from); an empty end marker reads
// to the end. With end_from_back the last end marker after the start counts.
std::string TextBetween(const std::string& text, const std::string& start_marker = "",
                        const std::string& end_marker = "", int start_position = 1,
                        bool case_sensitive = false, bool end_from_back = false,
                        WhenMissing when_missing = WhenMissing::kEmpty);

// Every "Set-Cookie:" header of a response's header text (found without case),
// each as one line "Set-Cookie: <value>", lines joined by CR LF.
std::string SetCookieList(const std::string& header_text);

// The name=value pairs of a Set-Cookie list, joined by "; ". Attributes (Path,
// Domain, Expires, Max-Age, Secure, HttpOnly, Size) are dropped, and so is every
// cookie whose value itself contains "=".
std::string CookiesFromSetCookie(const std::string& set_cookie_list);

// The cookies of `newer` followed by those of `older` whose name `newer` does
// not set: the newer response wins.
std::string MergeCookies(const std::string& older, const std::string& newer);

// Where a redirect's Location leads from the (normalised) URL that answered:
// absolute ("http..."), scheme-relative ("//host/x"), host-relative ("/x") or
// relative to the answering URL's folder ("next.php").
std::string ResolveLocation(const std::string& from_url, const std::string& location);
