#include "pipe_link.h"

#include <algorithm>

namespace {
// The longest the deliverer sleeps without looking whether it was stopped.
constexpr int kLongestWaitMs = 1000;

HANDLE OpenFifo(const std::wstring& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) || written == 0)
      return false;
    data += written;
    size -= written;
  }
  return true;
}
}  // namespace

PipeLink::~PipeLink() {
  Close();
  // Only when the last owner was the deliverer itself, which Close() cannot join.
  if (deliverer_.joinable()) deliverer_.detach();
}

bool PipeLink::Open(const std::wstring& from_browser, const std::wstring& to_browser,
                    MessageSink on_message, ClosedSink on_closed, TickSink on_tick) {
  if (open_) return false;
  from_browser_path_ = from_browser;
  from_browser_.Set(OpenFifo(from_browser, GENERIC_READ));
  to_browser_.Set(OpenFifo(to_browser, GENERIC_WRITE));
  arrived_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!from_browser_.IsValid() || !to_browser_.IsValid() || !arrived_.IsValid()) {
    from_browser_.Close();
    to_browser_.Close();
    return false;
  }
  on_message_ = std::move(on_message);
  on_closed_ = std::move(on_closed);
  on_tick_ = std::move(on_tick);
  queue_.clear();
  ended_ = false;
  stop_ = false;
  open_ = true;
  reader_ = std::thread([this] { ReadLoop(); });
  deliverer_ = std::thread([this] { DeliverLoop(); });
  return true;
}

void PipeLink::ReadLoop() {
  std::string partial;
  char buffer[64 * 1024];
  while (!stop_) {
    DWORD read = 0;
    // Zero bytes: every writer is gone, so the browser and its keeper ended.
    if (!::ReadFile(from_browser_.Get(), buffer, sizeof(buffer), &read, nullptr) || read == 0)
      break;
    std::lock_guard<std::mutex> lock(queue_lock_);
    for (DWORD i = 0; i < read; ++i) {
      if (buffer[i] != '\0') {
        partial.push_back(buffer[i]);
      } else if (!partial.empty()) {
        queue_.push_back(std::move(partial));
        partial.clear();
      }
    }
    if (!queue_.empty()) ::SetEvent(arrived_.Get());
  }
  std::lock_guard<std::mutex> lock(queue_lock_);
  ended_ = true;
  ::SetEvent(arrived_.Get());
}

void PipeLink::DeliverLoop() {
  bool ended = false;
  while (!stop_ && !ended) {
    std::deque<std::string> batch;
    {
      std::lock_guard<std::mutex> lock(queue_lock_);
      batch.swap(queue_);
      ended = ended_;
      if (!ended) ::ResetEvent(arrived_.Get());
    }
    for (std::string& message : batch) {
      if (stop_) break;
      if (on_message_) on_message_(std::move(message));
    }
    if (stop_ || ended) break;
    int next_tick = on_tick_ ? on_tick_() : kNoTick;
    int limit = next_tick == kNoTick ? kLongestWaitMs : std::min(next_tick, kLongestWaitMs);
    if (!stop_) ::WaitForSingleObject(arrived_.Get(), static_cast<DWORD>(std::max(limit, 0)));
  }
  open_ = false;
  if (!stop_ && on_closed_) on_closed_();
}

bool PipeLink::Send(const std::string& text) {
  std::lock_guard<std::mutex> lock(send_lock_);
  if (!open_ || !to_browser_.IsValid()) return false;
  // One write per message where it fits, so nothing of another sender's lands inside it.
  std::string message = text;
  message.push_back('\0');
  return WriteAll(to_browser_.Get(), message.data(), message.size());
}

void PipeLink::Close() {
  stop_ = true;
  if (arrived_.IsValid()) ::SetEvent(arrived_.Get());
  if (reader_.joinable()) {
    // A read in progress cannot be cancelled: an empty message ends it. The
    // FIFO has a reader (us), so opening it to write does not block.
    bool ended;
    {
      std::lock_guard<std::mutex> lock(queue_lock_);
      ended = ended_;
    }
    if (!ended) {
      ScopedKernelHandle wake(OpenFifo(from_browser_path_, GENERIC_WRITE));
      if (wake.IsValid()) WriteAll(wake.Get(), "", 1);
    }
    reader_.join();
  }
  if (deliverer_.joinable() && deliverer_.get_id() != std::this_thread::get_id()) deliverer_.join();
  std::lock_guard<std::mutex> lock(send_lock_);
  open_ = false;
  from_browser_.Close();
  to_browser_.Close();
}
