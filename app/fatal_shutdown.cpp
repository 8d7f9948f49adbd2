#include "app/fatal_shutdown.h"

#include <atomic>

#include "app/restart.h"
#include "app/shutdown.h"
#include "app/watcher.h"

namespace {

// Left to the process's end itself once the deadline has passed: writing
// the last lines and ending the process.
constexpr DWORD kDeadlineMarginMs = 500;

std::atomic<HWND> g_window{nullptr};
std::atomic<DWORD> g_gui_thread{0};
std::atomic<bool> g_shutdown_ran{false};
std::atomic<bool> g_gui_unresponsive{false};

DWORD WINAPI DeadlineThread(void*) {
  ::Sleep(kFatalBoundMs - kDeadlineMarginMs);
  EndProcessNow();
}

// Whatever hangs from here on (a GUI thread that never takes the hand-over,
// a wait inside a library), the process ends in time.
void ArmDeadline() {
  HANDLE thread = ::CreateThread(nullptr, 0, DeadlineThread, nullptr, 0, nullptr);
  if (thread) ::CloseHandle(thread);  // nobody waits for it: it ends the process
}

bool OnGuiThread() {
  DWORD gui = g_gui_thread.load();
  return gui == 0 || gui == ::GetCurrentThreadId();
}

}  // namespace

void SetFatalShutdownWindow(HWND main_window) {
  g_window = main_window;
  g_gui_thread = ::GetCurrentThreadId();
}

void NoteGuiThreadUnresponsive() { g_gui_unresponsive = true; }

void EndProcessNow() {
  // TerminateProcess, not ExitProcess: no library's detach code runs in a
  // process whose threads may be stuck inside it.
  ::TerminateProcess(::GetCurrentProcess(), kFatalExitCode);
  for (;;) ::Sleep(INFINITE);
}

void RunFatalShutdown() {
  if (!g_shutdown_ran.exchange(true)) ShutdownWithin(kFatalBoundMs - 2 * kDeadlineMarginMs);
  EndProcessNow();
}

void ShutdownAfterFatalError() {
  ArmDeadline();
  // This path restarts (or not) on its own: the watcher must not add a copy.
  StandDownWatcher();
  RestartAfterFatalError();
  HWND window = g_window.load();
  if (OnGuiThread() || window == nullptr || g_gui_unresponsive) RunFatalShutdown();
  // The failing thread stays here; the GUI thread or the deadline ends the
  // process.
  if (!::PostMessageA(window, kFatalShutdownMessage, 0, 0)) RunFatalShutdown();
  for (;;) ::Sleep(INFINITE);
}
