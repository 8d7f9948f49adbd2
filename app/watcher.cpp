#include "app/watcher.h"

#include <ctime>
#include <vector>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/event_report.h"
#include "app/restart.h"
#include "app/system_utils.h"
#include "log/log_file.h"
#include "util/fault_point.h"

namespace {

// The program's handle of its event, kept for the whole run: the name lives
// as long as one handle to it does.
HANDLE g_stand_down = nullptr;

// How long the watcher's last log line may take to reach the file.
constexpr DWORD kWatcherLogStopMs = 5000;

std::string WatcherArguments(DWORD program, const std::vector<int64_t>& times) {
  return HistoryArguments(kWatchMarker, program, times);
}

std::string AbruptEndText(DWORD process, DWORD exit_code) {
  return "上次运行 pid:" + std::to_string(process) + " 意外结束 code:" + std::to_string(exit_code);
}

bool Signalled(HANDLE handle) {
  return handle != nullptr && ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

// Waits until the program ends or stands the watcher down; true for an end
// the program did not announce, with its exit code.
bool WaitForUnannouncedEnd(DWORD program, DWORD* exit_code) {
  HANDLE stand_down = ::OpenEventA(SYNCHRONIZE, FALSE, StandDownEventName(program).c_str());
  // The program made the event before it started the watcher and gave the
  // watcher a handle to it: missing, it tells nothing about how the program
  // ended (it may have been stood down), so nothing is done.
  if (stand_down == nullptr) return false;
  HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, program);
  bool unannounced = false;
  if (process != nullptr) {
    HANDLE waits[2] = {process, stand_down};
    ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    // The event is looked at again after the process's end: the fatal path
    // sets it moments before it ends the process.
    unannounced = !Signalled(stand_down) && Signalled(process);
    if (unannounced && !::GetExitCodeProcess(process, exit_code)) *exit_code = ::GetLastError();
    ::CloseHandle(process);
  }
  // A program already gone before the watcher could look at it leaves
  // nothing to tell its end by: nothing is done.
  ::CloseHandle(stand_down);
  return unannounced;
}

// The watcher opens the stand-down event and this process by name and id
// only once it runs, a good part of a second later under Wine. A stood-down
// end before that would destroy the event, while any tool that holds this
// process (an installer waiting for it, Task Manager) keeps its id open: the
// watcher would take the wanted end for a crash. Handles placed in the watcher
// now keep both objects, and this process's id, alive for it; it never closes
// them and has no need to know their values.
void KeepForWatcher(HANDLE watcher) {
  HANDLE self = ::GetCurrentProcess(), kept = nullptr;
  ::DuplicateHandle(self, g_stand_down, watcher, &kept, SYNCHRONIZE, FALSE, 0);
  ::DuplicateHandle(self, self, watcher, &kept, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                    FALSE, 0);
}

}  // namespace

std::string StandDownEventName(DWORD program_process) {
  return "TarnlumoWatch-" + std::to_string(program_process);
}

bool IsWatcherCommandLine(const std::string& command_line) {
  return command_line.find(std::string(" ") + kWatchMarker + " ") != std::string::npos;
}

bool CreateStandDownEvent() {
  if (g_stand_down == nullptr) {
    std::string name = StandDownEventName(::GetCurrentProcessId());
    g_stand_down = ::CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  }
  return g_stand_down != nullptr;
}

bool StartWatcher() {
  const AppState& app = App();
  if (!app.restart_after_fatal_error) return false;
  bool have_event = CreateStandDownEvent();
  DWORD error = have_event ? ERROR_SUCCESS : ::GetLastError();
  DWORD watcher = 0;
  HANDLE watcher_process = nullptr;
  std::vector<int64_t> times =
      RecentRestarts(app.restart_history.times, static_cast<int64_t>(std::time(nullptr)));
  if (!have_event || !StartProgramCopy(WatcherArguments(::GetCurrentProcessId(), times), &watcher,
                                       &error, &watcher_process)) {
    WriteLog(kRestartCategory, "看守进程启动失败 error:" + std::to_string(error));
    return false;
  }
  KeepForWatcher(watcher_process);
  ::CloseHandle(watcher_process);
  return true;
}

void StandDownWatcher() {
  if (g_stand_down != nullptr) ::SetEvent(g_stand_down);
}

int RunWatcher(const std::string& command_line) {
  RestartHistory watched = ParseHistoryAfter(command_line, kWatchMarker);
  if (watched.previous_process == 0) return 2;
  DWORD exit_code = 0;
  FaultPoint(FaultSite::kWatcherStart);
  if (!WaitForUnannouncedEnd(watched.previous_process, &exit_code)) return 0;
  ReportToEventLog(EventId::kAbruptEnd, AbruptEndText(watched.previous_process, exit_code));
  AppState& app = App();
  app.run_directory = ProcessDirectory();
  app.executable_name = ProcessFileName();
  // Read now, not at the program's start: a shop that set restart=0 meanwhile
  // keeps the program down.
  bool allowed = ReadIniFile(app.run_directory + "config.ini", "local", "restart") != "0";
  RestartOutcome outcome =
      RestartCopy(allowed, watched.previous_process, watched.times,
                  std::string(kAbruptEndMarker) + " " + std::to_string(exit_code));
  if (outcome.started) return 0;  // the new copy says why it was started
  // Nobody else will say why the program stays down.
  if (OpenLog(kAppName, app.run_directory)) {
    WriteLog(kRestartCategory,
             AbruptEndText(watched.previous_process, exit_code) + "," + outcome.message);
    StopLog(kWatcherLogStopMs);
  }
  return 0;
}

std::string AbruptEndRestartLine() {
  const RestartHistory& history = App().restart_history;
  if (!history.after_abrupt_end) return "";
  return AbruptEndText(history.previous_process, history.abrupt_exit_code) +
         ",看守进程已重启 10分钟内第" + std::to_string(history.times.size()) + "次";
}
