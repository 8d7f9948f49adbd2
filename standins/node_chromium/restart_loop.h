#pragma once
// The thread that brings a view's browser back. Each request runs one attempt
// to start a browser page; a failed attempt is retried, forever, until one
// succeeds or the loop stops. An attempt starts no sooner than one pause after
// the previous one ended, so a browser that never starts, or dies right after
// it started, is retried at a fixed pace (as everything else in the program
// waits: no growing back-off), while one that ran for a while is replaced at
// once. One thread for the loop's whole life, started by the first request.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RestartLoop {
 public:
  using Clock = std::chrono::steady_clock;
  // Runs on the loop's thread; true when a browser page is up.
  using Attempt = std::function<bool()>;

  explicit RestartLoop(Attempt attempt) : attempt_(std::move(attempt)) {}
  ~RestartLoop() { Stop(); }
  RestartLoop(const RestartLoop&) = delete;
  RestartLoop& operator=(const RestartLoop&) = delete;

  // Asks for an attempt; callable from any thread. Requests made while one is
  // pending or running add no further attempt once it succeeded.
  void Request();
  // Ends the thread: a pause is cut short, a running attempt is waited for.
  // Requests after this do nothing.
  void Stop();
  void set_pause_ms(int pause_ms) { pause_ms_ = pause_ms; }
  // Set once Stop() began; long waits inside an attempt give up when it is.
  const std::atomic<bool>& stopping() const { return stop_; }
  // Attempts finished so far.
  int attempts() const { return attempts_; }
  // Tests: the clock the pause is measured on, set before the first request
  // (the pause is still slept in real time), and the pause each of the first
  // kWaitsKept attempts was made to wait for, in milliseconds.
  void set_clock_for_test(std::function<Clock::time_point()> now) { now_ = std::move(now); }
  std::vector<int> waits_ms() const;

  static constexpr int kDefaultPauseMs = 3000;
  static constexpr size_t kWaitsKept = 64;

 private:
  void Run();

  Attempt attempt_;
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> pause_ms_{kDefaultPauseMs};
  std::atomic<int> attempts_{0};
  bool requested_ = false;
  bool ended_once_ = false;
  Clock::time_point last_end_;
  std::vector<int> waits_ms_;
};
