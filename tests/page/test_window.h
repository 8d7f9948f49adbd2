#pragma once
// A real top-level window for host tests: borderless (client area = window
// area), with its own ANSI procedure that records what reaches it, playing the
// program's main-window procedure behind the host.
#include <windows.h>

#include <vector>

class TestWindow {
 public:
  // What the window's own procedure answers to WM_NCHITTEST, so a test can
  // tell the host's answer from the window's.
  static constexpr LRESULT kOwnHitTest = 0x55;

  // Hidden unless `visible`: showing and hiding a window under Wine without a
  // window manager waits for the X server, so only tests that look at pixels
  // or need focus show theirs.
  TestWindow(int x, int y, int width, int height, bool visible = false);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND get() const { return window_; }
  // Messages that reached the window's own procedure, in order.
  const std::vector<MSG>& seen() const { return seen_; }
  int SeenCount(UINT message) const;
  void ClearSeen() { seen_.clear(); }
  // Destroys the window now (the destructor does it otherwise).
  void Destroy();
  // Packs a screen point as the mouse messages carry it.
  static LPARAM ScreenPoint(int x, int y) { return MAKELPARAM(x & 0xFFFF, y & 0xFFFF); }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  std::vector<MSG> seen_;
};

// Runs the calling thread's pending messages.
void PumpMessages();
