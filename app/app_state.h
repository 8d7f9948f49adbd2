#pragma once
// The process-wide application state, filled once by start-up on the GUI
// thread and read-only afterwards. All texts are code page 936.
#include <windows.h>

#include <string>

#include "app/restart.h"
#include "util/named_mutex.h"

class PageHost;

// The application's short name, used in the lock name, the page URL, the log
// folder, the update hand-off and the page command "appname".
inline constexpr const char kAppName[] = "lumo";
// The main window's title; the screen dialog and the tray tooltip reuse it.
inline constexpr const char kMainWindowTitle[] = "Tarn-POS背屏";
// Name of the window message that worker threads use to reach the page.
inline constexpr const char kPageMessageName[] = "tarnclienthotkey";
// wParam values of the page message.
inline constexpr WPARAM kPageRunScript = 1;
inline constexpr WPARAM kPageReload = 2;

struct AppState {
  std::string app_name;         // "lumo"
  std::string run_directory;    // program folder, ends in a backslash
  std::string executable_name;  // file name of the running program
  std::string config_path;      // run_directory + "config.ini"
  std::string pc_name;          // from common.dll
  HWND main_window = nullptr;
  UINT page_message = 0;  // RegisterWindowMessageA(kPageMessageName)
  std::string page_url;   // kept for reloads
  NamedMutex instance_lock;
  // [local] restart=0 turns the restart after a fatal error off.
  bool restart_after_fatal_error = true;
  // Set when this copy was started by one that ended in a fatal error.
  RestartHistory restart_history;
};

// The one application state of the process.
AppState& App();
// The one page host of the process, bound to the main window during start-up.
PageHost& Host();
