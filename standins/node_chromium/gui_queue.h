#pragma once
// Work handed from the browser's threads to the thread that created the view
// (the program's GUI thread): a message-only window owned by this object wakes
// that thread's message loop, which then runs the queued tasks in order.
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

class GuiQueue {
 public:
  GuiQueue() = default;
  ~GuiQueue() { Destroy(); }
  GuiQueue(const GuiQueue&) = delete;
  GuiQueue& operator=(const GuiQueue&) = delete;

  // Creates the window on the calling thread, which becomes the GUI thread.
  // `on_wake` runs there when tasks are waiting; it should call RunPending().
  bool Create(std::function<void()> on_wake);
  void Destroy();
  // Queues a task for the GUI thread; callable from any thread.
  void Post(std::function<void()> task);
  // Runs every queued task now; GUI thread only.
  void RunPending();
  bool OnGuiThread() const { return ::GetCurrentThreadId() == thread_id_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  DWORD thread_id_ = 0;
  std::mutex lock_;
  std::deque<std::function<void()>> tasks_;
  bool wake_posted_ = false;
  std::function<void()> on_wake_;
};
