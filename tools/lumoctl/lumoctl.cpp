// lumoctl.exe: looks at and drives the running program's windows from another
// process, for the end-to-end tests and scripts/run.sh. Every result is a
// line "key=value"; texts are printed as the program's code page 936 bytes.
// Exit code 0 on success, 1 when the window is missing or a wait timed out,
// 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "tools/lumoctl/process_stats.h"
#include "tools/lumoctl/window_lookup.h"

namespace {

// Tray menu commands and the tray icon's message, as the main window knows them.
constexpr UINT kTraySettings = 1001;
constexpr UINT kTrayUpdate = 1002;
constexpr UINT kTrayExit = 1003;
constexpr UINT kTrayEventMessage = WM_APP + 2;
constexpr UINT kTrayIconId = 1;
// A window that does not answer a sent message within this time is reported, not waited for.
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kDefaultWaitMs = 10000;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void Print(const char* key, const std::string& value) {
  std::printf("%s=%s\n", key, value.c_str());
}
void Print(const char* key, long long value) { std::printf("%s=%lld\n", key, value); }
void PrintWindow(const char* key, HWND window) {
  Print(key, static_cast<long long>(reinterpret_cast<UINT_PTR>(window)));
}

DWORD TimeoutArg(int argc, char** argv, int index) {
  return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : kDefaultWaitMs;
}

bool Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
  return ::SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL, kSendTimeoutMs,
                               result) != 0;
}

int ReportMain() {
  HWND main = FindMainWindow();
  Print("found", main ? 1 : 0);
  if (!main) return kFailed;
  RECT rect = {};
  ::GetWindowRect(main, &rect);
  DWORD process = 0;
  ::GetWindowThreadProcessId(main, &process);
  PrintWindow("hwnd", main);
  Print("pid", process);
  Print("left", rect.left);
  Print("top", rect.top);
  Print("right", rect.right);
  Print("bottom", rect.bottom);
  Print("width", rect.right - rect.left);
  Print("height", rect.bottom - rect.top);
  Print("visible", ::IsWindowVisible(main) ? 1 : 0);
  Print("title", WindowText(main));
  Print("dialog", FindScreenDialog(main) ? 1 : 0);
  Print("menu", FindOpenMenu(main) ? 1 : 0);
  return kOk;
}

HWND ProbeDialog() { return FindScreenDialog(FindMainWindow()); }
HWND ProbeMenu() { return FindOpenMenu(FindMainWindow()); }
HWND ProbeVisibleMain() {
  HWND main = FindMainWindow();
  return main && ::IsWindowVisible(main) ? main : nullptr;
}

