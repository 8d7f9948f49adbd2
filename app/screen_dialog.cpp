#include "app/screen_dialog.h"

#include <string>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/display_follow.h"
#include "app/status_file.h"
#include "log/log_file.h"

namespace {

constexpr int kDialogWidth = 275;
constexpr int kDialogHeight = 167;
constexpr UINT kCloseDialogMessage = WM_APP + 10;
constexpr char kLogCategory[] = "选择";
constexpr char kNoteText[] =
    "注意:  \r\n"
    "选择屏幕后窗口会移动到相应的屏幕上全屏显示，选择后，下次启动默认为上次选择屏幕";

std::vector<RECT> g_monitors;
int g_current_screen = 0;
bool g_current_was_primary = false;
HWND g_dialog = nullptr;
bool g_modal = false;
MonitorSource g_monitor_source = nullptr;

void Log(const std::string& message) { WriteLog(kLogCategory, message); }

HWND CreateChild(HWND dialog, const char* window_class, const char* text, DWORD style, int id,
                 int left, int top, int width, int height) {
  HWND child = ::CreateWindowExA(0, window_class, text, WS_CHILD | WS_VISIBLE | style, left, top,
                                 width, height, dialog, reinterpret_cast<HMENU>(INT_PTR(id)),
                                 ::GetModuleHandleA(nullptr), nullptr);
  ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
  return child;
}

void BuildDialog(HWND dialog) {
  // Sizes and positions are in pixels, so the children are made here rather
  // than from a template in dialog units.
  ::SetWindowPos(dialog, nullptr, 0, 0, kDialogWidth, kDialogHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CreateChild(dialog, "STATIC", "选择屏幕", 0, kScreenLabelId, 8, 17, 48, 17);
  CreateChild(dialog, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kScreenListId, 61,
              17, 200, 200);
  CreateChild(dialog, "STATIC", kNoteText, 0, kScreenNoteId, 27, 57, 216, 64);
}

void CollectMonitors() {
  g_monitors.clear();
  if (g_monitor_source) {
    g_monitor_source();
  } else {
    ::EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, 0);
  }
}

void CloseDialog(HWND dialog) { ::PostMessageA(dialog, kCloseDialogMessage, 0, 0); }

INT_PTR CALLBACK ScreenDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      g_dialog = dialog;
      BuildDialog(dialog);
      FillScreenList(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == kScreenListId && HIWORD(wparam) == CBN_SELCHANGE) {
        ApplyScreenChoice(dialog);
      } else if (LOWORD(wparam) == IDCANCEL) {
        CloseDialog(dialog);
      }
      return TRUE;
    case WM_CLOSE:
    case kCloseDialogMessage:
      if (g_modal) {
        ::EndDialog(dialog, 0);
      } else {
        ::DestroyWindow(dialog);
      }
      return TRUE;
    case WM_DESTROY:
      if (g_dialog == dialog) g_dialog = nullptr;
      return TRUE;
  }
  return FALSE;
}

// An empty in-memory template: caption and frame only.
struct EmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu, window_class, title;
};

EmptyDialogTemplate MakeTemplate() {
  EmptyDialogTemplate t = {};
  t.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
  return t;
}

}  // namespace

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT rect, LPARAM) {
  auto position = g_monitors.begin();
  while (position != g_monitors.end() && position->left <= rect->left) ++position;
  g_monitors.insert(position, *rect);
  return TRUE;
}

std::string ScreenItemText(int number, const RECT& rect) {
  return "序号: " + std::to_string(number) + " (w:" + std::to_string(rect.right - rect.left) +
         " h:" + std::to_string(rect.bottom - rect.top) + ")";
}

void FillScreenList(HWND dialog) {
  char title[256] = {};
  ::GetWindowTextA(App().main_window, title, sizeof(title));
  ::SetWindowTextA(dialog, (std::string(title) + "屏幕选择").c_str());
  CollectMonitors();
  HWND list = ::GetDlgItem(dialog, kScreenListId);
  ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < g_monitors.size(); ++i) {
    int number = static_cast<int>(i) + 1;
    LRESULT item =
        ::SendMessageA(list, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(ScreenItemText(number, g_monitors[i]).c_str()));
    ::SendMessageA(list, CB_SETITEMDATA, item, number);
  }
  int stored = LeadingInteger(ReadIni("local", "index", "0"));
  if (stored < 1) return;
  LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
  for (LRESULT item = 0; item < count; ++item) {
    if (::SendMessageA(list, CB_GETITEMDATA, item, 0) == stored) {
      ::SendMessageA(list, CB_SETCURSEL, item, 0);
      break;
    }
  }
  ApplyScreenChoice(dialog);
}

void ApplyScreenChoice(HWND dialog) {
  HWND list = ::GetDlgItem(dialog, kScreenListId);
  LRESULT position = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (position < 0) return Log("未选中");
  int value = static_cast<int>(::SendMessageA(list, CB_GETITEMDATA, position, 0));
  std::string chosen = "选中值:" + std::to_string(value);
  if (value < 1) return Log(chosen);
  std::string current = "," + std::to_string(g_current_screen);
  if (value == g_current_screen) return Log(chosen + current);
  int count = static_cast<int>(g_monitors.size());
  if (value > count) return Log(chosen + current + " 屏幕数:" + std::to_string(count));
  g_current_screen = value;
  g_current_was_primary = IsPrimaryMonitor(g_monitors[value - 1]);
  WriteIni("local", "index", std::to_string(value));
  MoveToScreen(g_monitors[value - 1]);
  StatusScreen(value);
  CloseDialog(dialog);
}

void MoveToScreen(const RECT& rect) {
  HWND window = App().main_window;
  ::SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(window, SW_SHOW);
}

void ShowScreenDialog() {
  if (g_dialog) return;
  EmptyDialogTemplate dialog_template = MakeTemplate();
  g_modal = true;
  ::DialogBoxIndirectParamA(::GetModuleHandleA(nullptr), &dialog_template.header, App().main_window,
                            ScreenDialogProc, 0);
  g_modal = false;
  g_dialog = nullptr;
}

void CloseScreenDialog() {
  if (g_dialog) CloseDialog(g_dialog);
}

void RefreshMonitorList() { CollectMonitors(); }

void RefillOpenScreenDialog() {
  if (g_dialog) FillScreenList(g_dialog);
}

const std::vector<RECT>& MonitorList() { return g_monitors; }
int CurrentScreen() { return g_current_screen; }
bool CurrentScreenWasPrimary() { return g_current_was_primary; }
void SetMonitorSourceForTest(MonitorSource source) { g_monitor_source = source; }
void ResetScreenStateForTest() {
  g_current_screen = 0;
  g_current_was_primary = false;
  g_monitors.clear();
}

HWND CreateScreenDialogForTest(HWND owner) {
  EmptyDialogTemplate dialog_template = MakeTemplate();
  g_modal = false;
  return ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr), &dialog_template.header, owner,
                                      ScreenDialogProc, 0);
}
