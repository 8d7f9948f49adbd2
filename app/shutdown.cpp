#include "app/shutdown.h"

#include "app/app_state.h"
#include "app/tray_icon.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "net/http_global.h"

void Shutdown() {
  WriteLog("开始销毁");
  RemoveTrayIcon();
  StopLink();
  WriteLog("销毁");
  StopLog();
  ReleaseHttpGlobal();
  App().instance_lock.Release();
}
