#include "app/fatal_shutdown.h"

#include <atomic>

#include "app/fatal_error.h"
#include "app/restart.h"
#include "app/shutdown.h"
#include "app/watcher.h"
#include "log/log_file.h"

namespace {

// The deadline thread that writes the log's last lines starts doing so this
// long before the bound; a second one ends the process this long before it
// whatever the first is stuck in.
constexpr DWORD kFlushMarginMs = 1000;
constexpr DWORD kBackstopMarginMs = 300;
// The last flush's whole time, waiting and writing included: it is over
// before the backstop ends the process.
constexpr DWORD kLastFlushMs = kFlushMarginMs - kBackstopMarginMs - 100;

HANDLE g_failed = nullptr;   // manual-reset: set by the first fatal error
HANDLE g_end_now = nullptr;  // manual-reset: set by a second fatal error
std::atomic<bool> g_prepared{false};
std::atomic<ULONGLONG> g_error_tick{0};
std::atomic<const FatalRecord*> g_first{nullptr};
std::atomic<const FatalRecord*> g_second{nullptr};
std::atomic<bool> g_shutdown_ran{false};

DWORD MsFromTo(ULONGLONG now, ULONGLONG until) {
  return now >= until ? 0 : static_cast<DWORD>(until - now);
}

DWORD TimeUntil(ULONGLONG until) { return MsFromTo(::GetTickCount64(), until); }

ULONGLONG ErrorTick() {
  ULONGLONG tick = g_error_tick.load();
  return tick != 0 ? tick : ::GetTickCount64();
}

// Waits for the event, or only sleeps when there is none (the unprepared path).
bool WaitOrSleep(HANDLE event, DWORD wait_ms) {
  if (event == nullptr) {
    ::Sleep(wait_ms);
    return false;
  }
  return ::WaitForSingleObject(event, wait_ms) == WAIT_OBJECT_0;
}

void RunFatalPath(const FatalRecord& record) {
  // An error while the fatal thread was being started may find it and the
  // failing thread both ready to run this: one does.
  static std::atomic<bool> claimed{false};
  if (claimed.exchange(true)) {
    for (;;) ::Sleep(INFINITE);
  }
  LogFatalError(record);
  // This path restarts (or not) on its own: the watcher must not add a copy.
  StandDownWatcher();
  RestartAfterFatalError();
  RunFatalShutdown();
}

DWORD WINAPI FatalThread(void*) {
  ::WaitForSingleObject(g_failed, INFINITE);
  RunFatalPath(*g_first.load());
  return 0;
}

// argument non-null: the deadline thread that writes the log's last lines
// (and a second error's line) before it ends the process; null: the backstop.
DWORD WINAPI DeadlineThread(void* flushes) {
  if (g_failed != nullptr) ::WaitForSingleObject(g_failed, INFINITE);
  ULONGLONG bound = ErrorTick() + kFatalBoundMs;
  if (flushes == nullptr) {
    ::Sleep(TimeUntil(bound - kBackstopMarginMs));
    EndProcessNow();
  }
  bool second = WaitOrSleep(g_end_now, TimeUntil(bound - kFlushMarginMs));
  if (second && g_second.load() != nullptr) LogFatalError(*g_second.load());
  FlushLogNow(kLastFlushMs);
  EndProcessNow();
}

bool StartIdleThread(LPTHREAD_START_ROUTINE function, void* argument) {
  HANDLE thread = ::CreateThread(nullptr, 0, function, argument, 0, nullptr);
  if (thread == nullptr) return false;
  ::CloseHandle(thread);  // nobody waits for it: it ends the process
  return true;
}

}  // namespace

bool PrepareFatalPath() {
  if (g_prepared) return true;
  g_failed = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_end_now = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_failed == nullptr || g_end_now == nullptr) return false;
  static int flushes = 1;
  // The deadline threads first: a fatal thread without them could hang.
  if (!StartIdleThread(DeadlineThread, nullptr) || !StartIdleThread(DeadlineThread, &flushes))
    return false;
  if (!StartIdleThread(FatalThread, nullptr)) return false;
  g_prepared = true;
  return true;
}

void BeginFatalPath(const FatalRecord& record) {
  g_error_tick = ::GetTickCount64();
  g_first = &record;
  if (g_prepared) {
    ::SetEvent(g_failed);
    return;
  }
  // No fatal thread: the failing thread does the work, guarded by whichever
  // deadline threads did start, and one more if it can still be started.
  if (g_failed != nullptr) ::SetEvent(g_failed);
  static int flushes = 1;
  StartIdleThread(DeadlineThread, &flushes);
  RunFatalPath(record);
}

void EndAfterSecondError(const FatalRecord& record) {
  g_second = &record;
  if (g_prepared) {
    ::SetEvent(g_end_now);
    return;
  }
  LogFatalError(record);
  FlushLogNow(kFlushMarginMs / 2);
  EndProcessNow();
}

DWORD FatalShutdownBudget(ULONGLONG error_tick, ULONGLONG now_tick) {
  return MsFromTo(now_tick, error_tick + kFatalBoundMs - kShutdownMarginMs);
}

void EndProcessNow() {
  // TerminateProcess, not ExitProcess: no library's detach code runs in a
  // process whose threads may be stuck inside it.
  ::TerminateProcess(::GetCurrentProcess(), kFatalExitCode);
  for (;;) ::Sleep(INFINITE);
}

void RunFatalShutdown() {
  if (!g_shutdown_ran.exchange(true))
    ShutdownWithin(FatalShutdownBudget(ErrorTick(), ::GetTickCount64()));
  EndProcessNow();
}
