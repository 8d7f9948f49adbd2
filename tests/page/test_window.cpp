#include "tests/page/test_window.h"

namespace {

constexpr char kClassName[] = "LumoHostTestWindow";
constexpr char kOwnerProperty[] = "LumoTestWindow";

void RegisterClassOnce(WNDPROC procedure) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = ::GetModuleHandleA(nullptr);
  window_class.lpszClassName = kClassName;
  window_class.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  registered = ::RegisterClassA(&window_class) != 0;
}

}  // namespace

TestWindow::TestWindow(int x, int y, int width, int height, bool visible) {
  RegisterClassOnce(&Procedure);
  const DWORD style = WS_POPUP | (visible ? WS_VISIBLE : 0);
  window_ = ::CreateWindowExA(0, kClassName, "host test", style, x, y, width, height, nullptr,
                              nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ::SetPropA(window_, kOwnerProperty, this);
  PumpMessages();
}

TestWindow::~TestWindow() { Destroy(); }

void TestWindow::Destroy() {
  if (window_ != nullptr && ::IsWindow(window_)) ::DestroyWindow(window_);
  window_ = nullptr;
}

int TestWindow::SeenCount(UINT message) const {
  int count = 0;
  for (const MSG& m : seen_) count += m.message == message ? 1 : 0;
  return count;
}

LRESULT CALLBACK TestWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = static_cast<TestWindow*>(::GetPropA(window, kOwnerProperty));
  if (self != nullptr) {
    MSG record = {window, message, wparam, lparam, 0, {0, 0}};
    self->seen_.push_back(record);
  }
  if (message == WM_NCHITTEST) return kOwnHitTest;
  if (message == WM_NCDESTROY) ::RemovePropA(window, kOwnerProperty);
  return ::DefWindowProcA(window, message, wparam, lparam);
}

void PumpMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}
