#include "app/shutdown.h"

#include "app/app_state.h"
#include "app/hang_watch.h"
#include "app/status_file.h"
#include "app/tray_icon.h"
#include "app/watcher.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "net/http_global.h"
#include "util/fault_point.h"

namespace {

// Shares of a bounded shutdown's time: the watchdog notices its quit flag
// within a second, the client's stop waits for its workers, the log writer
// has the rest but the status file's last write.
constexpr DWORD kWatchdogShare = 25;
constexpr DWORD kClientShare = 40;
constexpr DWORD kStatusShare = 5;
constexpr DWORD kLogShare = 25;
// The hang watch ends within a second once told; its wait is no hang.
constexpr DWORD kHangWatchStopMs = 1000;

DWORD Share(DWORD total_ms, DWORD percent) {
  return total_ms == INFINITE ? INFINITE : total_ms / 100 * percent;
}

void RunSteps(DWORD total_ms) {
  // This end is the program's own: nothing may restart it, and the waits
  // below are not hangs.
  StandDownWatcher();
  StopHangWatch(kHangWatchStopMs);
  // Socket events arriving from here on are not logged, so the run's log
  // ends with the two shutdown lines.
  SilenceLink();
  WriteLog("开始销毁");
  StatusState(RunState::kShuttingDown);
  FaultPoint(FaultSite::kShutdown);
  RemoveTrayIcon();
  StopLink(Share(total_ms, kWatchdogShare), Share(total_ms, kClientShare));
  StopStatusFile(Share(total_ms, kStatusShare));
  WriteLog("销毁");
  StopLog(Share(total_ms, kLogShare));
  ReleaseHttpGlobal();
  App().instance_lock.Release();
}

}  // namespace

void Shutdown() { RunSteps(INFINITE); }

void ShutdownWithin(DWORD total_ms) { RunSteps(total_ms); }
