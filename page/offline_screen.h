#pragma once
// The local screen: what the window shows while the back office's page cannot
// be loaded, instead of the engine's own error page. The shop's offline.html
// from the program folder when there is one, else a plain built-in screen
// ("请稍候" and the time). It reaches the engine as a data: URL carrying a
// marker, so it needs neither the server nor file access of the engine's, and
// its loads can be told apart from the page's own.
#include <string>

// Name of the shop's own local screen in the program folder.
inline constexpr char kOfflinePageName[] = "offline.html";

// The URL of the local screen: run_directory (ending in a backslash) +
// offline.html when that file can be read and holds 1 byte to 1 MiB, else the
// built-in screen showing time_text (e.g. "09:41").
std::string LocalScreenUrl(const std::string& run_directory, const std::string& time_text);

// True when url (as the engine reports a load or navigation) is the local
// screen: such a load never counts as a load of the page.
bool IsLocalScreenUrl(const std::string& url);

// The built-in screen's HTML, UTF-8.
std::string BuiltInScreenHtml(const std::string& time_text);

// The data: URL of UTF-8 HTML, with the local screen's marker.
std::string LocalScreenUrlOf(const std::string& html);
