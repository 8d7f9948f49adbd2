#pragma once
#include <windows.h>

// Runs once, on the GUI thread, when the main window has been created: takes
// the instance lock, fills the application state, prepares config, shortcuts,
// log and server, binds the page host and loads the page.
void StartUp(HWND main_window);
