// What the host window does with input, focus, size, paint and the message
// filter, on real windows with a recording engine table.
// The input-method header needs windows.h before it.
// clang-format off
#include <windows.h>
#include <imm.h>
#include <windowsx.h>
// clang-format on

#include <gtest/gtest.h>

#include <memory>

#include "page/page_host.h"
#include "tests/page/fake_engine.h"
#include "tests/page/test_window.h"

namespace {

// The message filter under test: answers `filter_answer` for `filtered`.
UINT filtered = 0;
LRESULT filter_answer = 0;
int filter_calls = 0;

LRESULT CALLBACK TestFilter(HWND, UINT message, WPARAM, LPARAM) {
  if (message != filtered) return 0;
  ++filter_calls;
  return filter_answer;
}

class HostInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallFakeEngine();
    window_ = std::make_unique<TestWindow>(100, 80, 200, 100, Visible());
    ASSERT_TRUE(host_.Attach(window_->get(), false));
    window_->ClearSeen();
    filtered = 0;
    filter_answer = 0;
    filter_calls = 0;
  }
  void TearDown() override {
    host_.Detach();
    window_.reset();
    UninstallFakeEngine();
  }
  virtual bool Visible() const { return false; }
  HWND window() const { return window_->get(); }
  LRESULT Send(UINT message, WPARAM wparam, LPARAM lparam) {
    return ::SendMessageA(window(), message, wparam, lparam);
  }
  LPARAM ScreenOf(int x, int y) {
    POINT point = {x, y};
    ::ClientToScreen(window(), &point);
    return TestWindow::ScreenPoint(point.x, point.y);
  }

  std::unique_ptr<TestWindow> window_;
  PageHost host_;
};

// Bit 30 of lParam (previous key state) is bit 14 of its high word; bit 24
// (extended key) is bit 8.
constexpr LPARAM kRepeatedExtendedKey = (1 << 30) | (1 << 24) | 1;

TEST_F(HostInputTest, KeyDownCarriesRepeatAndExtendedFlags) {
  EXPECT_EQ(Send(WM_KEYDOWN, VK_RETURN, kRepeatedExtendedKey), 0);
  EXPECT_TRUE(Fake().Called("key-down 13 0x4100 0"));
  EXPECT_EQ(window_->SeenCount(WM_KEYDOWN), 0);
}

TEST_F(HostInputTest, PlainKeyUpAndCharHaveNoFlags) {
  Send(WM_KEYUP, 'A', 1);
  Send(WM_CHAR, 'a', 1);
  EXPECT_TRUE(Fake().Called("key-up 65 0x0 0"));
  EXPECT_TRUE(Fake().Called("key-press 97 0x0 0"));
}

TEST_F(HostInputTest, KeyTheViewIgnoresGoesToTheWindow) {
  Fake().fire_result = false;
  Send(WM_KEYDOWN, VK_F5, 1);
  EXPECT_EQ(window_->SeenCount(WM_KEYDOWN), 1);
}

TEST_F(HostInputTest, ButtonDownFocusesAndCaptures) {
  Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(20, 30));
  EXPECT_TRUE(Fake().Called("mouse 0x201 20 30 0x9"));
  EXPECT_EQ(::GetCapture(), window());
  EXPECT_EQ(::GetFocus(), window());
  Send(WM_LBUTTONUP, 0, MAKELPARAM(20, 30));
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_EQ(window_->SeenCount(WM_LBUTTONDOWN), 0);
}

TEST_F(HostInputTest, MouseFlagsKeepOnlyModifiersAndButtons) {
  Send(WM_MOUSEMOVE, MK_SHIFT | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1, MAKELPARAM(1, 2));
  EXPECT_TRUE(Fake().Called("mouse 0x200 1 2 0x16"));
}

TEST_F(HostInputTest, CapturedMouseLeftOfTheWindowKeepsItsSign) {
  Send(WM_MOUSEMOVE, 0, MAKELPARAM(-5, -7));
  EXPECT_TRUE(Fake().Called("mouse 0x200 -5 -7 0x0"));
}

TEST_F(HostInputTest, MouseTheViewIgnoresGoesToTheWindow) {
  Fake().fire_result = false;
  Send(WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(3, 4));
  EXPECT_TRUE(Fake().Called("mouse 0x206 3 4 0x2"));
  EXPECT_EQ(window_->SeenCount(WM_RBUTTONDBLCLK), 1);
}

TEST_F(HostInputTest, KeyboardContextMenuIsNotConverted) {
  EXPECT_EQ(Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window()), -1), 0);
  EXPECT_TRUE(Fake().Called("context -1 -1 0x0"));
}