// The item's text in code page 936. Asked for as UTF-16: Wine hands a list of
// another process back in UTF-16 even to the ANSI message.
std::string ItemText(HWND list, LRESULT item) {
  wchar_t wide[256] = {};
  if (::SendMessageW(list, CB_GETLBTEXTLEN, item, 0) >= static_cast<LRESULT>(std::size(wide))) {
    return "";
  }
  ::SendMessageW(list, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(wide));
  char text[512] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

int ReportDialog() {
  HWND dialog = ProbeDialog();
  Print("open", dialog ? 1 : 0);
  if (!dialog) return kFailed;
  PrintWindow("hwnd", dialog);
  Print("title", WindowText(dialog));
  HWND list = ::GetDlgItem(dialog, kDialogListId);
  LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
  Print("count", count);
  LRESULT selected = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
  Print("selected", selected);
  for (LRESULT item = 0; item < count; ++item) {
    std::string text = ItemText(list, item);
    std::string key = "item" + std::to_string(item + 1);
    Print(key.c_str(), text);
    key += "_value";
    Print(key.c_str(), ::SendMessageA(list, CB_GETITEMDATA, item, 0));
  }
  return kOk;
}

// Position of the list item whose value is `screen`, or -1.
LRESULT ItemOfScreen(HWND list, int screen) {
  LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
  for (LRESULT item = 0; item < count; ++item) {
    if (::SendMessageA(list, CB_GETITEMDATA, item, 0) == screen) return item;
  }
  return -1;
}

// Selects screen `screen` as a user would: the list's selection changes, then
// the dialog hears about it.
int ChooseScreen(int screen, DWORD timeout_ms) {
  HWND dialog = nullptr;
  if (!WaitFor(ProbeDialog, true, timeout_ms, &dialog)) {
    Print("open", 0);
    return kFailed;
  }
  HWND list = ::GetDlgItem(dialog, kDialogListId);
  LRESULT item = ItemOfScreen(list, screen);
  Print("item", item);
  if (item < 0) return kFailed;
  DWORD_PTR result = 0;
  if (!Send(list, CB_SETCURSEL, item, 0, &result)) return kFailed;
  bool sent = Send(dialog, WM_COMMAND, MAKEWPARAM(kDialogListId, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list), &result);
  Print("sent", sent ? 1 : 0);
  return sent ? kOk : kFailed;
}

int PostToMain(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND main = FindMainWindow();
  bool posted = main && ::PostMessageA(main, message, wparam, lparam);
  Print("posted", posted ? 1 : 0);
  return posted ? kOk : kFailed;
}

int SendToMain(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND main = FindMainWindow();
  DWORD_PTR result = 0;
  bool sent = main && Send(main, message, wparam, lparam, &result);
  Print("sent", sent ? 1 : 0);
  Print("result", static_cast<long long>(result));
  return sent ? kOk : kFailed;
}

// Writes `text` to the file whole, ';' standing for a line break.
bool WriteLines(const char* path, std::string text) {
  for (char& c : text) {
    if (c == ';') c = '\n';
  }
  text += '\n';
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// display-change COUNT [FILE TEXT...]: COUNT display-change messages back to
// back, as a flapping cable sends them (one lumoctl call each would be slower
// than the program's gathering time). With FILE, the texts are written to it
// in turn before each message, so the monitors really change between them.
// Prints how many were sent and the longest gap between two messages, which
// says whether the burst really was one.
int DisplayChangeBurst(int argc, char** argv) {
  int count = std::atoi(argv[2]);
  if (count < 1 || argc == 4) return kUsage;
  HWND main = FindMainWindow();
  int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
  int sent = 0;
  DWORD longest_gap = 0, last = 0;
  for (int i = 0; main && i < count; ++i) {
    if (argc > 4 && !WriteLines(argv[3], argv[4 + i % (argc - 4)])) break;
    DWORD now = ::GetTickCount();
    if (i > 0 && now - last > longest_gap) longest_gap = now - last;
    last = now;
    DWORD_PTR result = 0;
    if (!Send(main, WM_DISPLAYCHANGE, 32, MAKELPARAM(width, height), &result)) break;
    ++sent;
  }
  Print("sent", sent);
  Print("longest_gap_ms", static_cast<long long>(longest_gap));
  return sent == count ? kOk : kFailed;
}

int Tray(const std::string& item) {
  if (item == "settings") return PostToMain(WM_COMMAND, kTraySettings, 0);
  if (item == "update") return PostToMain(WM_COMMAND, kTrayUpdate, 0);
  if (item == "exit") return PostToMain(WM_COMMAND, kTrayExit, 0);
  return kUsage;
}

int TrayEvent(const std::string& kind) {
  UINT mouse = kind == "right"    ? WM_RBUTTONUP
               : kind == "left"   ? WM_LBUTTONUP
               : kind == "double" ? WM_LBUTTONDBLCLK
                                  : 0;
  if (!mouse) return kUsage;
  return PostToMain(kTrayEventMessage, kTrayIconId, mouse);
}

// A tap of the left button at a point of the main window's client area, as
// the window's queue gets it from the system: the page's own hit test decides
// what it lands on (a layered window lets clicks on its clear pixels through
// to the desktop, so a click on the X screen may never reach it).
int Tap(int x, int y) {
  HWND main = FindMainWindow();
  LPARAM point = MAKELPARAM(x, y);
  bool posted = main && ::PostMessageA(main, WM_MOUSEMOVE, 0, point) &&
                ::PostMessageA(main, WM_LBUTTONDOWN, MK_LBUTTON, point) &&
                ::PostMessageA(main, WM_LBUTTONUP, 0, point);
  Print("posted", posted ? 1 : 0);
  return posted ? kOk : kFailed;
}

// Dismisses an open popup menu the way the Escape key does.
int CancelMenu(DWORD timeout_ms) {
  HWND menu = ProbeMenu();
  if (!menu) return kOk;
  ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
  if (WaitFor(ProbeMenu, false, timeout_ms / 2, nullptr)) return kOk;
  HWND main = FindMainWindow();
  if (main) ::PostMessageA(main, WM_CANCELMODE, 0, 0);
  bool gone = WaitFor(ProbeMenu, false, timeout_ms / 2, nullptr);
  Print("menu", gone ? 0 : 1);
  return gone ? kOk : kFailed;
}

int Wait(const std::string& what, const std::string& state, DWORD timeout_ms) {
  WindowProbe probe = what == "main"      ? FindMainWindow
                      : what == "dialog"  ? ProbeDialog
                      : what == "menu"    ? ProbeMenu
                      : what == "visible" ? ProbeVisibleMain
                                          : nullptr;
  if (!probe || (state != "present" && state != "gone")) return kUsage;
  bool reached = WaitFor(probe, state == "present", timeout_ms, nullptr);
  Print("reached", reached ? 1 : 0);
  return reached ? kOk : kFailed;
}

BOOL CALLBACK PrintMonitor(HMONITOR, HDC, LPRECT rect, LPARAM data) {
  int* count = reinterpret_cast<int*>(data);
  std::string key = "monitor" + std::to_string(++*count);
  Print(key.c_str(), std::to_string(rect->left) + "," + std::to_string(rect->top) + "," +
                         std::to_string(rect->right) + "," + std::to_string(rect->bottom));
  return TRUE;
}

int Monitors() {
  int count = 0;
  ::EnumDisplayMonitors(nullptr, nullptr, PrintMonitor, reinterpret_cast<LPARAM>(&count));
  Print("count", count);
  return kOk;
}

int PcName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  if (!::GetComputerNameA(name, &size)) return kFailed;
  Print("pcname", name);
  return kOk;
}

DWORD MainProcess() {
  HWND main = FindMainWindow();
  DWORD process = 0;
  if (main) ::GetWindowThreadProcessId(main, &process);
  return process;
}

// Tells the program's watcher that the end about to come is wanted, as an
// installer does before it stops the program: the watcher ends and restarts
// nothing.
bool StandDown(DWORD process) {
  std::string name = "TarnlumoWatch-" + std::to_string(process);
  HANDLE event = process ? ::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()) : nullptr;
  bool set = event && ::SetEvent(event);
  if (event) ::CloseHandle(event);
  return set;
}

