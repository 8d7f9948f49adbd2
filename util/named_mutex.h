#pragma once
// A named Win32 mutex held as the single-instance lock of the program.
#include <windows.h>

#include <string>

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex() { Release(); }
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Creates the mutex with initial ownership and checks without waiting that no
  // other process holds it. A mutex abandoned by a process that died counts as
  // acquired. False when another process holds it or it cannot be created.
  bool Acquire(const std::string& name);
  // Releases and closes the mutex; harmless when nothing is held.
  void Release();
  bool IsHeld() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};