TEST_F(HostInputTest, MouseContextMenuIsInClientCoordinates) {
  // wParam is the window handle here; its bits are not key flags.
  Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window()) | 0x1F, ScreenOf(10, 20));
  EXPECT_TRUE(Fake().Called("context 10 20 0x0"));
}

TEST_F(HostInputTest, WheelIsInClientCoordinatesWithSignedDelta) {
  Send(WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, -WHEEL_DELTA), ScreenOf(30, 40));
  EXPECT_TRUE(Fake().Called("wheel 30 40 -120 0x4"));
}

TEST_F(HostInputTest, FocusSizeCursorAndBackground) {
  EXPECT_EQ(Send(WM_SETFOCUS, 0, 0), 0);
  EXPECT_EQ(Send(WM_KILLFOCUS, 0, 0), 0);
  EXPECT_TRUE(Fake().Called("focus"));
  EXPECT_TRUE(Fake().Called("kill-focus"));
  EXPECT_EQ(window_->SeenCount(WM_SETFOCUS), 0);

  Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 240));
  EXPECT_TRUE(Fake().Called("resize 320 240"));
  EXPECT_EQ(window_->SeenCount(WM_SIZE), 1);

  EXPECT_EQ(Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(window()), HTCLIENT), 0);
  EXPECT_TRUE(Fake().Called("windows-message 0x20"));
  EXPECT_EQ(window_->SeenCount(WM_SETCURSOR), 0);

  EXPECT_EQ(Send(WM_ERASEBKGND, 0, 0), 1);
  EXPECT_EQ(window_->SeenCount(WM_ERASEBKGND), 0);
}

TEST_F(HostInputTest, FilterAnsweringOneHidesTheMessage) {
  host_.SetMessageFilter(&TestFilter);
  filtered = WM_KEYDOWN;
  filter_answer = 1;
  Fake().fire_result = false;  // the window would see it if the filter let it through
  EXPECT_EQ(Send(WM_KEYDOWN, VK_SPACE, 1), 1);
  EXPECT_EQ(filter_calls, 1);
  EXPECT_EQ(Fake().Count("key-down"), 0);
  EXPECT_EQ(window_->SeenCount(WM_KEYDOWN), 0);
}

