// PageHost binding, resize borders, size limits and copying, on real windows
// with a recording engine table.
#include "page/page_host.h"

#include <gtest/gtest.h>

#include "tests/page/fake_engine.h"
#include "tests/page/test_window.h"

namespace {

class PageHostTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallFakeEngine(); }
  void TearDown() override { UninstallFakeEngine(); }
};

// The WM_NCHITTEST argument for a point given in the window's client coordinates.
LPARAM AtClient(HWND window, int x, int y) {
  POINT point = {x, y};
  ::ClientToScreen(window, &point);
  return TestWindow::ScreenPoint(point.x, point.y);
}

std::string Hex(const void* p) {
  char text[32];
  snprintf(text, sizeof(text), "%p", p);
  return text;
}

TEST_F(PageHostTest, AttachBindsViewSubclassesAndSizes) {
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  EXPECT_EQ(host.GetView(), Fake().next_view);
  EXPECT_EQ(host.window(), window.get());
  EXPECT_TRUE(Fake().Called("handle " + Hex(window.get())));
  EXPECT_TRUE(Fake().Called("on-paint " + Hex(window.get())));
  EXPECT_TRUE(Fake().Called("transparent 0"));
  EXPECT_TRUE(Fake().Called("resize 200 100"));
  EXPECT_EQ(::GetPropA(window.get(), kHostWindowProperty), &host);
  EXPECT_EQ(::GetWindowLongPtrW(window.get(), GWLP_WNDPROC),
            reinterpret_cast<LONG_PTR>(&PageHost::EntryProcedure));
  EXPECT_EQ(::GetWindowLongPtrW(window.get(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  EXPECT_EQ(host.Handler(PageHost::kPaintUpdated),
            reinterpret_cast<void*>(&PageHost::OnPaintUpdated));
}

TEST_F(PageHostTest, TransparentAttachMakesTheWindowLayered) {
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), true));
  LONG_PTR style = ::GetWindowLongPtrW(window.get(), GWL_EXSTYLE);
  EXPECT_NE(style & WS_EX_LAYERED, 0);
  EXPECT_EQ(style & WS_EX_TRANSPARENT, 0);
  EXPECT_TRUE(Fake().Called("transparent 1"));
}

TEST_F(PageHostTest, ClickThroughAddsTransparentStyle) {
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), true, true));
  LONG_PTR style = ::GetWindowLongPtrW(window.get(), GWL_EXSTYLE);
  EXPECT_NE(style & WS_EX_LAYERED, 0);
  EXPECT_NE(style & WS_EX_TRANSPARENT, 0);
}

