#include "standins/node/message_window.h"

#include <mutex>

#include "standins/node/module_path.h"

namespace node_standin {
namespace {

constexpr wchar_t kClassName[] = L"LumoNodeEngineWindow";

bool RegisterClassOnce(WNDPROC procedure) {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [&] {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = ThisModule();
    window_class.lpszClassName = kClassName;
    registered =
        ::RegisterClassExW(&window_class) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  });
  return registered;
}

}  // namespace

MessageWindow::~MessageWindow() {
  if (window_ == nullptr) return;
  // From now on the window no longer reaches its delegate, whichever thread
  // ends it.
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  if (OnOwnerThread()) {
    ::DestroyWindow(window_);
  } else {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
}

bool MessageWindow::Create(Delegate* delegate) {
  if (window_ != nullptr || !RegisterClassOnce(&Procedure)) return false;
  window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ThisModule(), nullptr);
  if (window_ == nullptr) return false;
  owner_thread_ = ::GetCurrentThreadId();
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(delegate));
  return true;
}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* delegate = reinterpret_cast<Delegate*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (delegate != nullptr && (message == WM_TIMER || message >= WM_APP)) {
    delegate->OnWindowMessage(message, wparam, lparam);
    return 0;
  }
  if (message == WM_CLOSE && delegate == nullptr) {  // orphaned by another thread
    ::DestroyWindow(window);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace node_standin
