#include "app/display_follow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/main_window.h"
#include "app/screen_dialog.h"
#include "log/log_file.h"
#include "tests/app/test_log.h"

namespace {

const RECT kPrimary = {0, 0, 1920, 1080};
const RECT kRight = {1920, 0, 2944, 768};
const RECT kRightLarger = {1920, 0, 3200, 1024};
const RECT kLeft = {-1024, -200, 0, 568};

std::vector<RECT> g_monitors;

void FakeMonitorSource() {
  for (RECT rect : g_monitors) CollectMonitor(nullptr, nullptr, &rect, 0);
}

void PumpMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(PlaceOnDisplaysTest, CoversTheChosenMonitorWhileItIsThere) {
  Placement one = PlaceOnDisplays({kPrimary}, 1, true);
  EXPECT_EQ(one.kind, PlacementKind::kCover);
  EXPECT_TRUE(Same(one.rect, kPrimary));
  Placement two = PlaceOnDisplays({kPrimary, kRightLarger}, 2, false);
  EXPECT_EQ(two.kind, PlacementKind::kCover);
  EXPECT_TRUE(Same(two.rect, kRightLarger));
  Placement three = PlaceOnDisplays({kLeft, kPrimary, kRight}, 1, false);
  EXPECT_EQ(three.kind, PlacementKind::kCover);
  EXPECT_TRUE(Same(three.rect, kLeft));
}

TEST(PlaceOnDisplaysTest, HidesWhenTheScreenNumberIsBeyondTheMonitorsOrNone) {
  EXPECT_EQ(PlaceOnDisplays({kPrimary}, 2, false).kind, PlacementKind::kHide);
  EXPECT_EQ(PlaceOnDisplays({kLeft, kPrimary}, 3, false).kind, PlacementKind::kHide);
  EXPECT_EQ(PlaceOnDisplays({}, 1, true).kind, PlacementKind::kHide);
  EXPECT_EQ(PlaceOnDisplays({kPrimary, kRight}, 0, false).kind, PlacementKind::kHide);
  EXPECT_EQ(PlaceOnDisplays({kPrimary, kRight}, -1, false).kind, PlacementKind::kHide);
}

TEST(PlaceOnDisplaysTest, NeverMovesOntoThePrimaryUnlessThePrimaryWasChosen) {
  // The customer's monitor left of the primary went away: screen 1 is now the cashier's.
  EXPECT_EQ(PlaceOnDisplays({kPrimary}, 1, false).kind, PlacementKind::kHide);
  EXPECT_EQ(PlaceOnDisplays({kPrimary, kRight}, 1, false).kind, PlacementKind::kHide);
  // Of three, the left one went away: screen 2 shifted onto the primary.
  EXPECT_EQ(PlaceOnDisplays({kPrimary, kRight}, 2, false).kind, PlacementKind::kCover);
  EXPECT_EQ(PlaceOnDisplays({kLeft, kPrimary}, 2, false).kind, PlacementKind::kHide);
  EXPECT_EQ(PlaceOnDisplays({kLeft, kPrimary}, 2, true).kind, PlacementKind::kCover);
}

TEST(PlaceOnDisplaysTest, ThePrimaryIsTheMonitorAtTheOrigin) {
  EXPECT_TRUE(IsPrimaryMonitor(kPrimary));
  EXPECT_FALSE(IsPrimaryMonitor(kLeft));
  EXPECT_FALSE(IsPrimaryMonitor(RECT{0, -768, 1024, 0}));  // above the primary
}

// The real main window, its message handling and the real log, with the
// monitors the test says.
class DisplayFollowTest : public ::testing::Test {
 protected:
  DisplayFollowTest() : folder_("display") {}
  void SetUp() override {
    MainWindowHandlers handlers;
    handlers.on_display_change = FollowDisplayChange;
    window_ = CreateMainWindow(handlers);
    ASSERT_NE(window_, nullptr);
    ::SetWindowTextA(window_, "Tarn-POS背屏");
    App().main_window = window_;
    SetConfigPath(folder_.File("config.ini"));
    ResetScreenStateForTest();
    SetMonitorSourceForTest(FakeMonitorSource);
    g_monitors = {kPrimary, kRight};
    ASSERT_TRUE(OpenLog(kAppName, folder_.path()));
  }
  void TearDown() override {
    StopLog();
    SetMonitorSourceForTest(nullptr);
    ::DestroyWindow(window_);
    PumpMessages();
    App().main_window = nullptr;
  }
  // Chooses a screen the way a later start does: stored index, dialog applies it.
  void Choose(int screen) {
    ASSERT_TRUE(WriteIni("local", "index", std::to_string(screen)));
    CreateScreenDialogForTest(window_);
    PumpMessages();
    ASSERT_EQ(CurrentScreen(), screen);
  }
  void Change(std::vector<RECT> monitors) {
    g_monitors = std::move(monitors);
    FollowDisplayChange();
    PumpMessages();
  }
  bool Covers(const RECT& rect) {
    RECT now;
    ::GetWindowRect(window_, &now);
    return ::IsWindowVisible(window_) && Same(now, rect);
  }
  std::vector<std::string> ChoiceLines() {
    StopLog();
    return LogMessages(folder_.path(), "选择");
  }
  TestFolder folder_;
  HWND window_ = nullptr;
};

TEST_F(DisplayFollowTest, HidesWhileTheMonitorIsGoneAndReturnsAtItsNewSize) {
  Choose(2);
  ASSERT_TRUE(Covers(kRight));
  Change({kPrimary});
  EXPECT_FALSE(::IsWindowVisible(window_));
  Change({kPrimary});  // nothing changed: nothing to do or say
  Change({kRightLarger, kPrimary});
  EXPECT_TRUE(Covers(kRightLarger));
  Change({kPrimary, kRight});  // new resolution while shown
  EXPECT_TRUE(Covers(kRight));
  EXPECT_EQ(CurrentScreen(), 2);
  EXPECT_EQ(ReadIni("local", "index"), "2");
  EXPECT_EQ(ChoiceLines(), (std::vector<std::string>{
                               "屏幕2不在,窗口隐藏 屏幕数:1",
                               "屏幕2恢复,窗口显示 (x:1920 y:0 w:1280 h:1024) 屏幕数:2",
                               "屏幕2变化,窗口移到 (x:1920 y:0 w:1024 h:768) 屏幕数:2",
                           }));
}

TEST_F(DisplayFollowTest, ALeftCustomerMonitorGoingAwayDoesNotPutThePageOnThePrimary) {
  g_monitors = {kPrimary, kLeft};
  Choose(1);
  ASSERT_TRUE(Covers(kLeft));
  Change({kPrimary});
  EXPECT_FALSE(::IsWindowVisible(window_));
  Change({kPrimary, kLeft});
  EXPECT_TRUE(Covers(kLeft));
  EXPECT_EQ(ChoiceLines(), (std::vector<std::string>{
                               "屏幕1现为主屏,窗口隐藏 屏幕数:1",
                               "屏幕1恢复,窗口显示 (x:-1024 y:-200 w:1024 h:768) 屏幕数:2",
                           }));
}

TEST_F(DisplayFollowTest, ComingBackDoesNotTakeTheFocusFromTheCashiersProgram) {
  Choose(2);
  HWND cashier = ::CreateWindowExA(0, "STATIC", "pos", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200,
                                   nullptr, nullptr, nullptr, nullptr);
  ::SetActiveWindow(cashier);
  Change({kPrimary});
  Change({kPrimary, kRight});
  EXPECT_TRUE(Covers(kRight));
  EXPECT_EQ(::GetActiveWindow(), cashier);
  ::DestroyWindow(cashier);
}

TEST_F(DisplayFollowTest, AFlappingCableEndsInTheRightPlacementWithOneFollowUpPerBurst) {
  Choose(2);
  for (int i = 0; i < 5; ++i) {
    g_monitors = i % 2 ? std::vector<RECT>{kPrimary, kRight} : std::vector<RECT>{kPrimary};
    ::SendMessageA(window_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
  }
  // The burst ended with the monitor gone: once it settles the window hides, once.
  DWORD until = ::GetTickCount() + 2000;
  while (::IsWindowVisible(window_) && ::GetTickCount() < until) {
    PumpMessages();
    ::Sleep(10);
  }
  EXPECT_FALSE(::IsWindowVisible(window_));
  g_monitors = {kPrimary, kRight};
  ::SendMessageA(window_, WM_DEVICECHANGE, 0x0007, 0);
  until = ::GetTickCount() + 2000;
  while (!Covers(kRight) && ::GetTickCount() < until) {
    PumpMessages();
    ::Sleep(10);
  }
  EXPECT_TRUE(Covers(kRight));
  std::vector<std::string> lines = ChoiceLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "屏幕2不在,窗口隐藏 屏幕数:1");
}

TEST_F(DisplayFollowTest, AStartUpWaitingForAMissingMonitorGoesOnWhenItArrives) {
  g_monitors = {kPrimary};
  ASSERT_TRUE(WriteIni("local", "index", "2"));
  HWND dialog = CreateScreenDialogForTest(window_);
  PumpMessages();
  ASSERT_TRUE(::IsWindow(dialog));
  EXPECT_FALSE(::IsWindowVisible(window_));
  Change({kPrimary, kRight});
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_TRUE(Covers(kRight));
  EXPECT_EQ(CurrentScreen(), 2);
  EXPECT_EQ(ChoiceLines(), std::vector<std::string>{"未选中"});
}

TEST_F(DisplayFollowTest, BeforeAnyChoiceTheWindowStaysHidden) {
  Change({kPrimary, kRight});
  EXPECT_FALSE(::IsWindowVisible(window_));
  EXPECT_TRUE(ChoiceLines().empty());
}

}  // namespace
