#include "app/tray_icon.h"

#include <shellapi.h>

#include <cstring>

namespace {

constexpr UINT kTrayIconId = 1;

NOTIFYICONDATAA g_icon = {};
bool g_shown = false;

// Takes the icon's data over from the caller.
DWORD WINAPI DeleteIconThread(void* data) {
  NOTIFYICONDATAA* icon = static_cast<NOTIFYICONDATAA*>(data);
  ::Shell_NotifyIconA(NIM_DELETE, icon);
  if (icon->hIcon) ::DestroyIcon(icon->hIcon);
  delete icon;
  return 0;
}

}  // namespace

int TrayEventKind(LPARAM tray_lparam) {
  switch (LOWORD(tray_lparam)) {
    case WM_LBUTTONUP:
      return 1;
    case WM_LBUTTONDBLCLK:
      return 2;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      return 3;
    default:
      return 0;
  }
}

bool AddTrayIcon(HWND window) {
  if (g_shown) return true;
  g_icon = {};
  g_icon.cbSize = sizeof(g_icon);
  g_icon.hWnd = window;
  g_icon.uID = kTrayIconId;
  g_icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  g_icon.uCallbackMessage = kTrayMessage;
  g_icon.hIcon = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr),
                                                 MAKEINTRESOURCEA(kTrayIconResource), IMAGE_ICON,
                                                 16, 16, LR_DEFAULTCOLOR));
  // The tooltip is the window's current title.
  ::GetWindowTextA(window, g_icon.szTip, sizeof(g_icon.szTip));
  g_shown = ::Shell_NotifyIconA(NIM_ADD, &g_icon) != FALSE;
  return g_shown;
}

bool RemoveTrayIconWithin(DWORD wait_ms) {
  if (!g_shown) return false;
  NOTIFYICONDATAA* icon = new NOTIFYICONDATAA(g_icon);
  g_icon = {};
  g_shown = false;
  HANDLE thread = ::CreateThread(nullptr, 0, DeleteIconThread, icon, 0, nullptr);
  if (thread == nullptr) {
    DeleteIconThread(icon);
    return true;
  }
  ::WaitForSingleObject(thread, wait_ms);
  ::CloseHandle(thread);
  return true;
}

bool IsTrayIconShown() { return g_shown; }

HMENU CreateTrayMenu() {
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return nullptr;
  ::AppendMenuA(menu, MF_STRING, kTrayCommandSettings, "设置");
  ::AppendMenuA(menu, MF_STRING, kTrayCommandUpdate, "更新");
  ::AppendMenuA(menu, MF_STRING, kTrayCommandExit, "退出");
  return menu;
}

void ShowTrayMenu(HWND window) {
  HMENU menu = CreateTrayMenu();
  if (!menu) return;
  POINT cursor;
  ::GetCursorPos(&cursor);
  // Without the foreground switch the menu would not close when the user
  // clicks elsewhere.
  ::SetForegroundWindow(window);
  ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
  ::PostMessageA(window, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
}
