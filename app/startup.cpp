#include "app/startup.h"

#include <shlobj.h>

#include <string>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/exception_hooks.h"
#include "app/hang_watch.h"
#include "app/main_window.h"
#include "app/orderly_restart.h"
#include "app/screen_dialog.h"
#include "app/shortcuts.h"
#include "app/status_file.h"
#include "app/system_utils.h"
#include "app/tray_icon.h"
#include "app/update_handoff.h"
#include "app/watcher.h"
#include "ext/library_check.h"
#include "link/port_discovery.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "page/console_report.h"
#include "page/offline_screen.h"
#include "page/page_commands.h"
#include "page/page_host.h"
#include "page/page_navigation.h"
#include "page/page_origin.h"
#include "page/script_bridge.h"
#include "util/fault_point.h"

namespace {

// A machine that booted moments ago is given time before anything reaches
// for the network.
constexpr int64_t kBootSettleUptimeMs = 5000;
constexpr DWORD kBootDelayMs = 5000;

void FillState(AppState& app) {
  app.run_directory = ProcessDirectory();
  app.executable_name = ProcessFileName();
  app.config_path = app.run_directory + "config.ini";
  app.pc_name = GetPcName();
}

void CreateConfigWhenMissing(const AppState& app) {
  if (::GetFileAttributesA(app.config_path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  WriteIniFile(app.config_path, "server", "ip", "127.0.0.1");
}

void RefreshShortcuts() {
  EnsureShortcut(SpecialFolder(CSIDL_DESKTOPDIRECTORY));
  EnsureShortcut(SpecialFolder(CSIDL_STARTUP));
}

void LogVersion(const AppState& app) {
  std::string version = FileVersion(app.run_directory + app.executable_name);
  WriteLog("版本号", version + " name:" + app.executable_name);
}

// Binds the page host to the main window and everything the page needs;
// false when the engine gave no view.
bool PreparePage(AppState& app) {
  PageHost& host = Host();
  if (!host.Attach(app.main_window, true, false)) {
    WriteLog("窗口绑定", "失败");
    CloseWindowAsync(app.main_window);
    return false;
  }
  app.page_message = ::RegisterWindowMessageA(kPageMessageName);
  host.SetLocalStorageFullPath(app.run_directory);
  host.OnConsole(ConsoleReport, nullptr);
  BindFunction("serverJS", PageCommandHandler, 1);
  host.SetMessageFilter(HostMessageFilter);
  host.OnLoadingFinish(OnPageLoaded, nullptr);
  host.OnNavigation(OnPageNavigation, nullptr);
  host.OnCreateView(OnPageCreateView, nullptr);
  SetLocalScreenCheck(&IsLocalScreenUrl);
  return true;
}

// The page's own origin, and those the shop lists as its own too.
void TrustOrigins(const std::string& page_url) {
  std::string listed = ReadIni("local", "trust");
  TrustPageOrigins(page_url, listed);
  if (!listed.empty()) WriteLog("WKE", "trust:" + listed);
}

}  // namespace

void StartUp(HWND main_window) {
  AppState& app = App();
  app.app_name = kAppName;
  // First of all: the PC name, the update hand-off, libcurl and the library
  // check load outside libraries, whose own start-up code may fail too. A
  // fault before the log is open still ends the process in bounded time.
  InstallFatalErrorHandler();
  app.restart_history = ParseRestartArguments(::GetCommandLineA());
  WaitForReplacedProcess(app.restart_history);
  if (!app.instance_lock.Acquire(std::string("Tarn") + kAppName)) {
    // Another instance runs: leave silently, before anything shows or logs.
    ::ExitProcess(0);
  }
  // As soon as this copy is the one that runs: an installer that finds the
  // window and stands the watcher down before the watcher started must still
  // be heard, or the end it then forces would be taken for a crash and undone.
  CreateStandDownEvent();
  ::SetWindowTextA(main_window, kMainWindowTitle);
  EnablePrivilege("SeDebugPrivilege");
  FillState(app);
  StartStatusFile(main_window, app.run_directory,
                  FileVersion(app.run_directory + app.executable_name), app.restart_history);
  CreateConfigWhenMissing(app);
  if (UptimeMs() < kBootSettleUptimeMs) ::Sleep(kBootDelayMs);
  LoadConfig(app.config_path);
  app.restart_after_fatal_error = ReadIni("local", "restart") != "0";
  RefreshShortcuts();
  HandOffUpdate(UpdateMode::kHidden);
  OpenLog(app.app_name, app.run_directory);
  LogVersion(app);
  // A broken installation says so at once; a healthy one adds nothing.
  LogLibraryProblems();
  // A copy the watcher started says why: the process it replaces could not.
  std::string abrupt_end = AbruptEndRestartLine();
  if (!abrupt_end.empty()) WriteLog(kRestartCategory, abrupt_end);
  FaultPoint(FaultSite::kStartUp);
  StartWatcher();
  StatusState(RunState::kWaitingForServer);
  WaitForServer();
  AddTrayIcon(main_window);
  app.main_window = main_window;
  if (!PreparePage(app)) return;
  app.page_url = ConfigBaseUrl() + "/client/app/" + app.app_name + "/";
  WriteLog("页面地址", app.page_url);
  TrustOrigins(app.page_url);
  StatusState(RunState::kScreenDialog);
  ShowScreenDialog();
  StatusState(RunState::kPageLoading);
  // From here on the GUI thread only handles messages: one that stops
  // answering them is hung.
  StartHangWatch(main_window);
  // The planned restarts (memory, time of day) run from the message loop too.
  StartGuards(main_window);
  Host().Load(app.page_url);
}
