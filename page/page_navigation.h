#pragma once
// Keeps the view's top-level document on the back office: navigations to a
// foreign origin are cancelled, no new window is ever opened, and what still
// lands elsewhere (an engine that does not ask, a redirect it follows by
// itself) is noticed when its load finishes. Handlers run on the GUI thread.
#include <string>

#include "ext/node_api.h"

// The navigation handler: lets trusted origins (and the program's own local
// screen) go on, cancels and logs the rest.
bool __cdecl OnPageNavigation(wkeWebView view, void* param, int navigation_type, wkeString url);
// The new-view handler: opens nothing, logs what was asked for.
wkeWebView __cdecl OnPageCreateView(wkeWebView view, void* param, int navigation_type,
                                    wkeString url, const void* features);

// True when a navigation was refused in the last few seconds: the engine then
// reports that load as cancelled or failed, while the page itself stays.
bool NavigationRefusedLately();

// A URL the program itself shows while the page cannot be loaded; such a URL
// is let through though it has no trusted origin. Null: none.
void SetLocalScreenCheck(bool (*is_local_screen)(const std::string& url));

// Whether the top-level document is of a trusted origin now (the main
// frame's URL). An engine that cannot tell its URL counts as trusted: the
// caller check of every command still holds there.
bool PageOnTrustedOrigin();
// The main frame's URL as the engine gives it, code page 936; empty when the
// engine cannot tell.
std::string MainFrameUrl();
