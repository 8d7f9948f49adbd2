#pragma once
// The watcher: a second process of the same program file ("Tarnlumo.exe
// --watch <pid> <time>...") that waits for the program's end. An end the
// program did not announce (ended from outside, a fail-fast exit, a fault the
// system could not hand to the program) starts a new copy, under the same
// cap and [local] restart=0 as the fatal path's restart. The program
// announces every end it runs itself (the orderly shutdown, and the fatal
// path, which restarts on its own) through a named event; an installer about
// to stop the program sets the same event. The watcher never takes the
// instance lock, starts at most one copy, and ends with the program.
#include <windows.h>

#include <string>

inline constexpr char kWatchMarker[] = "--watch";

// "TarnlumoWatch-<pid>": the event that stands the watcher of the program
// process `program_process` down.
std::string StandDownEventName(DWORD program_process);
// True for the watcher's command line.
bool IsWatcherCommandLine(const std::string& command_line);

// In the program, once it holds the instance lock and before its main window
// has its title: creates the event, so whoever finds the window (an installer,
// a clean-up) can stand the watcher down even before the watcher starts;
// false when it could not.
bool CreateStandDownEvent();
// In the program, once the log is open: starts the watcher (not with [local]
// restart=0); logs under "重启" only when it fails.
bool StartWatcher();
// The end under way is the program's own: its watcher ends without
// restarting. Any thread; repeatable.
void StandDownWatcher();

// The watcher process's whole run; its exit code.
int RunWatcher(const std::string& command_line);

// The "重启" line of a copy the watcher started (empty for any other start).
std::string AbruptEndRestartLine();
