#pragma once
// The tray icon of the main window and its menu "托盘".
#include <windows.h>

// Window message the tray icon sends to the main window.
inline constexpr UINT kTrayMessage = WM_APP + 2;
// Menu command ids, in menu order.
inline constexpr UINT kTrayCommandSettings = 1001;  // "设置"
inline constexpr UINT kTrayCommandUpdate = 1002;    // "更新"
inline constexpr UINT kTrayCommandExit = 1003;      // "退出"
// Resource id of the tray icon image.
inline constexpr int kTrayIconResource = 101;

// Tray event kinds: 1 left button released, 2 left double-click,
// 3 right button released or the context-menu key; 0 anything else.
int TrayEventKind(LPARAM tray_lparam);

bool AddTrayIcon(HWND window);
// Removes the icon; false when none was shown. Waits at most wait_ms for the
// shell: the removal goes on by itself on a helper thread (Wine's shell takes
// two seconds to answer on a display without a window manager, and a
// shutdown need not wait for it).
bool RemoveTrayIconWithin(DWORD wait_ms);
bool IsTrayIconShown();
// A new popup menu with the three items in order; the caller destroys it.
HMENU CreateTrayMenu();
// Opens the menu at the cursor; the choice arrives as WM_COMMAND.
void ShowTrayMenu(HWND window);
