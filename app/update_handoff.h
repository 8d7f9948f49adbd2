#pragma once
// Hands everything the companion library needs to check for and install a
// newer version to common.dll. The program itself downloads nothing.
#include <windows.h>

enum class UpdateMode { kHidden = 0, kVisible = 1 };

// Blocks until the companion returns; a missing library does nothing.
void HandOffUpdate(UpdateMode mode);
// Runs HandOffUpdate on a new detached thread (the tray item and the server's
// update message); nothing waits for it, not even shutdown.
void HandOffUpdateDetached(UpdateMode mode);
