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
    Clock::duration wait = Clock::duration::zero();
    if (ended_once_) {
      wait = last_end_ + std::chrono::milliseconds(pause_ms_.load()) - now_();
      if (wait < Clock::duration::zero()) wait = Clock::duration::zero();
    }
    // Kept for the first attempts only, so a browser retried for weeks does
    // not grow the list.
    if (waits_ms_.size() < kWaitsKept)
      waits_ms_.push_back(
          static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()));
    if (wait > Clock::duration::zero() &&
        wake_.wait_for(lock, wait, [this] { return stop_.load(); })) {
      return;
    }
    requested_ = false;
    lock.unlock();
    bool up = attempt_();
    lock.lock();
    last_end_ = now_();
    ended_once_ = true;
    ++attempts_;
    if (!up) requested_ = true;
  }
}

std::vector<int> RestartLoop::waits_ms() const {
  std::lock_guard<std::mutex> lock(lock_);
  return waits_ms_;
}
