#pragma once
// The browser's own debugging pipe, reached through two FIFOs its keeper made
// in a folder only our user can enter: one the browser reads commands from,
// one it writes its replies and events to. Messages end with a NUL byte and
// carry no other framing.
//
// Under Wine a read of a FIFO cannot be cancelled, so a blocking reader thread
// collects messages and a delivering thread hands them on with the ticks;
// Close() wakes the blocked read by writing one NUL into the browser's
// outgoing FIFO itself (an empty message, which nobody sees).
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "message_link.h"
#include "util/scoped_handle.h"

class PipeLink : public MessageLink {
 public:
  PipeLink() = default;
  ~PipeLink() override;
  PipeLink(const PipeLink&) = delete;
  PipeLink& operator=(const PipeLink&) = delete;

  // Opens both FIFOs (Windows paths) and starts the threads; false when
  // either cannot be opened.
  bool Open(const std::wstring& from_browser, const std::wstring& to_browser,
            MessageSink on_message, ClosedSink on_closed, TickSink on_tick);
  bool Send(const std::string& text) override;
  void Close() override;
  bool IsOpen() const override { return open_; }

 private:
  void ReadLoop();     // blocking reads, split at NUL
  void DeliverLoop();  // the owner's sinks run here

  std::wstring from_browser_path_;
  ScopedKernelHandle from_browser_;
  ScopedKernelHandle to_browser_;
  std::mutex send_lock_;
  std::thread reader_;
  std::thread deliverer_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> open_{false};
  // Filled by the reader, emptied by the deliverer; `arrived_` is set while
  // anything (a message or the end) waits in it.
  std::mutex queue_lock_;
  std::deque<std::string> queue_;
  bool ended_ = false;
  ScopedKernelHandle arrived_;
  MessageSink on_message_;
  ClosedSink on_closed_;
  TickSink on_tick_;
};
