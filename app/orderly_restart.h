#pragma once
// The restart guards ([local] maxmemorymb and dailyrestart) and the orderly
// restart they lead to: a new copy is started, told to wait until this
// process has ended, and the main window is closed, so the normal shutdown
// runs and the log ends as after any exit. These restarts are planned: they
// never count against the cap of restarts after fatal errors, and they never
// cut a page command short (a check that falls due while one runs waits until
// it has returned).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What the guards watch, read from config.ini when they start.
struct GuardPlan {
  uint64_t memory_limit_mb = 0;  // 0 = no memory guard
  bool daily = false;
  int daily_minute = 0;   // minute of the day of the daily restart
  int64_t daily_due = 0;  // wall seconds of the next daily restart
};

// The restart reason due at this check, or empty: memory first, then the day.
std::string DueRestartReason(const GuardPlan& plan, uint64_t private_bytes, int64_t now_wall);

// A check's verdict, given whether a page command is running: a reason found
// while one runs is kept and given at the first check after it returned.
class GuardVerdict {
 public:
  // The reason to restart now, or empty.
  std::string Decide(const std::string& due_reason, bool command_running);
  bool Pending() const { return !pending_.empty(); }

 private:
  std::string pending_;
};

// Reads the two keys (logging any value it cannot use under "重启") and, when
// either guard is on, checks on `window`'s thread every interval.
void StartGuards(HWND window);

// The page command handler brackets each command with these (GUI thread).
void NotePageCommandBegin();
void NotePageCommandEnd();
bool PageCommandRunning();
// Brackets one page command for as long as it is in scope.
class PageCommandScope {
 public:
  PageCommandScope() { NotePageCommandBegin(); }
  ~PageCommandScope() { NotePageCommandEnd(); }
  PageCommandScope(const PageCommandScope&) = delete;
  PageCommandScope& operator=(const PageCommandScope&) = delete;
};

// The command line of the copy that replaces `process`: it waits for that
// process, and carries the run's fatal restarts still within the cap's window
// (`fatal_times`, seen at `now`) without adding this one.
std::string PlannedRestartArguments(DWORD process, const std::vector<int64_t>& fatal_times,
                                    int64_t now);

// Starts the copy that replaces this process, logs "<reason>,新进程 pid:<n>"
// under "重启" and closes the main window; false (and the program stays) when
// the copy could not be started.
bool OrderlyRestart(const std::string& reason);