TEST_F(PageHostTest, AttachFailsWithoutSideEffects) {
  PageHost host;
  EXPECT_FALSE(host.Attach(reinterpret_cast<HWND>(0x1234), true));
  EXPECT_EQ(Fake().Count("create"), 0);

  TestWindow window(40, 30, 200, 100);
  Fake().next_view = nullptr;
  LONG_PTR procedure = ::GetWindowLongPtrA(window.get(), GWLP_WNDPROC);
  EXPECT_FALSE(host.Attach(window.get(), true));
  EXPECT_EQ(host.GetView(), nullptr);
  EXPECT_EQ(host.window(), nullptr);
  EXPECT_EQ(::GetWindowLongPtrA(window.get(), GWLP_WNDPROC), procedure);
  EXPECT_EQ(::GetPropA(window.get(), kHostWindowProperty), nullptr);
  EXPECT_EQ(::GetWindowLongPtrW(window.get(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
}

TEST_F(PageHostTest, SecondAttachIsRefused) {
  TestWindow window(40, 30, 200, 100);
  TestWindow other(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  EXPECT_FALSE(host.Attach(other.get(), false));
  EXPECT_EQ(Fake().Count("create"), 1);
  EXPECT_EQ(host.window(), window.get());
}

TEST_F(PageHostTest, WindowDrivenByAnotherHostIsRefused) {
  TestWindow window(40, 30, 200, 100);
  PageHost first;
  PageHost second;
  ASSERT_TRUE(first.Attach(window.get(), false));
  EXPECT_FALSE(second.Attach(window.get(), false));
  EXPECT_EQ(::GetPropA(window.get(), kHostWindowProperty), &first);
}

TEST_F(PageHostTest, EngineStartsOnceWhenNotYetInitialised) {
  Fake().initialized = false;
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  PageHost again;
  EXPECT_FALSE(again.Attach(reinterpret_cast<HWND>(0x1234), false));
  EXPECT_EQ(Fake().Count("initialize"), 1);
  EXPECT_TRUE(TabKeyHookInstalled());
}

TEST_F(PageHostTest, DetachRestoresTheWindowAndForgetsHandlers) {
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  host.SetResizeBorder(true);
  host.OnConsole([](wkeWebView, void*, int, wkeString, wkeString, unsigned, wkeString) {}, nullptr);
  host.Detach();
  EXPECT_TRUE(Fake().Called("destroy " + Hex(Fake().next_view)));
  EXPECT_TRUE(Fake().Called("handle " + Hex(nullptr)));
  EXPECT_EQ(host.GetView(), nullptr);
  EXPECT_EQ(::GetPropA(window.get(), kHostWindowProperty), nullptr);
  for (int event = 0; event < PageHost::kEventCount; ++event) {
    EXPECT_EQ(host.Handler(static_cast<PageHost::Event>(event)), nullptr) << event;
  }
  // The window's own procedure answers again.
  EXPECT_EQ(::SendMessageA(window.get(), WM_NCHITTEST, 0, AtClient(window.get(), 1, 50)),
            TestWindow::kOwnHitTest);
  // Detached, the object may be bound again.
  EXPECT_TRUE(host.Attach(window.get(), false));
}

TEST_F(PageHostTest, DestroyingTheWindowDetachesAfterItsOwnProcedure) {
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  window.Destroy();
  EXPECT_EQ(host.GetView(), nullptr);
  EXPECT_EQ(host.window(), nullptr);
  EXPECT_EQ(Fake().Count("destroy"), 1);
}

TEST_F(PageHostTest, DestroyingTheHostDetaches) {
  TestWindow window(40, 30, 200, 100);
  {
    PageHost host;
    ASSERT_TRUE(host.Attach(window.get(), false));
  }
  EXPECT_EQ(Fake().Count("destroy"), 1);
  EXPECT_EQ(::GetPropA(window.get(), kHostWindowProperty), nullptr);
  EXPECT_EQ(::SendMessageA(window.get(), WM_NCHITTEST, 0, AtClient(window.get(), 1, 50)),
            TestWindow::kOwnHitTest);
}

TEST_F(PageHostTest, CopyTakesSettingsButNotTheBinding) {
  TestWindow window(40, 30, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  host.SetResizeBorder(true);
  host.SetMinTrackSize(640, 480);
  {
    PageHost copy(host);
    EXPECT_EQ(copy.GetView(), nullptr);
    EXPECT_EQ(copy.window(), nullptr);
    EXPECT_EQ(copy.Handler(PageHost::kPaintUpdated), host.Handler(PageHost::kPaintUpdated));
    MINMAXINFO info = {};
    EXPECT_TRUE(copy.OnGetMinMaxInfo(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 640);
    EXPECT_EQ(info.ptMinTrackSize.y, 480);
  }
  // The copy's end left the original's view and window alone.
  EXPECT_EQ(Fake().Count("destroy"), 0);
  EXPECT_EQ(::SendMessageA(window.get(), WM_NCHITTEST, 0, AtClient(window.get(), 1, 50)), HTLEFT);
}

TEST_F(PageHostTest, HitTestCoversEveryEdgeAndCorner) {
  TestWindow window(100, 80, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  struct Case {
    int x, y;
    LRESULT code;
  } cases[] = {
      {100, 2, HTTOP},          {5, 0, HTTOP},
      {194, 4, HTTOP},          {2, 50, HTLEFT},
      {0, 5, HTLEFT},           {4, 94, HTLEFT},
      {197, 50, HTRIGHT},       {195, 5, HTRIGHT},
      {199, 89, HTRIGHT},       {100, 97, HTBOTTOM},
      {5, 95, HTBOTTOM},        {189, 99, HTBOTTOM},
      {2, 2, HTTOPLEFT},        {4, 4, HTTOPLEFT},
      {0, 0, HTTOPLEFT},        {2, 97, HTBOTTOMLEFT},
      {0, 95, HTBOTTOMLEFT},    {4, 99, HTBOTTOMLEFT},
      {197, 2, HTTOPRIGHT},     {195, 0, HTTOPRIGHT},
      {199, 4, HTTOPRIGHT},     {197, 93, HTBOTTOMRIGHT},
      {190, 90, HTBOTTOMRIGHT}, {199, 99, HTBOTTOMRIGHT},
      {197, 88, HTRIGHT},       {100, 50, HTCLIENT},
      {5, 5, HTCLIENT},         {194, 89, HTCLIENT},
      {-3, 50, HTCLIENT},       {100, 100, HTCLIENT},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host.HitTest(AtClient(window.get(), c.x, c.y)), c.code) << c.x << "," << c.y;
  }
}

TEST_F(PageHostTest, HitTestOnADisplayLeftOfThePrimary) {
  TestWindow window(-300, 50, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  EXPECT_EQ(host.HitTest(AtClient(window.get(), 2, 50)), HTLEFT);
  EXPECT_EQ(host.HitTest(AtClient(window.get(), 197, 93)), HTBOTTOMRIGHT);
  EXPECT_EQ(host.HitTest(AtClient(window.get(), 100, 50)), HTCLIENT);
}

TEST_F(PageHostTest, MaximisedWindowIsAllClient) {
  TestWindow window(100, 80, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  ::ShowWindow(window.get(), SW_MAXIMIZE);
  ASSERT_TRUE(::IsZoomed(window.get()));
  EXPECT_EQ(host.HitTest(AtClient(window.get(), 0, 0)), HTCLIENT);
  EXPECT_EQ(host.HitTest(AtClient(window.get(), 2, 50)), HTCLIENT);
}

TEST_F(PageHostTest, NonClientHitTestFollowsTheResizeBorderFlag) {
  TestWindow window(100, 80, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  const LPARAM left_edge = AtClient(window.get(), 2, 50);
  EXPECT_EQ(::SendMessageA(window.get(), WM_NCHITTEST, 0, left_edge), TestWindow::kOwnHitTest);
  host.SetResizeBorder(true);
  window.ClearSeen();
  EXPECT_EQ(::SendMessageA(window.get(), WM_NCHITTEST, 0, left_edge), HTLEFT);
  EXPECT_EQ(window.SeenCount(WM_NCHITTEST), 0);
  host.SetResizeBorder(false);
  EXPECT_EQ(::SendMessageA(window.get(), WM_NCHITTEST, 0, left_edge), TestWindow::kOwnHitTest);
}

TEST_F(PageHostTest, TrackSizeNeedsBothComponents) {
  PageHost host;
  host.SetMinTrackSize(800, 0);
  host.SetMaxTrackSize(0, 600);
  MINMAXINFO info = {};
  info.ptMinTrackSize = {11, 12};
  info.ptMaxTrackSize = {13, 14};
  EXPECT_FALSE(host.OnGetMinMaxInfo(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 11);
  EXPECT_EQ(info.ptMinTrackSize.y, 12);
  EXPECT_EQ(info.ptMaxTrackSize.x, 13);
  EXPECT_EQ(info.ptMaxTrackSize.y, 14);
}

TEST_F(PageHostTest, MaximizedRectAndTrackSizesFillTheRecord) {
  PageHost host;
  host.SetMaximizedRect(10, 20, 300, 200);
  host.SetMinTrackSize(640, 480);
  host.SetMaxTrackSize(1024, 768);
  MINMAXINFO info = {};
  info.ptReserved = {7, 8};
  EXPECT_TRUE(host.OnGetMinMaxInfo(&info));
  EXPECT_EQ(info.ptMaxPosition.x, 10);
  EXPECT_EQ(info.ptMaxPosition.y, 20);
  EXPECT_EQ(info.ptMaxSize.x, 300);
  EXPECT_EQ(info.ptMaxSize.y, 200);
  EXPECT_EQ(info.ptMinTrackSize.x, 640);
  EXPECT_EQ(info.ptMinTrackSize.y, 480);
  EXPECT_EQ(info.ptMaxTrackSize.x, 1024);
  EXPECT_EQ(info.ptMaxTrackSize.y, 768);
  EXPECT_EQ(info.ptReserved.x, 7);
}

TEST_F(PageHostTest, EmptyMaximizedRectIsIgnored) {
  PageHost host;
  host.SetMaximizedRect(10, 20, 0, 200);
  MINMAXINFO info = {};
  EXPECT_FALSE(host.OnGetMinMaxInfo(&info));
  EXPECT_FALSE(host.OnGetMinMaxInfo(nullptr));
}

TEST_F(PageHostTest, MinMaxMessageIsAnsweredByTheHostOnlyWhenItChangesSomething) {
  TestWindow window(100, 80, 200, 100);
  PageHost host;
  ASSERT_TRUE(host.Attach(window.get(), false));
  MINMAXINFO info = {};
  window.ClearSeen();
  ::SendMessageA(window.get(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(window.SeenCount(WM_GETMINMAXINFO), 1);
  host.SetMinTrackSize(320, 240);
  window.ClearSeen();
  EXPECT_EQ(::SendMessageA(window.get(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(window.SeenCount(WM_GETMINMAXINFO), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 320);
}

TEST_F(PageHostTest, EntryProcedureWithoutHostUsesTheDefault) {
  TestWindow window(100, 80, 200, 100);
  window.ClearSeen();
  LRESULT code =
      PageHost::EntryProcedure(window.get(), WM_NCHITTEST, 0, AtClient(window.get(), 50, 50));
  EXPECT_EQ(code, HTCLIENT);
  EXPECT_EQ(window.SeenCount(WM_NCHITTEST), 0);
}

}  // namespace
