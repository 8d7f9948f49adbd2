#include "bench/relay/bench_sender.h"

#include <string>

#include "bench/relay/arrival_log.h"
#include "bench/relay/bench_message.h"
#include "tests/support/loopback_socket.h"

BenchSender::~BenchSender() { Stop(); }

bool BenchSender::Start(Mode mode, long count, size_t body_bytes, ArrivalLog* arrivals) {
  mode_ = mode;
  count_ = count;
  body_bytes_ = body_bytes < kMinBenchBody ? kMinBenchBody : body_bytes;
  arrivals_ = arrivals;
  int port = 0;
  listener_ = ListenOnLoopback(0, 1, &port);
  if (listener_ == INVALID_SOCKET) return false;
  port_ = static_cast<USHORT>(port);
  thread_ = std::thread(&BenchSender::Run, this);
  return true;
}

void BenchSender::Stop() {
  CloseSocket(listener_);
  listener_ = INVALID_SOCKET;
  CloseSocket(peer_.exchange(INVALID_SOCKET));
  if (thread_.joinable()) thread_.join();
}

void BenchSender::Run() {
  SOCKET peer = ::accept(listener_, nullptr, nullptr);
  if (peer == INVALID_SOCKET) return;
  peer_ = peer;
  const bool sent = mode_ == Mode::kFlood ? SendFlood(peer) : SendLockstep(peer);
  all_sent_ = sent;
  if (sent) WaitForClientClose(peer);
  // Whoever takes the handle closes it: this thread, or Stop.
  CloseSocket(peer_.exchange(INVALID_SOCKET));
}

bool BenchSender::SendFlood(SOCKET peer) {
  std::string batch;
  batch.reserve(kFloodBatchBytes + body_bytes_ + 8);
  long seq = 0;
  while (seq < count_) {
    batch.clear();
    const int64_t stamp = PerformanceNow();
    if (seq == 0) first_send_ = stamp;
    while (seq < count_ && batch.size() < kFloodBatchBytes) {
      AppendBenchFrame(seq++, stamp, body_bytes_, &batch);
    }
    if (!SendAll(peer, batch)) return false;
  }
  return true;
}

bool BenchSender::SendLockstep(SOCKET peer) {
  std::string frame;
  for (long seq = 0; seq < count_; ++seq) {
    frame.clear();
    const int64_t stamp = PerformanceNow();
    if (seq == 0) first_send_ = stamp;
    AppendBenchFrame(seq, stamp, body_bytes_, &frame);
    if (!SendAll(peer, frame)) return false;
    if (arrivals_ == nullptr || !arrivals_->WaitFor(seq, kLockstepWaitMs)) return false;
  }
  return true;
}

// The client ends the run by closing its end; until then the connection
// stays open so no message is cut off by our close.
void BenchSender::WaitForClientClose(SOCKET peer) {
  char sink[4096];
  while (::recv(peer, sink, sizeof(sink), 0) > 0) {
  }
}
