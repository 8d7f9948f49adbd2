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
  DWORD previous_process = 0;     // the process this copy replaces; 0 for a normal start
  std::vector<int64_t> times;     // when each earlier restart of the run happened (Unix seconds)
};

// "--restarted-after <pid> <time>..." as given to a restarted copy; a
// command line without it gives an empty history.
RestartHistory ParseRestartArguments(const std::string& command_line);
std::string RestartArguments(DWORD process, const std::vector<int64_t>& times);
// The restarts of the history that lie within the window before now.
std::vector<int64_t> RecentRestarts(const std::vector<int64_t>& times, int64_t now);

// In a restarted copy, before the instance lock is taken: waits (bounded)
// until the process it replaces has ended.
void WaitForReplacedProcess(const RestartHistory& history);
// On the fatal-error path: starts the new copy unless restarting is off
// ([local] restart=0) or the cap is reached, and logs what it did under "重启".
void RestartAfterFatalError();
