#pragma once
// The end of a process after a fatal error, from whichever thread it came.
// The fatal path runs on a thread of its own, started before any error (a
// thread out of stack, or one inside an engine callback, can do no more than
// hand over and stop): it logs the error, starts a new copy when allowed,
// runs the shutdown steps with every wait bounded, and ends the process. One
// deadline, counted from the error, bounds the whole stop: a deadline thread
// writes what the log still holds and ends the process with a non-zero code
// within ten seconds of the error, whatever hangs.
#include <windows.h>

struct FatalRecord;

// Exit code of a process ended by a fatal error.
inline constexpr UINT kFatalExitCode = 3;
// The whole fatal path, from the error to the process's end, lasts at most this.
inline constexpr DWORD kFatalBoundMs = 10000;
// The shutdown steps end this long before the bound; the rest is the
// deadline threads' (writing the log's last lines, ending the process).
inline constexpr DWORD kShutdownMarginMs = 1500;

// Starts the fatal thread and the deadline threads, idle until an error.
// False when they could not be started: the fatal path then runs on the
// failing thread, as well as it can.
bool PrepareFatalPath();
// From the thread of the first fatal error, with its record filled: wakes the
// fatal path (or runs it here when it was not prepared). Returns at once.
void BeginFatalPath(const FatalRecord& record);
// From the thread of a second fatal error: its line is logged and the process
// ends at once (from a deadline thread when prepared). Returns at once.
void EndAfterSecondError(const FatalRecord& record);

// The time left for the shutdown steps of an error at error_tick, at now_tick
// (GetTickCount64 values): what remains until kShutdownMarginMs before the
// bound, zero once that has passed.
DWORD FatalShutdownBudget(ULONGLONG error_tick, ULONGLONG now_tick);

// The shutdown steps within what is left of the deadline, then the end of
// the process. Does not return.
void RunFatalShutdown();
// Ends the process at once with the fatal exit code.
[[noreturn]] void EndProcessNow();
