#include "tools/lumoctl/window_lookup.h"

namespace {

constexpr DWORD kPollMs = 50;

struct DialogSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  if (::GetWindow(window, GW_OWNER) != search->owner) return TRUE;
  char class_name[64] = {};
  ::GetClassNameA(window, class_name, sizeof(class_name));
  if (std::string(class_name) != "#32770") return TRUE;
  if (WindowText(window) != kDialogTitle) return TRUE;
  search->found = window;
  return FALSE;
}

struct MenuSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK MatchMenu(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<MenuSearch*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != search->process || !::IsWindowVisible(window)) return TRUE;
  char class_name[64] = {};
  ::GetClassNameA(window, class_name, sizeof(class_name));
  if (std::string(class_name) != "#32768") return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindMainWindow() { return ::FindWindowA(kMainClass, nullptr); }

HWND FindScreenDialog(HWND main) {
  if (!main) return nullptr;
  DialogSearch search{main, nullptr};
  ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindOpenMenu(HWND main) {
  if (!main) return nullptr;
  MenuSearch search{0, nullptr};
  ::GetWindowThreadProcessId(main, &search.process);
  ::EnumWindows(MatchMenu, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string WindowText(HWND window) {
  char text[512] = {};
  ::GetWindowTextA(window, text, sizeof(text));
  return text;
}

bool WaitFor(WindowProbe found, bool want_present, DWORD timeout_ms, HWND* last) {
  DWORD start = ::GetTickCount();
  for (;;) {
    HWND window = found();
    if (last) *last = window;
    if ((window != nullptr) == want_present) return true;
    if (::GetTickCount() - start >= timeout_ms) return false;
    ::Sleep(kPollMs);
  }
}
