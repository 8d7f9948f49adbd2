#include "util/named_mutex.h"

bool NamedMutex::Acquire(const std::string& name) {
  Release();
  SECURITY_ATTRIBUTES attributes = {};
  handle_ = ::CreateMutexA(&attributes, TRUE, name.c_str());
  if (handle_ == nullptr) return false;
  if (::WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) {
    // Another process holds it; the initial ownership was not granted to us.
    ::ReleaseMutex(handle_);
    ::CloseHandle(handle_);
    handle_ = nullptr;
    return false;
  }
  return true;
}

void NamedMutex::Release() {
  if (handle_ == nullptr) return;
  ::ReleaseMutex(handle_);
  ::CloseHandle(handle_);
  handle_ = nullptr;
}
