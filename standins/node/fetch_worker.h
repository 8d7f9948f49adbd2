#pragma once
// Requests performed on threads of their own, their results handed back to
// the GUI thread through a mailbox: the worker appends the finished job and
// posts a message to the view's window, the view drains the mailbox there.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "standins/node/http_fetch.h"

namespace node_standin {

enum class FetchPurpose { kPage, kScript, kXhr, kFrame };

struct FetchJob {
  FetchPurpose purpose = FetchPurpose::kPage;
  uint32_t owner = 0;       // navigation serial (page, script) or page serial (XHR)
  uint32_t xhr_id = 0;      // or the child frame's index
  uint32_t frame_load = 0;  // which load of that frame
  FetchRequest request;
  FetchResponse response;
};

class FetchMailbox {
 public:
  FetchMailbox(HWND window, UINT message) : window_(window), message_(message) {}

  // Worker side: keeps the finished job and wakes the GUI thread, unless the
  // view has gone, in which case the job is dropped.
  void Deliver(std::unique_ptr<FetchJob> job);
  // GUI side.
  std::vector<std::unique_ptr<FetchJob>> TakeAll();
  // The view is going away: running requests abort and results are dropped.
  void Close();
  const std::atomic<bool>* closed_flag() const { return &closed_; }

 private:
  std::mutex mutex_;
  std::deque<std::unique_ptr<FetchJob>> done_;
  HWND window_;
  UINT message_;
  std::atomic<bool> closed_{false};
};

// Starts the request on a detached thread; the thread owns the job until it
// delivers it.
void StartFetch(std::shared_ptr<FetchMailbox> mailbox, std::unique_ptr<FetchJob> job);

}  // namespace node_standin
