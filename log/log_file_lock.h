#pragma once
// The lock that serialises everything done to the log's open day file. Whether
// a thread holds it is never a guess: a take that ran out of time says so,
// and a release by a thread that does not hold it is refused.
#include <windows.h>

#include <atomic>
#include <mutex>

class LogFileLock {
 public:
  LogFileLock() = default;
  LogFileLock(const LogFileLock&) = delete;
  LogFileLock& operator=(const LogFileLock&) = delete;

  // True when the calling thread now holds the lock. 0 tries once without
  // waiting; INFINITE waits as long as it takes.
  bool TryLockFor(DWORD wait_ms);
  // Releases the lock the calling thread holds; false, with nothing
  // released, when the calling thread does not hold it.
  bool Unlock();
  bool HeldByThisThread() const;

 private:
  std::mutex mutex_;
  // Thread id of the holder, 0 while free.
  std::atomic<DWORD> holder_{0};
};

// Holds a LogFileLock for one scope when it got it; held() says whether it
// did, and only a hold that got the lock releases it.
class LogFileLockHold {
 public:
  // Waits as long as it takes.
  explicit LogFileLockHold(LogFileLock& lock) : LogFileLockHold(lock, INFINITE) {}
  LogFileLockHold(LogFileLock& lock, DWORD wait_ms)
      : lock_(lock), held_(lock.TryLockFor(wait_ms)) {}
  ~LogFileLockHold() {
    if (held_) lock_.Unlock();
  }
  LogFileLockHold(const LogFileLockHold&) = delete;
  LogFileLockHold& operator=(const LogFileLockHold&) = delete;

  bool held() const { return held_; }

 private:
  LogFileLock& lock_;
  const bool held_;
};
