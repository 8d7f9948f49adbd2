#pragma once
// The end of a process after a fatal error, from whichever thread it came:
// the shutdown steps run on the GUI thread (handed over when the error came
// from another thread), every wait in them is bounded, a new copy is started
// when allowed, and the process ends with a non-zero code within ten seconds
// whatever hangs.
#include <windows.h>

// Exit code of a process ended by a fatal error.
inline constexpr UINT kFatalExitCode = 3;
// The whole fatal path, from the error to the process's end, lasts at most this.
inline constexpr DWORD kFatalBoundMs = 10000;
// Posted to the main window to run the fatal shutdown on the GUI thread.
inline constexpr UINT kFatalShutdownMessage = WM_APP + 3;

// Start-up names the GUI thread and its main window (the hand-over target).
void SetFatalShutdownWindow(HWND main_window);
// After "错误提示" has been logged: restarts if allowed, shuts down, ends the
// process. Does not return.
[[noreturn]] void ShutdownAfterFatalError();
// The main window's handler of kFatalShutdownMessage: the shutdown steps on
// the GUI thread, then the end of the process.
void RunFatalShutdown();
// The GUI thread is known not to answer (a hang): the fatal path runs the
// shutdown steps on the failing thread instead of handing them over.
void NoteGuiThreadUnresponsive();
// Ends the process at once with the fatal exit code.
[[noreturn]] void EndProcessNow();
