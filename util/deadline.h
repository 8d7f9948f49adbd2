#pragma once
// One time limit for a whole piece of work, counted from when the work began:
// every wait inside it takes only what is left, so the waits together never
// outlast the limit, and once it has passed nothing waits again.
#include <windows.h>

class Deadline {
 public:
  // INFINITE never passes.
  explicit Deadline(DWORD total_ms) : start_(::GetTickCount()), total_ms_(total_ms) {}

  // What is left, for a wait: 0 once passed (a wait of 0 only looks),
  // INFINITE for a limit of INFINITE.
  DWORD Remaining() const {
    if (total_ms_ == INFINITE) return INFINITE;
    DWORD gone = ::GetTickCount() - start_;
    return gone >= total_ms_ ? 0 : total_ms_ - gone;
  }
  bool Passed() const { return Remaining() == 0; }

 private:
  DWORD start_;
  DWORD total_ms_;
};
