#include "restart_loop.h"

void RestartLoop::Request() {
  std::lock_guard<std::mutex> lock(lock_);
  if (stop_) return;
  requested_ = true;
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  wake_.notify_all();
}

void RestartLoop::Stop() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    stop_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

void RestartLoop::Run() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || requested_; });
    if (stop_) return;
    if (ended_once_) {
      auto earliest = last_end_ + std::chrono::milliseconds(pause_ms_.load());
      if (wake_.wait_until(lock, earliest, [this] { return stop_.load(); })) return;
    }
    requested_ = false;
    lock.unlock();
    bool up = attempt_();
    lock.lock();
    last_end_ = std::chrono::steady_clock::now();
    ended_once_ = true;
    ++attempts_;
    if (!up) requested_ = true;
  }
}
