#include "app/main_window.h"

#include "app/display_follow.h"
#include "app/tray_icon.h"
#include "app/update_handoff.h"

namespace {

MainWindowHandlers g_handlers;
constexpr WPARAM kDevicesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

void OnTrayCommand(HWND window, UINT command) {
  switch (command) {
    case kTrayCommandSettings:
      if (g_handlers.on_settings) g_handlers.on_settings();
      break;
    case kTrayCommandUpdate:
      HandOffUpdateDetached(UpdateMode::kVisible);
      break;
    case kTrayCommandExit:
      if (g_handlers.on_exit) g_handlers.on_exit();
      CloseWindowAsync(window);
      break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      if (g_handlers.on_created) g_handlers.on_created(window);
      return 0;
    case WM_CLOSE:
      // Close box, Alt+F4 and system close are refused: a customer display
      // must not be closed by accident.
      return 0;
    case kPrivateCloseMessage:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      if (g_handlers.on_destroyed) g_handlers.on_destroyed();
      ::PostQuitMessage(0);
      return 0;
    case kTrayMessage:
      if (TrayEventKind(lparam) == 3) ShowTrayMenu(window);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == 0 && lparam == 0) OnTrayCommand(window, LOWORD(wparam));
      return 0;
    case WM_DISPLAYCHANGE:
      NoteDisplayChange(window);
      return 0;
    case WM_DEVICECHANGE:
      // A monitor plugged in or out changes the device tree; nothing more is
      // said about which device, so the monitors are simply listed again.
      if (wparam == kDevicesChanged) NoteDisplayChange(window);
      return TRUE;
    case WM_TIMER:
      if (IsDisplayChangeTimer(wparam)) {
        if (g_handlers.on_display_change) g_handlers.on_display_change();
        return 0;
      }
      break;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

HWND CreateMainWindow(const MainWindowHandlers& handlers) {
  g_handlers = handlers;
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = MainWindowProc;
  window_class.hInstance = ::GetModuleHandleA(nullptr);
  window_class.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  window_class.lpszClassName = kMainWindowClass;
  ::RegisterClassExA(&window_class);
  return ::CreateWindowExA(0, kMainWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           window_class.hInstance, nullptr);
}

void CloseWindowAsync(HWND window) { ::PostMessageA(window, kPrivateCloseMessage, 0, 0); }

int RunMessageLoop() {
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
