#include "app/shutdown.h"

#include "app/app_state.h"
#include "app/tray_icon.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "net/http_global.h"

void Shutdown() {
  // Socket events arriving from here on are not logged, so the run's log
  // ends with the two shutdown lines.
  SilenceLink();
  WriteLog("开始销毁");
  RemoveTrayIcon();
  StopLink();
  WriteLog("销毁");
  StopLog();
  ReleaseHttpGlobal();
  App().instance_lock.Release();
}
