#pragma once
// The benchmark's server end: a Winsock listener on loopback whose thread
// accepts one connection and pushes pack-framed bench messages to it.
//
// In flood mode the messages go out as fast as the socket takes them, in
// batches of about kFloodBatchBytes; every message of a batch carries the
// time stamp read just before the batch was built and sent. In lockstep each
// message waits until the receiving side reports the previous one arrived
// (ArrivalLog::WaitFor), so its latency is that of an idle link.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <atomic>
#include <cstdint>
#include <thread>

class ArrivalLog;

class BenchSender {
 public:
  enum class Mode { kFlood, kLockstep };

  BenchSender() = default;
  ~BenchSender();  // joins the thread; Stop first if it may still be blocked
  BenchSender(const BenchSender&) = delete;
  BenchSender& operator=(const BenchSender&) = delete;

  // Listens on 127.0.0.1 (ephemeral port) and starts the thread that waits
  // for the one connection. `arrivals` is only read in lockstep mode.
  bool Start(Mode mode, long count, size_t body_bytes, ArrivalLog* arrivals);
  USHORT port() const { return port_; }
  // QueryPerformanceCounter just before the first byte was sent; 0 before.
  int64_t first_send() const { return first_send_; }
  // True once every message went to the socket without an error.
  bool all_sent() const { return all_sent_; }
  // Closes the sockets, which ends a thread blocked in accept, send or recv,
  // and joins it.
  void Stop();

 private:
  void Run();
  bool SendFlood(SOCKET peer);
  bool SendLockstep(SOCKET peer);
  void WaitForClientClose(SOCKET peer);

  SOCKET listener_ = INVALID_SOCKET;
  std::atomic<SOCKET> peer_{INVALID_SOCKET};
  USHORT port_ = 0;
  Mode mode_ = Mode::kFlood;
  long count_ = 0;
  size_t body_bytes_ = 0;
  ArrivalLog* arrivals_ = nullptr;
  std::atomic<int64_t> first_send_{0};
  std::atomic<bool> all_sent_{false};
  std::thread thread_;
};

// How much a flood batch holds before it goes to the socket.
inline constexpr size_t kFloodBatchBytes = 64 * 1024;
// How long lockstep waits for one message to arrive before giving up.
inline constexpr DWORD kLockstepWaitMs = 10000;
