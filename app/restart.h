#pragma once
// Starting the program again after a fatal error. The failing process starts
// the new copy itself, with a command line that names the old process and the
// times of the restarts before it; the new copy waits until the old process
// has ended (and so released the instance lock) before it starts up. Restarts
// are capped, so a fault that recurs at start-up does not loop.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// At most this many restarts within the window; a fatal error beyond that
// leaves the program down.
inline constexpr size_t kMaxRestarts = 3;
inline constexpr int64_t kRestartWindowSeconds = 10 * 60;

struct RestartHistory {
  DWORD previous_process = 0;  // the process this copy replaces; 0 for a normal start
  std::vector<int64_t> times;  // when each earlier restart of the run happened (Unix seconds)
  // Set when the watcher started this copy after the previous process ended
  // without a word: that process's exit code.
  bool after_abrupt_end = false;
  DWORD abrupt_exit_code = 0;
};

// "--restarted-after <pid> <time>... [--abrupt-end <code>]" as given to a
// restarted copy; a command line without it gives an empty history.
RestartHistory ParseRestartArguments(const std::string& command_line);
std::string RestartArguments(DWORD process, const std::vector<int64_t>& times);
// The same "<pid> <time>..." after another marker (the watcher's).
RestartHistory ParseHistoryAfter(const std::string& command_line, const std::string& marker);
std::string HistoryArguments(const std::string& marker, DWORD process,
                             const std::vector<int64_t>& times);
inline constexpr char kAbruptEndMarker[] = "--abrupt-end";
// The restarts of the history that lie within the window before now.
std::vector<int64_t> RecentRestarts(const std::vector<int64_t>& times, int64_t now);

// In a restarted copy, before the instance lock is taken: waits (bounded)
// until the process it replaces has ended.
void WaitForReplacedProcess(const RestartHistory& history);
// A restart decided: whether a copy was started, and the "重启" message.
struct RestartOutcome {
  bool started = false;
  std::string message;
};
// Starts a new copy replacing `replaced` unless restarting is off or the cap
// is reached; `times` are the run's earlier restarts, `extra` more arguments.
RestartOutcome RestartCopy(bool allowed, DWORD replaced, const std::vector<int64_t>& times,
                           const std::string& extra);
// Starts the program file (same folder, same working directory) with these
// arguments; false with the error when it could not. Given `process_handle`,
// the caller gets the new process's handle and closes it.
bool StartProgramCopy(const std::string& arguments, DWORD* process_id, DWORD* error,
                      HANDLE* process_handle = nullptr);
// On the fatal-error path: starts the new copy unless restarting is off
// ([local] restart=0) or the cap is reached, and logs what it did under "重启".
void RestartAfterFatalError();
// The "重启" category.
inline constexpr char kRestartCategory[] = "重启";
