#include "app/restart.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "app/app_state.h"
#include "app/event_report.h"
#include "log/log_file.h"

namespace {

constexpr char kCategory[] = "重启";
constexpr char kMarker[] = "--restarted-after";
// The old process ends within its own ten-second bound; this is only a
// ceiling for a process that hangs past it.
constexpr DWORD kReplacedProcessWaitMs = 30000;

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

bool StartCopy(const std::string& arguments, DWORD* process_id, DWORD* error) {
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
  ::CloseHandle(started.hProcess);
  return true;
}

}  // namespace

RestartHistory ParseRestartArguments(const std::string& command_line) {
  RestartHistory history;
  size_t at = command_line.find(kMarker);
  if (at == std::string::npos) return history;
  std::istringstream words(command_line.substr(at + sizeof(kMarker) - 1));
  unsigned long process = 0;
  if (!(words >> process)) return history;
  history.previous_process = static_cast<DWORD>(process);
  long long time = 0;
  while (words >> time) history.times.push_back(time);
  return history;
}

std::string RestartArguments(DWORD process, const std::vector<int64_t>& times) {
  std::string arguments = std::string(kMarker) + " " + std::to_string(process);
  for (int64_t time : times) arguments += " " + std::to_string(time);
  return arguments;
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

void RestartAfterFatalError() {
  const AppState& app = App();
  if (!app.restart_after_fatal_error) {
    WriteLog(kCategory, "已关闭(restart=0),不重启");
    return;
  }
  int64_t now = NowSeconds();
  std::vector<int64_t> recent = RecentRestarts(app.restart_history.times, now);
  if (recent.size() >= kMaxRestarts) {
    std::string text = "10分钟内已重启" + std::to_string(recent.size()) + "次,不再重启";
    WriteLog(kCategory, text);
    ReportToEventLog(EventId::kRestartCapReached, text);
    return;
  }
  recent.push_back(now);
  DWORD process = 0;
  DWORD error = 0;
  if (!StartCopy(RestartArguments(::GetCurrentProcessId(), recent), &process, &error)) {
    WriteLog(kCategory, "失败 error:" + std::to_string(error));
    ReportToEventLog(EventId::kRestartFailed, "失败 error:" + std::to_string(error));
    return;
  }
  std::string text = "新进程 pid:" + std::to_string(process) + " 10分钟内第" +
                     std::to_string(recent.size()) + "次";
  WriteLog(kCategory, text);
  ReportToEventLog(EventId::kRestart, text);
}
