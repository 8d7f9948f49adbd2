#include "gui_queue.h"

namespace {
const char kWindowClass[] = "LumoBrowserViewQueue";
// One posted message stands for every task queued since the last run.
const UINT kRunTasksMessage = WM_APP + 0x4C;

HINSTANCE OwnInstance() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&OwnInstance), &self);
  return self;
}
}  // namespace

bool GuiQueue::Create(std::function<void()> on_wake) {
  on_wake_ = std::move(on_wake);
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &GuiQueue::WindowProc;
  window_class.hInstance = OwnInstance();
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassA(&window_class);  // fails harmlessly when already registered
  window_ = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              OwnInstance(), nullptr);
  if (!window_) return false;
  ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  thread_id_ = ::GetCurrentThreadId();
  return true;
}

void GuiQueue::Destroy() {
  // Dropped outside the lock: a task may own a page connection, whose end
  // waits for a reader thread that may be queueing a task right now.
  std::deque<std::function<void()>> dropped;
  HWND window;
  {
    std::lock_guard<std::mutex> lock(lock_);
    window = window_;
    window_ = nullptr;
    dropped.swap(tasks_);
  }
  if (window) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
  }
}

void GuiQueue::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!window_) return;
  tasks_.push_back(std::move(task));
  if (!wake_posted_) wake_posted_ = ::PostMessageA(window_, kRunTasksMessage, 0, 0) != FALSE;
}

void GuiQueue::RunPending() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(lock_);
      wake_posted_ = false;
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

LRESULT CALLBACK GuiQueue::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunTasksMessage) {
    auto* queue = reinterpret_cast<GuiQueue*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    // The handler may destroy the queue's owner; nothing here touches it afterwards.
    if (!queue) return 0;
    std::function<void()> wake = queue->on_wake_;
    wake();
    return 0;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}