TEST_F(HostInputTest, FilterAnsweringAnythingElseLetsTheMessageOn) {
  host_.SetMessageFilter(&TestFilter);
  filtered = WM_KEYDOWN;
  filter_answer = 2;
  Send(WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_EQ(filter_calls, 1);
  EXPECT_EQ(Fake().Count("key-down"), 1);
}

TEST_F(HostInputTest, FilterStaysAcrossDetach) {
  host_.SetMessageFilter(&TestFilter);
  host_.Detach();
  ASSERT_TRUE(host_.Attach(window(), false));
  filtered = WM_KEYDOWN;
  filter_answer = 1;
  EXPECT_EQ(Send(WM_KEYDOWN, VK_SPACE, 1), 1);
  EXPECT_EQ(filter_calls, 1);
}

TEST_F(HostInputTest, InputMethodWindowsFollowTheCaret) {
  Fake().caret = {10, 20, 2, 16};
  Send(WM_IME_STARTCOMPOSITION, 0, 0);
  EXPECT_EQ(window_->SeenCount(WM_IME_STARTCOMPOSITION), 1);
  HIMC context = ::ImmGetContext(window());
  if (context == nullptr) GTEST_SKIP() << "no input context on this system";
  COMPOSITIONFORM composition = {};
  ASSERT_TRUE(::ImmGetCompositionWindow(context, &composition));
  ::ImmReleaseContext(window(), context);
  EXPECT_EQ(composition.dwStyle, static_cast<DWORD>(CFS_EXCLUDE));
  EXPECT_EQ(composition.ptCurrentPos.x, 10);
  EXPECT_EQ(composition.ptCurrentPos.y, 36);
  EXPECT_EQ(composition.rcArea.right, 12);
  EXPECT_EQ(composition.rcArea.bottom, 36);
}

// Tab key-downs leave the queue straight into the window; nothing else does.
TEST_F(HostInputTest, TabHookDispatchesTabKeyDownsOnly) {
  // A second start must not add a second hook, or Tab would arrive twice.
  Fake().initialized = false;
  InitializeEngine();
  Fake().initialized = false;
  InitializeEngine();
  ASSERT_TRUE(TabKeyHookInstalled());
  PumpMessages();
  Fake().calls.clear();

  MSG message;
  ::PostMessageA(window(), WM_KEYDOWN, VK_TAB, 1);
  ASSERT_TRUE(::PeekMessageA(&message, window(), WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));
  EXPECT_EQ(Fake().Count("key-down"), 0);
  ASSERT_TRUE(::PeekMessageA(&message, window(), WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
  EXPECT_EQ(Fake().Count("key-down 9 "), 1);

  ::PostMessageA(window(), WM_KEYDOWN, 'A', 1);
  ::PostMessageA(window(), WM_KEYUP, VK_TAB, 1);
  ASSERT_TRUE(::PeekMessageA(&message, window(), 0, 0, PM_REMOVE));
  ASSERT_TRUE(::PeekMessageA(&message, window(), 0, 0, PM_REMOVE));
  EXPECT_EQ(Fake().Count("key-down"), 1);
  EXPECT_EQ(Fake().Count("key-up"), 0);
}

// A 32-bit memory DC filled with one colour, playing the view's DC.
class ViewDc {
 public:
  ViewDc(int width, int height, COLORREF colour) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
    Fill(dc_, width, height, colour);
  }
  ~ViewDc() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC get() const { return dc_; }
  static void Fill(HDC dc, int width, int height, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    RECT all = {0, 0, width, height};
    ::FillRect(dc, &all, brush);
    ::DeleteObject(brush);
  }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = ::GetDC(window);
  COLORREF colour = ::GetPixel(dc, x, y);
  ::ReleaseDC(window, dc);
  return colour;
}

void PaintBlue(HWND window) {
  HDC dc = ::GetDC(window);
  ViewDc::Fill(dc, 200, 100, kBlue);
  ::ReleaseDC(window, dc);
  ::ValidateRect(window, nullptr);
}

// The paint tests look at pixels, so their window is shown.
class HostPaintTest : public HostInputTest {
 protected:
  bool Visible() const override { return true; }
};

TEST(HostPaintAreaTest, EmptyPaintRectMeansTheWholeClientArea) {
  const RECT client = {0, 0, 200, 100};
  for (RECT paint : {RECT{0, 0, 0, 0}, RECT{10, 10, 10, 50}, RECT{10, 30, 60, 30}}) {
    RECT area = HostPaintArea(client, paint);
    EXPECT_TRUE(::EqualRect(&area, &client)) << paint.left << "," << paint.top;
  }
}

TEST(HostPaintAreaTest, PaintRectNarrowsTheArea) {
  RECT area = HostPaintArea({0, 0, 200, 100}, {150, 50, 260, 140});
  RECT expected = {150, 50, 200, 100};
  EXPECT_TRUE(::EqualRect(&area, &expected));
  area = HostPaintArea({0, 0, 200, 100}, {300, 300, 310, 310});
  EXPECT_TRUE(::IsRectEmpty(&area));
  // A window of no width has nothing to copy, whatever was invalidated.
  area = HostPaintArea({0, 0, 0, 100}, {0, 0, 0, 0});
  EXPECT_EQ(area.right - area.left, 0);
}

TEST_F(HostPaintTest, PaintOfTheWholeWindowCopiesEveryPixel) {
  ViewDc view(200, 100, kRed);
  Fake().view_dc = view.get();
  PaintBlue(window());
  ASSERT_EQ(PixelOf(window(), 5, 5), kBlue);
  ::InvalidateRect(window(), nullptr, FALSE);
  ::UpdateWindow(window());
  EXPECT_TRUE(Fake().Called("repaint"));
  EXPECT_EQ(PixelOf(window(), 0, 0), kRed);
  EXPECT_EQ(PixelOf(window(), 199, 99), kRed);
  EXPECT_EQ(window_->SeenCount(WM_PAINT), 0);
}

TEST_F(HostPaintTest, PaintCopiesOnlyTheInvalidArea) {
  ViewDc view(200, 100, kRed);
  Fake().view_dc = view.get();
  PaintBlue(window());
  RECT invalid = {10, 10, 20, 20};
  ::InvalidateRect(window(), &invalid, FALSE);
  ::UpdateWindow(window());
  EXPECT_EQ(PixelOf(window(), 15, 15), kRed);
  EXPECT_EQ(PixelOf(window(), 50, 50), kBlue);
  EXPECT_EQ(PixelOf(window(), 20, 20), kBlue);
}

TEST_F(HostPaintTest, ZeroSizedAreaPaintsNothingAndAnswersZero) {
  ViewDc view(200, 100, kRed);
  Fake().view_dc = view.get();
  ::SetWindowPos(window(), nullptr, 0, 0, 0, 100, SWP_NOMOVE | SWP_NOZORDER);
  RECT client = {};
  ::GetClientRect(window(), &client);
  ASSERT_EQ(client.right - client.left, 0);
  EXPECT_EQ(host_.WindowProc(window(), WM_PAINT, 0, 0), 0);
  EXPECT_TRUE(Fake().Called("repaint"));
}

TEST_F(HostPaintTest, PaintUpdatedInvalidatesTheChangedRectOfAPlainWindow) {
  ::ValidateRect(window(), nullptr);
  PageHost::OnPaintUpdated(host_.GetView(), window(), nullptr, 10, 20, 30, 40);
  RECT update = {};
  ASSERT_TRUE(::GetUpdateRect(window(), &update, FALSE));
  EXPECT_EQ(update.left, 10);
  EXPECT_EQ(update.top, 20);
  EXPECT_EQ(update.right, 40);
  EXPECT_EQ(update.bottom, 60);
}

// The screen pixel at (x, y) once the X server shows `expected` there, or
// whatever it shows after a second.
COLORREF ScreenPixelAfterPaint(int x, int y, COLORREF expected) {
  COLORREF colour = CLR_INVALID;
  for (int tries = 0; tries < 50; ++tries) {
    PumpMessages();
    ::Sleep(20);
    HDC screen = ::GetDC(nullptr);
    colour = ::GetPixel(screen, x, y);
    ::ReleaseDC(nullptr, screen);
    if (colour == expected) break;
  }
  return colour;
}

TEST(HostLayeredPaintTest, PaintUpdatedPutsTheViewOnALayeredWindow) {
  InstallFakeEngine();
  TestWindow window(300, 200, 64, 48, true);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), true));
  ViewDc view(64, 48, RGB(0, 255, 0));
  // FillRect leaves alpha 0; make the picture opaque so it shows.
  BITMAP bitmap = {};
  ::GetObjectA(::GetCurrentObject(view.get(), OBJ_BITMAP), sizeof(bitmap), &bitmap);
  auto* pixels = static_cast<unsigned char*>(bitmap.bmBits);
  for (int i = 0; i < 64 * 48; ++i) pixels[i * 4 + 3] = 255;
  PageHost::OnPaintUpdated(host.GetView(), window.get(), view.get(), 0, 0, 64, 48);
  // The X server shows the layered picture a moment later.
  EXPECT_EQ(ScreenPixelAfterPaint(310, 210, RGB(0, 255, 0)), RGB(0, 255, 0));
  host.Detach();
  UninstallFakeEngine();
}

