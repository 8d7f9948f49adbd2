#pragma once
// The one TCP link from the till to the back-office server: started after
// the first successful page load, kept up by a watchdog thread that
// reconnects about every three seconds, with a login sent on every connect.
#include <windows.h>

#include <string>

#include "ext/hpsocket_api.h"
#include "ext/node_api.h"

// The page host's loading-finished handler: starts the link on the first
// success; hands every failure to OnPageLoadFailed (page_load_retry.h), before
// and after the link started; ignores the local screen's loads.
void __cdecl OnPageLoaded(wkeWebView view, void* param, wkeString url, int result,
                          wkeString reason);
// Creates and configures the client and starts the watchdog; the first
// connect is the watchdog's.
bool StartLink();
// Stops the watchdog (waiting for it), then stops and destroys the client.
// Messages sent to the GUI thread meanwhile are still handled, so a socket
// worker blocked on the page cannot hang the stop. The fatal-error path
// bounds both waits; a normal exit waits as long as they take.
void StopLink(DWORD watchdog_wait_ms = INFINITE, DWORD client_wait_ms = INFINITE);
// True from SilenceLink (or the start of StopLink) to the end of StopLink:
// pushes are no longer relayed and link events no longer logged.
bool LinkStopping();
// Stops relaying and logging link events; shutdown calls it before its first
// log line.
void SilenceLink();
// Logs a link event under "客户通信" unless the link has been silenced.
void LinkLog(const std::string& message);

// The three socket events.
En_HP_HandleResult __stdcall OnLinkConnect(HP_Client sender, HP_CONNID id);
En_HP_HandleResult __stdcall OnLinkClose(HP_Client sender, HP_CONNID id,
                                         En_HP_SocketOperation operation, int error_code);

// Waits for a handle while handling messages that other threads send to
// this thread's windows; false when wait_ms passed first.
bool WaitHandlingSentMessages(HANDLE handle, DWORD wait_ms = INFINITE);
