#pragma once
#include <windows.h>

// Runs once, on the GUI thread, when the main window has been created: takes
// the instance lock, fills the application state, prepares config, shortcuts,
// log and server, binds the page host and loads the page.
void StartUp(HWND main_window);

// Seams for tests: the boot-delay sleep, and whether start-up may end the
// process when another instance holds the lock.
using StartUpSleep = void (*)(DWORD milliseconds);
void SetStartUpSleepForTest(StartUpSleep sleep);
