// The instance lock and the log queue's lock, with real Win32 objects and
// real threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "util/critical_section.h"
#include "util/named_mutex.h"

namespace {

std::string UniqueName(const char* what) {
  return std::string("lumo-test-") + what + "-" + std::to_string(::GetCurrentProcessId());
}

// Acquire on a thread of its own: a mutex is owned by a thread, and a second
// process looks to the mutex like a second thread. The lock is released when
// that thread's NamedMutex goes.
bool AcquireElsewhere(const std::string& name) {
  bool got = false;
  std::thread other([&] {
    NamedMutex lock;
    got = lock.Acquire(name);
  });
  other.join();
  return got;
}

TEST(NamedMutexTest, ASecondHolderIsRefusedUntilTheFirstReleases) {
  std::string name = UniqueName("second");
  NamedMutex first;
  ASSERT_TRUE(first.Acquire(name));
  EXPECT_TRUE(first.IsHeld());
  EXPECT_FALSE(AcquireElsewhere(name));
  // The refused attempt must not have released the first holder's mutex.
  EXPECT_FALSE(AcquireElsewhere(name));
  first.Release();
  EXPECT_FALSE(first.IsHeld());
  EXPECT_TRUE(AcquireElsewhere(name));
}

TEST(NamedMutexTest, AMutexAbandonedByAThreadThatEndedCountsAsAcquired) {
  std::string name = UniqueName("abandoned");
  HANDLE keep_alive = nullptr;  // keeps the named object in existence
  std::thread owner([&] {
    keep_alive = ::CreateMutexA(nullptr, TRUE, name.c_str());
    // The thread ends owning it, without ReleaseMutex.
  });
  owner.join();
  ASSERT_NE(keep_alive, nullptr);
  NamedMutex next;
  EXPECT_TRUE(next.Acquire(name));
  EXPECT_FALSE(AcquireElsewhere(name));
  next.Release();
  ::CloseHandle(keep_alive);
}

TEST(NamedMutexTest, ReleasingTwiceOrWithoutAcquiringIsHarmless) {
  std::string name = UniqueName("twice");
  NamedMutex never;
  never.Release();
  NamedMutex lock;
  ASSERT_TRUE(lock.Acquire(name));
  lock.Release();
  lock.Release();
  EXPECT_TRUE(AcquireElsewhere(name));
  // Acquiring again on the same object starts from a clean state.
  ASSERT_TRUE(lock.Acquire(name));
  ASSERT_TRUE(lock.Acquire(name));
  lock.Release();
  EXPECT_TRUE(AcquireElsewhere(name));
}

TEST(CriticalSectionTest, EnterAndLeaveBeforeInitNeitherBlockNorLock) {
  CriticalSection lock;
  lock.Enter();
  std::atomic<bool> entered{false};
  std::thread other([&] {
    lock.Enter();
    entered = true;
    lock.Leave();
  });
  other.join();
  EXPECT_TRUE(entered);
  lock.Leave();
  lock.Delete();  // nothing to delete: harmless
}

TEST(CriticalSectionTest, ExcludesOtherThreadsAndIsRecursiveForItsOwner) {
  CriticalSection lock;
  lock.Init();
  lock.Enter();
  lock.Enter();  // recursive: must not deadlock
  std::atomic<bool> entered{false};
  std::thread other([&] {
    lock.Enter();
    entered = true;
    lock.Leave();
  });
  ::Sleep(100);
  EXPECT_FALSE(entered);
  lock.Leave();
  ::Sleep(100);
  EXPECT_FALSE(entered);  // still held once
  lock.Leave();
  other.join();
  EXPECT_TRUE(entered);
}

TEST(CriticalSectionTest, InitAgainAndDeleteTwiceLeaveAUsableLock) {
  CriticalSection lock;
  lock.Init();
  lock.Init();  // deletes the first one first
  lock.Delete();
  lock.Delete();
  lock.Enter();  // after Delete it is back to doing nothing
  lock.Leave();
  lock.Init();
  { CriticalSectionLock hold(lock); }
  std::atomic<bool> entered{false};
  std::thread other([&] {
    CriticalSectionLock hold(lock);
    entered = true;
  });
  other.join();
  EXPECT_TRUE(entered);
}

}  // namespace
