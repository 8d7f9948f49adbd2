#pragma once
// A message-only window owned by one object: the way request threads reach
// the GUI thread (posted messages) and the carrier of the page's timers.
#include <windows.h>

namespace node_standin {

class MessageWindow {
 public:
  class Delegate {
   public:
    virtual void OnWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) = 0;

   protected:
    ~Delegate() = default;
  };

  MessageWindow() = default;
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Creates the window on the calling thread, which then owns it.
  bool Create(Delegate* delegate);
  HWND handle() const { return window_; }
  bool OnOwnerThread() const { return ::GetCurrentThreadId() == owner_thread_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  DWORD owner_thread_ = 0;
};

}  // namespace node_standin
