#include "app/restart.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "app/app_state.h"
#include "app/event_report.h"
#include "log/log_file.h"

namespace {

constexpr char kMarker[] = "--restarted-after";
// The old process ends within its own ten-second bound; this is only a
// ceiling for a process that hangs past it.
constexpr DWORD kReplacedProcessWaitMs = 30000;

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

bool StartProgramCopy(const std::string& arguments, DWORD* process_id, DWORD* error,
                      HANDLE* process_handle) {
  const AppState& app = App();
  std::string program = app.run_directory + app.executable_name;
  std::string command_line = "\"" + program + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  // Same folder, same working directory (inherited), same environment.
  if (!::CreateProcessA(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
    *error = ::GetLastError();
    return false;
  }
  *process_id = started.dwProcessId;
  ::CloseHandle(started.hThread);
  if (process_handle != nullptr) {
    *process_handle = started.hProcess;
  } else {
    ::CloseHandle(started.hProcess);
  }
  return true;
}

RestartHistory ParseHistoryAfter(const std::string& command_line, const std::string& marker) {
  RestartHistory history;
  size_t at = command_line.find(marker + " ");
  if (at == std::string::npos) return history;
  std::istringstream words(command_line.substr(at + marker.size()));
  unsigned long process = 0;
  if (!(words >> process)) return history;
  history.previous_process = static_cast<DWORD>(process);
  long long time = 0;
  while (words >> time) history.times.push_back(time);
  return history;
}

std::string HistoryArguments(const std::string& marker, DWORD process,
                             const std::vector<int64_t>& times) {
  std::string arguments = marker + " " + std::to_string(process);
  for (int64_t time : times) arguments += " " + std::to_string(time);
  return arguments;
}

RestartHistory ParseRestartArguments(const std::string& command_line) {
  RestartHistory history = ParseHistoryAfter(command_line, kMarker);
  size_t at = command_line.find(std::string(kAbruptEndMarker) + " ");
  if (history.previous_process == 0 || at == std::string::npos) return history;
  std::istringstream words(command_line.substr(at + sizeof(kAbruptEndMarker) - 1));
  unsigned long code = 0;
  if (!(words >> code)) return history;
  history.after_abrupt_end = true;
  history.abrupt_exit_code = static_cast<DWORD>(code);
  return history;
}

std::string RestartArguments(DWORD process, const std::vector<int64_t>& times) {
  return HistoryArguments(kMarker, process, times);
}

std::vector<int64_t> RecentRestarts(const std::vector<int64_t>& times, int64_t now) {
  std::vector<int64_t> recent;
  for (int64_t time : times) {
    if (time <= now && now - time < kRestartWindowSeconds) recent.push_back(time);
  }
  return recent;
}

void WaitForReplacedProcess(const RestartHistory& history) {
  if (history.previous_process == 0) return;
  HANDLE old = ::OpenProcess(SYNCHRONIZE, FALSE, history.previous_process);
  if (old == nullptr) return;  // already gone
  ::WaitForSingleObject(old, kReplacedProcessWaitMs);
  ::CloseHandle(old);
}

RestartOutcome RestartCopy(bool allowed, DWORD replaced, const std::vector<int64_t>& times,
                           const std::string& extra) {
  RestartOutcome outcome;
  if (!allowed) {
    outcome.message = "已关闭(restart=0),不重启";
    return outcome;
  }
  int64_t now = NowSeconds();
  std::vector<int64_t> recent = RecentRestarts(times, now);
  if (recent.size() >= kMaxRestarts) {
    outcome.message = "10分钟内已重启" + std::to_string(recent.size()) + "次,不再重启";
    ReportToEventLog(EventId::kRestartCapReached, outcome.message);
    return outcome;
  }
  recent.push_back(now);
  DWORD process = 0;
  DWORD error = 0;
  std::string arguments = RestartArguments(replaced, recent);
  if (!extra.empty()) arguments += " " + extra;
  if (!StartProgramCopy(arguments, &process, &error)) {
    outcome.message = "失败 error:" + std::to_string(error);
    ReportToEventLog(EventId::kRestartFailed, outcome.message);
    return outcome;
  }
  outcome.started = true;
  outcome.message = "新进程 pid:" + std::to_string(process) + " 10分钟内第" +
                    std::to_string(recent.size()) + "次";
  ReportToEventLog(EventId::kRestart, outcome.message);
  return outcome;
}

void RestartAfterFatalError() {
  const AppState& app = App();
  WriteLog(kRestartCategory, RestartCopy(app.restart_after_fatal_error, ::GetCurrentProcessId(),
                                         app.restart_history.times, "")
                                 .message);
}
