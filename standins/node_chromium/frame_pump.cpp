#include "frame_pump.h"

#include <objbase.h>

FramePump::FramePump(FrameSink sink) : sink_(std::move(sink)) {
  thread_ = std::thread([this] { Run(); });
}

FramePump::~FramePump() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    stop_ = true;
    wake_.notify_all();
  }
  thread_.join();
}

void FramePump::Submit(std::string base64) {
  std::lock_guard<std::mutex> lock(lock_);
  waiting_ = std::move(base64);
  has_waiting_ = true;
  wake_.notify_all();
}

void FramePump::Run() {
  // The decoder is a COM object; this thread owns its own apartment.
  HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (;;) {
    std::string encoded;
    {
      std::unique_lock<std::mutex> lock(lock_);
      wake_.wait(lock, [this] { return stop_ || has_waiting_; });
      if (stop_) break;
      encoded.swap(waiting_);
      has_waiting_ = false;
    }
    std::vector<uint8_t> bytes;
    FramePixels frame;
    if (DecodeBase64(encoded, &bytes) && DecodeImage(bytes, &frame)) sink_(std::move(frame));
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
}