// Colours a part of a 32-bit DIB DC opaquely (FillRect leaves alpha 0).
void FillOpaque(HDC dc, const RECT& part, COLORREF colour) {
  BITMAP bitmap = {};
  ::GetObjectA(::GetCurrentObject(dc, OBJ_BITMAP), sizeof(bitmap), &bitmap);
  auto* pixels = static_cast<uint32_t*>(bitmap.bmBits);
  const uint32_t bgra =
      0xff000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  for (int y = part.top; y < part.bottom; ++y) {
    for (int x = part.left; x < part.right; ++x) pixels[y * bitmap.bmWidth + x] = bgra;
  }
}

TEST(HostLayeredPaintTest, APaintOfAChangedPartUpdatesThatPartOnly) {
  InstallFakeEngine();
  TestWindow window(300, 200, 64, 48, true);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), true));
  ViewDc view(64, 48, RGB(0, 255, 0));
  FillOpaque(view.get(), {0, 0, 64, 48}, RGB(0, 255, 0));
  PageHost::OnPaintUpdated(host.GetView(), window.get(), view.get(), 0, 0, 64, 48);
  ASSERT_EQ(ScreenPixelAfterPaint(310, 210, RGB(0, 255, 0)), RGB(0, 255, 0));
  // The engine changed two places but names only the first as changed: the
  // window must show the first and keep the old picture everywhere else.
  FillOpaque(view.get(), {4, 4, 20, 12}, kRed);
  FillOpaque(view.get(), {40, 30, 60, 44}, kBlue);
  PageHost::OnPaintUpdated(host.GetView(), window.get(), view.get(), 4, 4, 16, 8);
  EXPECT_EQ(ScreenPixelAfterPaint(310, 210, kRed), kRed);
  EXPECT_EQ(ScreenPixelAfterPaint(350, 240, RGB(0, 255, 0)), RGB(0, 255, 0));
  // A paint of the whole view brings the rest.
  PageHost::OnPaintUpdated(host.GetView(), window.get(), view.get(), 0, 0, 64, 48);
  EXPECT_EQ(ScreenPixelAfterPaint(350, 240, kBlue), kBlue);
  host.Detach();
  UninstallFakeEngine();
}

}  // namespace
