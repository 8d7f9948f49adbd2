#pragma once
// An in-process Win32 critical section: recursive for its owner, no time-out.
// Enter and Leave do nothing until Init, so a lock used before start-up never
// blocks.
#include <windows.h>

#include <memory>

class CriticalSection {
 public:
  CriticalSection() : storage_(std::make_unique<CRITICAL_SECTION>()) {}
  ~CriticalSection() { Delete(); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Init() {
    Delete();
    ::InitializeCriticalSection(storage_.get());
    initialised_ = true;
  }
  void Enter() {
    if (initialised_) ::EnterCriticalSection(storage_.get());
  }
  void Leave() {
    if (initialised_) ::LeaveCriticalSection(storage_.get());
  }
  void Delete() {
    if (!initialised_) return;
    ::DeleteCriticalSection(storage_.get());
    initialised_ = false;
  }

 private:
  std::unique_ptr<CRITICAL_SECTION> storage_;
  bool initialised_ = false;
};

// Holds a CriticalSection for one scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
  ~CriticalSectionLock() { lock_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& lock_;
};
