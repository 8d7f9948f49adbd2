#include "bench/relay/arrival_log.h"

ArrivalLog::ArrivalLog(long expected)
    : expected_(expected), latencies_(static_cast<size_t>(expected > 0 ? expected : 0), -1) {
  all_arrived_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  one_arrived_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

ArrivalLog::~ArrivalLog() {
  if (all_arrived_ != nullptr) ::CloseHandle(all_arrived_);
  if (one_arrived_ != nullptr) ::CloseHandle(one_arrived_);
}

void ArrivalLog::Record(long seq, int64_t stamp) {
  const int64_t now = PerformanceNow();
  // Duplicates, gaps and reordering all count as out of order: the link
  // promises every message once, in the order sent.
  if (seq != next_seq_) ++out_of_order_;
  next_seq_ = seq + 1;
  if (seq >= 0 && seq < expected_ && latencies_[static_cast<size_t>(seq)] < 0) {
    latencies_[static_cast<size_t>(seq)] = now - stamp;
  }
  last_arrival_ = now;
  if (++received_ == expected_) ::SetEvent(all_arrived_);
  ::SetEvent(one_arrived_);
}

bool ArrivalLog::WaitFor(long seq, DWORD timeout_ms) {
  while (received_ <= seq) {
    if (::WaitForSingleObject(one_arrived_, timeout_ms) != WAIT_OBJECT_0) return false;
  }
  return true;
}

int64_t PerformanceNow() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}
