#pragma once
#include <windows.h>
// Releases, in a fixed order, what start-up acquired. Every step checks its
// own state first, so a second run (the fatal-error path followed by the
// window's destruction) does nothing more.
void Shutdown();
// The same steps with every wait bounded, together at most about total_ms:
// the fatal-error path, where the thread waited for may be the one that
// failed.
void ShutdownWithin(DWORD total_ms);
