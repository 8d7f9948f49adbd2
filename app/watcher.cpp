#include "app/watcher.h"

#include <ctime>
#include <vector>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/event_report.h"
#include "app/restart.h"
#include "app/system_utils.h"
#include "log/log_file.h"

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
  HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, program);
  bool unannounced = false;
  if (process != nullptr) {
    HANDLE waits[2] = {process, stand_down};
    ::WaitForMultipleObjects(stand_down ? 2 : 1, waits, FALSE, INFINITE);
    // The event is looked at again after the process's end: the fatal path
    // sets it moments before it ends the process.
    unannounced = !Signalled(stand_down) && Signalled(process);
    if (unannounced && !::GetExitCodeProcess(process, exit_code)) *exit_code = ::GetLastError();
    ::CloseHandle(process);
  }
  // A program already gone before the watcher could look at it leaves
  // nothing to tell its end by: nothing is done.
  if (stand_down) ::CloseHandle(stand_down);
  return unannounced;
}

}  // namespace

std::string StandDownEventName(DWORD program_process) {
  return "TarnlumoWatch-" + std::to_string(program_process);
}

bool IsWatcherCommandLine(const std::string& command_line) {
  return command_line.find(std::string(" ") + kWatchMarker + " ") != std::string::npos;
}

bool StartWatcher() {
  const AppState& app = App();
  if (!app.restart_after_fatal_error) return false;
  DWORD self = ::GetCurrentProcessId();
  if (g_stand_down == nullptr) {
    g_stand_down = ::CreateEventA(nullptr, TRUE, FALSE, StandDownEventName(self).c_str());
  }
  DWORD watcher = 0;
  DWORD error = ::GetLastError();
  std::vector<int64_t> times =
      RecentRestarts(app.restart_history.times, static_cast<int64_t>(std::time(nullptr)));
  if (g_stand_down == nullptr ||
      !StartProgramCopy(WatcherArguments(self, times), &watcher, &error)) {
    WriteLog(kRestartCategory, "看守进程启动失败 error:" + std::to_string(error));
    return false;
  }
  return true;
}

void StandDownWatcher() {
  if (g_stand_down != nullptr) ::SetEvent(g_stand_down);
}

int RunWatcher(const std::string& command_line) {
  RestartHistory watched = ParseHistoryAfter(command_line, kWatchMarker);
  if (watched.previous_process == 0) return 2;
  DWORD exit_code = 0;
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
