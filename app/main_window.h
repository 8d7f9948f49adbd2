#pragma once
// The program's one main window: borderless, created hidden at (0, 0) with
// zero size, it runs start-up when created and shutdown when destroyed.
#include <windows.h>

// The private message that destroys the main window asynchronously.
inline constexpr UINT kPrivateCloseMessage = WM_APP + 1;
inline constexpr char kMainWindowClass[] = "TarnlumoMainWindow";

// What the main window does on its events; tests replace the start-up.
struct MainWindowHandlers {
  void (*on_created)(HWND window) = nullptr;
  void (*on_destroyed)() = nullptr;
  void (*on_settings)() = nullptr;
  // Tray "退出": runs before the window is closed (closes an open dialog).
  void (*on_exit)() = nullptr;
  // The monitors changed (gathered over a short burst of messages).
  void (*on_display_change)() = nullptr;
};

// Registers the class and creates the window; the created handler runs inside.
HWND CreateMainWindow(const MainWindowHandlers& handlers);
// Destroys a window after the current handler has returned (posted).
void CloseWindowAsync(HWND window);
// Runs the message loop until the main window is destroyed; the exit code.
int RunMessageLoop();
