#include "app/main_window.h"

#include <gtest/gtest.h>

#include <string>

#include "app/tray_icon.h"

namespace {

int g_created = 0;
int g_destroyed = 0;

void PumpMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_created = g_destroyed = 0;
    MainWindowHandlers handlers;
    handlers.on_created = [](HWND) { ++g_created; };
    handlers.on_destroyed = [] { ++g_destroyed; };
    window_ = CreateMainWindow(handlers);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    if (::IsWindow(window_)) ::DestroyWindow(window_);
    PumpMessages();
  }
  HWND window_ = nullptr;
};

TEST_F(MainWindowTest, CreatedHiddenBorderlessAtTheOriginWithZeroSize) {
  EXPECT_EQ(g_created, 1);
  EXPECT_FALSE(::IsWindowVisible(window_));
  RECT rect;
  ::GetWindowRect(window_, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, 0);
  EXPECT_EQ(rect.bottom - rect.top, 0);
  LONG style = ::GetWindowLongA(window_, GWL_STYLE);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME);
}

TEST_F(MainWindowTest, CloseRequestsAreRefused) {
  ::SendMessageA(window_, WM_CLOSE, 0, 0);
  ::SendMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  PumpMessages();
  EXPECT_TRUE(::IsWindow(window_));
  EXPECT_EQ(g_destroyed, 0);
}

TEST_F(MainWindowTest, PrivateCloseDestroysAfterTheCurrentHandler) {
  CloseWindowAsync(window_);
  EXPECT_TRUE(::IsWindow(window_));  // not before the message is handled
  PumpMessages();
  EXPECT_FALSE(::IsWindow(window_));
  EXPECT_EQ(g_destroyed, 1);
}

TEST_F(MainWindowTest, TrayExitClosesTheWindow) {
  ::SendMessageA(window_, WM_COMMAND, MAKEWPARAM(kTrayCommandExit, 0), 0);
  PumpMessages();
  EXPECT_FALSE(::IsWindow(window_));
}

TEST(TrayTest, MenuHoldsItsThreeItemsInOrder) {
  HMENU menu = CreateTrayMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(menu), 3);
  const char* expected[] = {"设置", "更新", "退出"};
  const UINT ids[] = {kTrayCommandSettings, kTrayCommandUpdate, kTrayCommandExit};
  for (int i = 0; i < 3; ++i) {
    char text[64] = {};
    ::GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, expected[i]);
    EXPECT_EQ(::GetMenuItemID(menu, i), ids[i]);
  }
  ::DestroyMenu(menu);
}

TEST(TrayTest, EventKinds) {
  EXPECT_EQ(TrayEventKind(WM_LBUTTONUP), 1);
  EXPECT_EQ(TrayEventKind(WM_LBUTTONDBLCLK), 2);
  EXPECT_EQ(TrayEventKind(WM_RBUTTONUP), 3);
  EXPECT_EQ(TrayEventKind(WM_CONTEXTMENU), 3);
  EXPECT_EQ(TrayEventKind(WM_MOUSEMOVE), 0);
  EXPECT_EQ(TrayEventKind(WM_LBUTTONDOWN), 0);
}

TEST(TrayTest, IconIsShownOnceAndRemovedOnce) {
  MainWindowHandlers none;
  HWND window = CreateMainWindow(none);
  ::SetWindowTextA(window, "Tarn-POS背屏");
  EXPECT_TRUE(AddTrayIcon(window));
  EXPECT_TRUE(IsTrayIconShown());
  EXPECT_TRUE(RemoveTrayIconWithin(INFINITE));
  EXPECT_FALSE(RemoveTrayIconWithin(INFINITE));  // a second removal has nothing to do
  EXPECT_FALSE(IsTrayIconShown());
  ::DestroyWindow(window);
  PumpMessages();
}

// The shell refuses a second icon with the same window and id: adding it
// again succeeds only when the removal on the helper thread really happened.
TEST(TrayTest, RemovalWithinABoundReallyRemovesTheIcon) {
  MainWindowHandlers none;
  HWND window = CreateMainWindow(none);
  ASSERT_TRUE(AddTrayIcon(window));
  EXPECT_TRUE(RemoveTrayIconWithin(INFINITE));
  EXPECT_FALSE(IsTrayIconShown());
  EXPECT_TRUE(AddTrayIcon(window));
  EXPECT_TRUE(RemoveTrayIconWithin(INFINITE));
  ::DestroyWindow(window);
  PumpMessages();
}

TEST(TrayTest, RemovalThatDoesNotWaitLeavesNothingToRemove) {
  MainWindowHandlers none;
  HWND window = CreateMainWindow(none);
  ASSERT_TRUE(AddTrayIcon(window));
  EXPECT_TRUE(RemoveTrayIconWithin(0));
  EXPECT_FALSE(IsTrayIconShown());
  EXPECT_FALSE(RemoveTrayIconWithin(0));
  EXPECT_FALSE(RemoveTrayIconWithin(INFINITE));
  ::DestroyWindow(window);
  PumpMessages();
}

}  // namespace
