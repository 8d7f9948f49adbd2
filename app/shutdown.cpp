#include "app/shutdown.h"

#include <atomic>

#include "app/app_state.h"
#include "app/hang_watch.h"
#include "app/status_file.h"
#include "app/tray_icon.h"
#include "app/watcher.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "net/http_global.h"
#include "util/deadline.h"
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
// The shell removes the tray icon on its own time; a restart waits for this
// process's end, so the shutdown does not wait for the shell longer.
constexpr DWORD kTrayRemoveWaitMs = 250;

// The thread running a bounded shutdown, while it runs.
std::atomic<DWORD> g_bounded_runner{0};

// One deadline for every step: each step waits its share of the whole, but
// never past the deadline, so a step that used up its time leaves the later
// ones theirs and nothing waits once the deadline has passed.
class StepClock {
 public:
  explicit StepClock(DWORD total_ms) : total_ms_(total_ms), deadline_(total_ms) {}
  DWORD Share(DWORD percent) const {
    if (!Bounded()) return INFINITE;
    return Cap(total_ms_ / 100 * percent);
  }
  DWORD Cap(DWORD wait_ms) const {
    DWORD left = deadline_.Remaining();
    return wait_ms < left ? wait_ms : left;
  }
  bool Bounded() const { return total_ms_ != INFINITE; }

 private:
  DWORD total_ms_;
  Deadline deadline_;
};

void RunSteps(DWORD total_ms) {
  StepClock clock(total_ms);
  // This end is the program's own: nothing may restart it, and the waits
  // below are not hangs.
  StandDownWatcher();
  StopHangWatch(clock.Cap(kHangWatchStopMs));
  // Socket events arriving from here on are not logged, so the run's log
  // ends with the two shutdown lines.
  SilenceLink();
  WriteLog("开始销毁");
  StatusState(RunState::kShuttingDown);
  FaultPoint(FaultSite::kShutdown);
  RemoveTrayIconWithin(clock.Cap(kTrayRemoveWaitMs));
  StopLink(clock.Share(kWatchdogShare), clock.Share(kClientShare));
  StopStatusFile(clock.Share(kStatusShare));
  WriteLog("销毁");
  StopLog(clock.Share(kLogShare));
  // libcurl's and Winsock's global clean-up only under threads known to have
  // ended. A bounded shutdown is the fatal path's: a wait may have timed out,
  // and the failing thread itself is stopped where it failed, perhaps inside
  // libcurl. The process ends at once after it, so nothing is lost.
  if (!clock.Bounded()) ReleaseHttpGlobal();
  App().instance_lock.Release();
}

}  // namespace

void Shutdown() {
  // The fatal path's shutdown is running on its own thread and will end the
  // process: a second run beside it (the window being destroyed meanwhile)
  // would race it step by step.
  DWORD runner = g_bounded_runner.load();
  if (runner != 0 && runner != ::GetCurrentThreadId()) {
    for (;;) ::Sleep(INFINITE);
  }
  RunSteps(INFINITE);
}

void ShutdownWithin(DWORD total_ms) {
  g_bounded_runner = ::GetCurrentThreadId();
  RunSteps(total_ms);
  g_bounded_runner = 0;
}
