#include "app/orderly_restart.h"

#include <ctime>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/daily_restart.h"
#include "app/event_report.h"
#include "app/guard_seams.h"
#include "app/main_window.h"
#include "app/memory_guard.h"
#include "app/restart.h"
#include "app/screen_dialog.h"
#include "log/log_file.h"

namespace {

constexpr UINT_PTR kGuardTimerId = 0x4752;       // "GR"
constexpr UINT_PTR kGuardRetryTimerId = 0x4753;  // a deferred restart, once a command returned
// Long enough to be back in the message loop, short enough to follow at once.
constexpr UINT kRetryMs = 100;
constexpr char kMemoryReasonStart[] = "reason:memory";

HWND g_window = nullptr;
GuardPlan g_plan;
GuardSeams g_seams;
GuardVerdict g_verdict;
int g_command_depth = 0;
bool g_restarting = false;

void StopTimers() {
  if (g_window == nullptr) return;
  ::KillTimer(g_window, kGuardTimerId);
  ::KillTimer(g_window, kGuardRetryTimerId);
}

// A restart that could not start its copy: the guard that asked stays quiet
// until tomorrow (daily) or for the run (memory), so the log is not filled
// with the same failure every minute.
void QuietGuard(const std::string& reason, int64_t now_wall) {
  if (reason.rfind(kMemoryReasonStart, 0) == 0) {
    g_plan.memory_limit_mb = 0;
  } else {
    g_plan.daily_due = NextDailyRestart(now_wall, g_plan.daily_minute);
  }
  if (g_plan.memory_limit_mb == 0 && !g_plan.daily) StopTimers();
}

void Check() {
  if (g_restarting) return;
  uint64_t private_bytes = 0;
  if (g_plan.memory_limit_mb != 0 && !ReadPrivateBytes(&private_bytes)) private_bytes = 0;
  int64_t now_wall = g_seams.wall_clock();
  std::string reason =
      g_verdict.Decide(DueRestartReason(g_plan, private_bytes, now_wall), PageCommandRunning());
  if (reason.empty()) return;
  if (!OrderlyRestart(reason)) QuietGuard(reason, now_wall);
}

void CALLBACK OnCheckTimer(HWND, UINT, UINT_PTR, DWORD) { Check(); }

void CALLBACK OnRetryTimer(HWND window, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(window, id);
  Check();
}

}  // namespace

std::string DueRestartReason(const GuardPlan& plan, uint64_t private_bytes, int64_t now_wall) {
  std::string memory = MemoryRestartReason(private_bytes, plan.memory_limit_mb);
  if (!memory.empty()) return memory;
  if (plan.daily && now_wall >= plan.daily_due) return DailyRestartReason(plan.daily_minute);
  return "";
}

std::string GuardVerdict::Decide(const std::string& due_reason, bool command_running) {
  if (pending_.empty()) pending_ = due_reason;
  if (command_running || pending_.empty()) return "";
  std::string reason;
  reason.swap(pending_);
  return reason;
}

void StartGuards(HWND window) {
  MemoryLimit limit = ParseMemoryLimit(ReadIni("local", kMemoryLimitKey), DefaultMemoryLimitMb());
  if (!limit.problem.empty()) WriteLog(kRestartCategory, limit.problem);
  DailyTime daily = ParseDailyTime(ReadIni("local", kDailyRestartKey));
  if (!daily.problem.empty()) WriteLog(kRestartCategory, daily.problem);
  if (limit.mb == 0 && !daily.on) return;
  g_seams = GetGuardSeams();
  if (g_seams.wall_clock == nullptr) g_seams.wall_clock = LocalWallSeconds;
  g_plan.memory_limit_mb = limit.mb;
  g_plan.daily = daily.on;
  g_plan.daily_minute = daily.minute_of_day;
  // Counted from this start: a copy started by the daily restart itself
  // starts after the time and waits for the next day.
  g_plan.daily_due = NextDailyRestart(g_seams.wall_clock(), daily.minute_of_day);
  g_window = window;
  ::SetTimer(window, kGuardTimerId, g_seams.check_ms, OnCheckTimer);
}

void NotePageCommandBegin() { ++g_command_depth; }

void NotePageCommandEnd() {
  if (g_command_depth > 0) --g_command_depth;
  // The restart that waited for this command follows once it has returned
  // to the page, not inside the command.
  if (g_command_depth == 0 && g_verdict.Pending() && g_window != nullptr && !g_restarting)
    ::SetTimer(g_window, kGuardRetryTimerId, kRetryMs, OnRetryTimer);
}

bool PageCommandRunning() { return g_command_depth > 0; }

std::string PlannedRestartArguments(DWORD process, const std::vector<int64_t>& fatal_times,
                                    int64_t now) {
  // The fatal restarts of the run travel on, so their cap still holds; this
  // planned restart is not added to them.
  return RestartArguments(process, RecentRestarts(fatal_times, now));
}

bool OrderlyRestart(const std::string& reason) {
  const AppState& app = App();
  DWORD process = 0;
  DWORD error = 0;
  if (!StartProgramCopy(PlannedRestartArguments(::GetCurrentProcessId(), app.restart_history.times,
                                                static_cast<int64_t>(std::time(nullptr))),
                        &process, &error)) {
    std::string message = reason + ",新进程启动失败 error:" + std::to_string(error) + ",不重启";
    WriteLog(kRestartCategory, message);
    ReportToEventLog(EventId::kRestartFailed, message);
    return false;
  }
  g_restarting = true;
  StopTimers();
  std::string message = reason + ",新进程 pid:" + std::to_string(process);
  WriteLog(kRestartCategory, message);
  ReportToEventLog(EventId::kRestart, message);
  // As the tray's exit: an open screen dialog first, then the main window,
  // whose destruction runs the normal shutdown.
  CloseScreenDialog();
  CloseWindowAsync(app.main_window);
  return true;
}
