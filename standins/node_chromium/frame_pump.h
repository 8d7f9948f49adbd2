#pragma once
// Decodes the page's frames on a thread of its own, newest first: a frame that
// arrives while another is decoding replaces any frame still waiting, so a slow
// decode never builds a backlog behind the page.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "frame_decoder.h"

class FramePump {
 public:
  // Runs on the pump's thread with each decoded frame.
  using FrameSink = std::function<void(FramePixels&& frame)>;

  explicit FramePump(FrameSink sink);
  ~FramePump();
  FramePump(const FramePump&) = delete;
  FramePump& operator=(const FramePump&) = delete;

  // Hands over one encoded frame (base64); any frame still waiting is dropped.
  void Submit(std::string base64);

 private:
  void Run();

  FrameSink sink_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::string waiting_;
  bool has_waiting_ = false;
  bool stop_ = false;
  std::thread thread_;
};
