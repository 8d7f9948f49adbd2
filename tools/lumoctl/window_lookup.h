#pragma once
// Finding the program's windows from another process: the main window by its
// class, the screen dialog by its owner and title, an open popup menu.
#include <windows.h>

#include <string>

// Class and texts of the program's windows (code page 936 bytes, as the
// program itself stores them).
inline constexpr char kMainClass[] = "TarnlumoMainWindow";
inline constexpr char kMainTitle[] = "Tarn-POS背屏";
inline constexpr char kDialogTitle[] = "Tarn-POS背屏屏幕选择";
inline constexpr int kDialogListId = 1002;

// The main window, or null.
HWND FindMainWindow();
// The screen dialog owned by `main`, or null.
HWND FindScreenDialog(HWND main);
// A visible popup menu window (class "#32768") of the process owning `main`, or null.
HWND FindOpenMenu(HWND main);
std::string WindowText(HWND window);

// Polls `found` every 50 ms until it returns what `want_present` asks for
// (non-null or null) or `timeout_ms` passes; the last window seen.
using WindowProbe = HWND (*)();
bool WaitFor(WindowProbe found, bool want_present, DWORD timeout_ms, HWND* last);
