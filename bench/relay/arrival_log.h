#pragma once
// What arrived at the receiving end of one benchmark run: for every sequence
// number, the time from the sender's stamp to its arrival, in
// QueryPerformanceCounter ticks. One thread records at a time (the socket
// worker for the bare loop, the GUI thread for the page); others wait on it.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

class ArrivalLog {
 public:
  explicit ArrivalLog(long expected);
  ~ArrivalLog();
  ArrivalLog(const ArrivalLog&) = delete;
  ArrivalLog& operator=(const ArrivalLog&) = delete;

  // Notes the arrival of message seq sent at `stamp`, now.
  void Record(long seq, int64_t stamp);
  // Notes a message whose stamp could not be read.
  void RecordUnreadable() { ++unreadable_; }
  // Blocks until message seq (and so every one before it, in order) arrived;
  // false after timeout_ms without progress.
  bool WaitFor(long seq, DWORD timeout_ms);
  // Signalled once `expected` messages arrived.
  HANDLE all_arrived() const { return all_arrived_; }

  long expected() const { return expected_; }
  long received() const { return received_; }
  long out_of_order() const { return out_of_order_; }
  long unreadable() const { return unreadable_; }
  int64_t last_arrival() const { return last_arrival_; }
  // Latency ticks per sequence number; -1 where nothing arrived.
  const std::vector<int64_t>& latencies() const { return latencies_; }

 private:
  const long expected_;
  std::vector<int64_t> latencies_;
  std::atomic<long> received_{0};
  std::atomic<long> out_of_order_{0};
  std::atomic<long> unreadable_{0};
  std::atomic<int64_t> last_arrival_{0};
  long next_seq_ = 0;
  HANDLE all_arrived_ = nullptr;
  HANDLE one_arrived_ = nullptr;  // auto-reset, for lockstep waits
};

// The current QueryPerformanceCounter reading.
int64_t PerformanceNow();
// Ticks per second of the same counter.
int64_t PerformanceFrequency();
