#pragma once
#include <windows.h>
// Releases, in a fixed order, what start-up acquired. Every step checks its
// own state first, so a second run (the fatal-error path followed by the
// window's destruction) does nothing more. While a bounded shutdown runs on
// another thread, Shutdown stops the calling thread instead: that one ends
// the process.
void Shutdown();
// The same steps with every wait bounded, together at most about total_ms,
// all counted against one deadline: the fatal-error path, where the thread
// waited for may be the one that failed. Leaves out the global clean-up of
// libcurl and Winsock, which only threads known to have ended allow.
void ShutdownWithin(DWORD total_ms);
