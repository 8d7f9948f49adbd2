#pragma once
// The GUI thread's hang watch: a thread of its own sends the main window a
// harmless message at a fixed interval; a GUI thread that has answered none
// of them for the limit (a page script that never returns, a call that never
// comes back) is a fatal error, ended and restarted like any other. Waits
// that still handle sent messages (a modal dialog, a menu, the bounded waits
// of the shutdown) are no hang.
#include <windows.h>

#include <cstdint>
#include <string>

struct HangWatchTimes {
  DWORD check_ms = 5000;   // one probe per interval; each may wait this long for its answer
  DWORD limit_ms = 30000;  // no answer for this long is a hang
};

// What a detected hang runs: by default it logs "错误提示" and takes the fatal
// path; tests replace it. `since_unix` is when the GUI thread last answered.
using HangAction = void (*)(DWORD silent_ms, int64_t since_unix);

// Starts watching `window`'s thread (once; a second call does nothing).
bool StartHangWatch(HWND window, HangWatchTimes times = HangWatchTimes(),
                    HangAction action = nullptr);
// Ends the watch and waits (bounded) for its thread: the orderly shutdown
// calls it first, since its own waits are not hangs of the page.
void StopHangWatch(DWORD wait_ms = 2000);
// The "错误提示" message for a hang: "GUI thread not answering since ...".
std::string HangMessage(DWORD gui_thread, DWORD silent_ms, int64_t since_unix);
// The code "错误提示" carries for a hang (Win32's WAIT_TIMEOUT).
inline constexpr int kHangErrorCode = 258;
