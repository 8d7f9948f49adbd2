#include "log/log_file_lock.h"

#include "util/deadline.h"

namespace {

// How long a bounded take sleeps between tries: short next to the seconds a
// stop is given, long enough not to keep a core busy.
constexpr DWORD kRetryMs = 1;

}  // namespace

bool LogFileLock::TryLockFor(DWORD wait_ms) {
  if (wait_ms == INFINITE) {
    mutex_.lock();
  } else {
    // A plain mutex tried in a loop: taking it free costs no call into the
    // system, which matters on the writer's path of every line.
    Deadline deadline(wait_ms);
    while (!mutex_.try_lock()) {
      if (deadline.Passed()) return false;
      ::Sleep(kRetryMs);
    }
  }
  holder_.store(::GetCurrentThreadId());
  return true;
}

bool LogFileLock::Unlock() {
  if (!HeldByThisThread()) return false;
  holder_.store(0);
  mutex_.unlock();
  return true;
}

bool LogFileLock::HeldByThisThread() const { return holder_.load() == ::GetCurrentThreadId(); }