int ReportStandDown() {
  bool set = StandDown(MainProcess());
  Print("stood_down", set ? 1 : 0);
  return set ? kOk : kFailed;
}

// Ends the program's process at once. "kill" is a test clean-up's last
// resort and stands the watcher down first; "terminate" is an abrupt end
// from outside, which the watcher answers with a new copy.
int Kill(bool stand_down_first) {
  DWORD process = MainProcess();
  if (stand_down_first) StandDown(process);
  HANDLE handle = process ? ::OpenProcess(PROCESS_TERMINATE, FALSE, process) : nullptr;
  bool killed = handle && ::TerminateProcess(handle, 9);
  if (handle) ::CloseHandle(handle);
  Print("killed", killed ? 1 : 0);
  Print("pid", process);
  return killed ? kOk : kFailed;
}

// Keeps a handle to the program's process for a while, as any tool that
// watches the program does (an installer waiting for it, Task Manager): the
// process object, and its id, then outlive the process. Prints "held" once the
// handle is open, so a caller knows when it can go on.
int Hold(DWORD ms) {
  DWORD process = MainProcess();
  HANDLE handle = process ? ::OpenProcess(SYNCHRONIZE, FALSE, process) : nullptr;
  Print("held", handle ? 1 : 0);
  Print("pid", process);
  if (!handle) return kFailed;
  std::fflush(stdout);
  ::Sleep(ms);
  ::CloseHandle(handle);
  return kOk;
}

