#include "app/hang_watch.h"

#include <atomic>
#include <ctime>

#include "app/fatal_shutdown.h"
#include "page/console_report.h"

namespace {

struct Watch {
  HWND window = nullptr;
  DWORD gui_thread = 0;
  HangWatchTimes times;
  HangAction action = nullptr;
};

Watch g_watch;
HANDLE g_stop = nullptr;  // manual-reset: set when the watch is to end
HANDLE g_thread = nullptr;
std::atomic<DWORD> g_thread_id{0};

void ReportHang(DWORD silent_ms, int64_t since_unix) {
  // The fatal path runs on a thread of its own and never waits for the hung
  // GUI thread.
  FatalErrorHandler(kHangErrorCode, HangMessage(g_watch.gui_thread, silent_ms, since_unix));
}

// Waits for the watch thread while handling sent messages: the caller may be
// the GUI thread, whose answer the watch's probe is waiting for.
void WaitAnswering(HANDLE thread, DWORD wait_ms) {
  ULONGLONG end = ::GetTickCount64() + wait_ms;
  for (ULONGLONG now; (now = ::GetTickCount64()) < end;) {
    DWORD woke = ::MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(end - now),
                                             QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + 1) return;  // ended, timed out or failed
    MSG message;
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

bool Stopping() { return ::WaitForSingleObject(g_stop, 0) == WAIT_OBJECT_0; }

DWORD WINAPI WatchThread(void*) {
  const HangWatchTimes times = g_watch.times;
  ULONGLONG last_answer = ::GetTickCount64();
  int64_t last_answer_unix = static_cast<int64_t>(std::time(nullptr));
  for (;;) {
    ULONGLONG probe_start = ::GetTickCount64();
    ULONGLONG silent = probe_start - last_answer;
    // The last probe before the limit waits only up to the limit, so a hang
    // is reported at the limit, not up to one interval later.
    ULONGLONG left = silent < times.limit_ms ? times.limit_ms - silent : 1;
    DWORD probe_wait = static_cast<DWORD>(left < times.check_ms ? left : times.check_ms);
    DWORD_PTR result = 0;
    bool answered =
        ::SendMessageTimeoutA(g_watch.window, WM_NULL, 0, 0, SMTO_NORMAL, probe_wait, &result) != 0;
    ULONGLONG now = ::GetTickCount64();
    if (Stopping()) return 0;
    if (answered) {
      last_answer = now;
      last_answer_unix = static_cast<int64_t>(std::time(nullptr));
    } else if (!::IsWindow(g_watch.window)) {
      return 0;  // the window is gone: the run is ending
    } else if (now - last_answer >= times.limit_ms) {
      g_watch.action(static_cast<DWORD>(now - last_answer), last_answer_unix);
      return 0;
    }
    ULONGLONG spent = now - probe_start;
    DWORD pause = spent < times.check_ms ? static_cast<DWORD>(times.check_ms - spent) : 0;
    if (::WaitForSingleObject(g_stop, pause) == WAIT_OBJECT_0) return 0;
  }
}

}  // namespace

std::string HangMessage(DWORD gui_thread, DWORD silent_ms, int64_t since_unix) {
  time_t since = static_cast<time_t>(since_unix);
  char clock[16] = "?";
  if (const std::tm* local = std::localtime(&since))
    std::strftime(clock, sizeof(clock), "%H:%M:%S", local);
  return "GUI thread not answering since " + std::string(clock) + " (" +
         std::to_string(silent_ms / 1000) + " s) thread:" + std::to_string(gui_thread);
}

bool StartHangWatch(HWND window, HangWatchTimes times, HangAction action) {
  if (g_thread != nullptr) return false;
  g_watch.window = window;
  g_watch.gui_thread = ::GetWindowThreadProcessId(window, nullptr);
  g_watch.times = times;
  g_watch.action = action ? action : ReportHang;
  if (g_stop == nullptr) g_stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_stop == nullptr) return false;
  ::ResetEvent(g_stop);
  DWORD id = 0;
  g_thread = ::CreateThread(nullptr, 0, WatchThread, nullptr, 0, &id);
  g_thread_id = id;
  return g_thread != nullptr;
}

void StopHangWatch(DWORD wait_ms) {
  if (g_thread == nullptr) return;
  ::SetEvent(g_stop);
  // The watch itself may be the caller (its hang report runs the shutdown).
  if (g_thread_id != ::GetCurrentThreadId()) WaitAnswering(g_thread, wait_ms);
  ::CloseHandle(g_thread);
  g_thread = nullptr;
  g_thread_id = 0;
}
