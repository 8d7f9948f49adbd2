#pragma once
// What the program does when the page does not load: the failure is logged,
// the window shows the local screen instead of the engine's error page, and
// one retry chain asks the engine to load the page again, 5 s after the
// failure and every 5 s after that, once the page answers. A load that
// succeeds ends it all: the page itself replaces the local screen.
// winsock2.h first: later headers of the link need it before windows.h.
#include <windows.h>
#include <winsock2.h>

#include <string>

// The failed-load path, on the GUI thread: logs "载入页面" "失败 code:<reason>",
// shows the local screen and starts the retry chain unless one runs. Any
// check that decides a load must not stand (e.g. a page that ended up on a
// foreign origin) takes the same path with its own reason.
void OnPageLoadFailed(const std::string& reason);
// True while a retry chain runs.
bool PageLoadRetryRunning();
// Ends the retry chain, waiting for it at most wait_ms (while handling
// messages sent to this thread); shutdown calls it before libcurl goes.
void StopPageLoadRetry(DWORD wait_ms = INFINITE);