// Handles, threads and private bytes of the main window's process, each with
// the call that read it; -1 (and "none") for a figure no call could read.
int Stats() {
  HWND main = FindMainWindow();
  DWORD process = 0;
  if (main) ::GetWindowThreadProcessId(main, &process);
  ProcessStats stats;
  bool opened = process && ReadProcessStats(process, &stats);
  Print("found", opened ? 1 : 0);
  if (!opened) return kFailed;
  Print("pid", process);
  Print("handles", stats.handles);
  Print("threads", stats.threads);
  Print("private_bytes", stats.private_bytes);
  Print("handles_from", stats.handles_from);
  Print("threads_from", stats.threads_from);
  Print("private_bytes_from", stats.private_bytes_from);
  return kOk;
}

int Usage() { return kUsage; }

void PrintUsage() {
  std::fprintf(stderr,
               "usage: lumoctl main | dialog | monitors | pcname | stats | kill | terminate\n"
               "       lumoctl stand-down | hold timeout_ms\n"
               "       lumoctl close | sysclose | display-change [COUNT [FILE TEXT...]]\n"
               "       lumoctl tray settings|update|exit\n"
               "       lumoctl tray-event right|left|double | tap X Y\n"
               "       lumoctl choose N [timeout_ms] | dialog-close | menu-cancel\n"
               "       lumoctl wait main|visible|dialog|menu present|gone [timeout_ms]\n");
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "main") return ReportMain();
  if (command == "dialog") return ReportDialog();
  if (command == "monitors") return Monitors();
  if (command == "pcname") return PcName();
  if (command == "stats") return Stats();
  if (command == "kill") return Kill(true);
  if (command == "terminate") return Kill(false);
  if (command == "stand-down") return ReportStandDown();
  if (command == "hold") return Hold(TimeoutArg(argc, argv, 2));
  if (command == "close") return SendToMain(WM_CLOSE, 0, 0);
  if (command == "sysclose") return SendToMain(WM_SYSCOMMAND, SC_CLOSE, 0);
  // What Windows sends every top-level window after the monitors or their modes
  // changed (Wine does not, not even after xrandr changed the X screen).
  if (command == "display-change") {
    if (argc < 3) {
      int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
      return SendToMain(WM_DISPLAYCHANGE, 32, MAKELPARAM(width, height));
    }
    return DisplayChangeBurst(argc, argv);
  }
  if (command == "menu-cancel") return CancelMenu(TimeoutArg(argc, argv, 2));
  if (command == "dialog-close") {
    HWND dialog = ProbeDialog();
    bool posted = dialog && ::PostMessageA(dialog, WM_CLOSE, 0, 0);
    Print("posted", posted ? 1 : 0);
    return posted ? kOk : kFailed;
  }
  if (argc < 3) return Usage();
  if (command == "tray") return Tray(argv[2]);
  if (command == "tray-event") return TrayEvent(argv[2]);
  if (command == "choose") return ChooseScreen(std::atoi(argv[2]), TimeoutArg(argc, argv, 3));
  if (command == "tap" && argc >= 4) return Tap(std::atoi(argv[2]), std::atoi(argv[3]));
  if (command == "wait" && argc >= 4) return Wait(argv[2], argv[3], TimeoutArg(argc, argv, 4));
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  int code = Run(argc, argv);
  if (code == kUsage) PrintUsage();
  std::fflush(stdout);
  return code;
}
