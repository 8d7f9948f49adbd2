// Tarnlumo.exe: the customer display of the till.
#include <windows.h>

#include "app/display_follow.h"
#include "app/main_window.h"
#include "app/screen_dialog.h"
#include "app/shutdown.h"
#include "app/startup.h"
#include "app/watcher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The same file runs as the program's watcher: no window, no lock.
  if (IsWatcherCommandLine(::GetCommandLineA())) return RunWatcher(::GetCommandLineA());
  MainWindowHandlers handlers;
  handlers.on_created = StartUp;
  handlers.on_destroyed = Shutdown;
  handlers.on_settings = ShowScreenDialog;
  handlers.on_exit = CloseScreenDialog;
  handlers.on_display_change = FollowDisplayChange;
  if (!CreateMainWindow(handlers)) return 1;
  return RunMessageLoop();
}
