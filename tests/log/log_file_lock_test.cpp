// The log's file lock: whether a thread holds it is always known, a take
// that runs out of time leaves it alone, and only its holder releases it.
#include "log/log_file_lock.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/log/log_test_support.h"

namespace {

// Holds a lock on a thread of its own until told to let go.
class OtherHolder {
 public:
  explicit OtherHolder(LogFileLock& lock)
      : taken_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread_([this, &lock] {
          held_ = lock.TryLockFor(INFINITE);
          ::SetEvent(taken_);
          ::WaitForSingleObject(release_, INFINITE);
          if (held_) released_ = lock.Unlock();
        }) {
    ::WaitForSingleObject(taken_, INFINITE);
  }
  ~OtherHolder() {
    Release();
    ::CloseHandle(taken_);
    ::CloseHandle(release_);
  }
  bool held() const { return held_; }
  bool Release() {
    ::SetEvent(release_);
    if (thread_.joinable()) thread_.join();
    return released_;
  }

 private:
  HANDLE taken_;
  HANDLE release_;
  bool held_ = false;
  bool released_ = false;
  std::thread thread_;
};

TEST(LogFileLockTest, AFreeLockIsTakenAndReleasedByItsHolder) {
  LogFileLock lock;
  EXPECT_FALSE(lock.HeldByThisThread());
  ASSERT_TRUE(lock.TryLockFor(0));
  EXPECT_TRUE(lock.HeldByThisThread());
  EXPECT_TRUE(lock.Unlock());
  EXPECT_FALSE(lock.HeldByThisThread());
  // Released for real: it can be taken again at once.
  ASSERT_TRUE(lock.TryLockFor(0));
  EXPECT_TRUE(lock.Unlock());
}

TEST(LogFileLockTest, ATakeThatRunsOutOfTimeSaysSoAndReturnsInTime) {
  LogFileLock lock;
  OtherHolder other(lock);
  ASSERT_TRUE(other.held());
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(lock.TryLockFor(1000));
  DWORD took = ::GetTickCount() - start;
  // It did wait (not a single look), and not much past its time.
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 5000u);
  EXPECT_FALSE(lock.HeldByThisThread());
  EXPECT_FALSE(lock.TryLockFor(0));
}

TEST(LogFileLockTest, OnlyTheHolderReleases) {
  LogFileLock lock;
  OtherHolder other(lock);
  EXPECT_FALSE(lock.Unlock());
  // Still held by the other thread.
  EXPECT_FALSE(lock.TryLockFor(0));
  EXPECT_TRUE(other.Release());
  ASSERT_TRUE(lock.TryLockFor(0));
  EXPECT_TRUE(lock.Unlock());
}

TEST(LogFileLockTest, AWaitingTakeGetsTheLockOnceReleased) {
  LogFileLock lock;
  OtherHolder other(lock);
  std::thread releaser([&] {
    ::Sleep(200);
    other.Release();
  });
  EXPECT_TRUE(lock.TryLockFor(20000));
  EXPECT_TRUE(lock.HeldByThisThread());
  releaser.join();
  EXPECT_TRUE(lock.Unlock());
}

TEST(LogFileLockTest, AHoldThatTimedOutNeitherHoldsNorReleases) {
  LogFileLock lock;
  OtherHolder other(lock);
  {
    LogFileLockHold hold(lock, 200);
    EXPECT_FALSE(hold.held());
  }
  // The failed hold's end left the other thread's lock alone.
  EXPECT_FALSE(lock.TryLockFor(0));
  EXPECT_TRUE(other.Release());
  {
    LogFileLockHold hold(lock, 0);
    EXPECT_TRUE(hold.held());
    EXPECT_TRUE(lock.HeldByThisThread());
  }
  // The hold that got it gave it back at its end.
  EXPECT_FALSE(lock.HeldByThisThread());
  ASSERT_TRUE(lock.TryLockFor(0));
  EXPECT_TRUE(lock.Unlock());
}

}  // namespace
