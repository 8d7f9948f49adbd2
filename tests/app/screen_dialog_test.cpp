#include "app/screen_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_file.h"
#include "log/log_file.h"
#include "tests/app/test_log.h"

namespace {

std::vector<RECT> g_fake_monitors;

void FakeMonitorSource() {
  for (RECT rect : g_fake_monitors) CollectMonitor(nullptr, nullptr, &rect, 0);
}

void PumpMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

class ScreenDialogTest : public ::testing::Test {
 protected:
  ScreenDialogTest() : folder_("screen") {}
  void SetUp() override {
    window_ = ::CreateWindowExA(0, "STATIC", "Tarn-POS背屏", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                nullptr, nullptr);
    App().main_window = window_;
    SetConfigPath(folder_.File("config.ini"));
    ResetScreenStateForTest();
    SetMonitorSourceForTest(FakeMonitorSource);
    g_fake_monitors = {{0, 0, 1920, 1080}, {-1024, 0, 0, 768}};
    ASSERT_TRUE(OpenLog(kAppName, folder_.path()));
  }
  void TearDown() override {
    StopLog();
    SetMonitorSourceForTest(nullptr);
    ::DestroyWindow(window_);
    PumpMessages();
  }
  // The "选择" lines written so far; stops the log.
  std::vector<std::string> ChoiceLines() {
    StopLog();
    return LogMessages(folder_.path(), "选择");
  }
  HWND OpenDialog() {
    HWND dialog = CreateScreenDialogForTest(window_);
    PumpMessages();
    return dialog;
  }
  RECT WindowRect() {
    RECT rect;
    ::GetWindowRect(window_, &rect);
    return rect;
  }
  TestFolder folder_;
  HWND window_ = nullptr;
};

std::string ItemText(HWND dialog, int item) {
  char text[128] = {};
  ::SendDlgItemMessageA(dialog, kScreenListId, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text));
  return text;
}

TEST(CollectMonitorTest, SortsByLeftEdgeAndKeepsThePlatformOrderOnTies) {
  SetMonitorSourceForTest(nullptr);
  g_fake_monitors = {
      {0, 0, 800, 600}, {-1024, 0, 0, 768}, {0, 600, 1024, 1368}, {800, 0, 1600, 600}};
  ResetScreenStateForTest();
  FakeMonitorSource();
  const std::vector<RECT>& list = MonitorList();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].left, -1024);
  EXPECT_EQ(list[1].bottom, 600);   // first of the two at left 0
  EXPECT_EQ(list[2].bottom, 1368);  // second of the two at left 0
  EXPECT_EQ(list[3].left, 800);
}

TEST(ScreenItemTextTest, NumberWidthAndHeight) {
  EXPECT_EQ(ScreenItemText(2, RECT{1920, 0, 2944, 768}), "序号: 2 (w:1024 h:768)");
  EXPECT_EQ(ScreenItemText(1, RECT{-1024, -10, 0, 758}), "序号: 1 (w:1024 h:768)");
}

TEST_F(ScreenDialogTest, ListsTheMonitorsWithTheSecondaryOnTheLeftAsScreenOne) {
  HWND dialog = OpenDialog();
  ASSERT_NE(dialog, nullptr);
  char title[128] = {};
  ::GetWindowTextA(dialog, title, sizeof(title));
  EXPECT_STREQ(title, "Tarn-POS背屏屏幕选择");
  RECT frame;
  ::GetWindowRect(dialog, &frame);
  EXPECT_EQ(frame.right - frame.left, 275);
  EXPECT_EQ(frame.bottom - frame.top, 167);
  EXPECT_EQ(::SendDlgItemMessageA(dialog, kScreenListId, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(ItemText(dialog, 0), "序号: 1 (w:1024 h:768)");
  EXPECT_EQ(ItemText(dialog, 1), "序号: 2 (w:1920 h:1080)");
  EXPECT_EQ(::SendDlgItemMessageA(dialog, kScreenListId, CB_GETITEMDATA, 1, 0), 2);
  char label[64] = {};
  ::GetDlgItemTextA(dialog, kScreenLabelId, label, sizeof(label));
  EXPECT_STREQ(label, "选择屏幕");
  // Without a stored choice the dialog waits and nothing is logged.
  EXPECT_TRUE(::IsWindow(dialog));
  EXPECT_FALSE(::IsWindowVisible(window_));
  ::DestroyWindow(dialog);
  EXPECT_TRUE(ChoiceLines().empty());
}

TEST_F(ScreenDialogTest, StoredChoiceMovesTheWindowRewritesIndexAndClosesAtOnce) {
  ASSERT_TRUE(WriteIni("local", "index", "2"));
  HWND dialog = OpenDialog();
  EXPECT_FALSE(::IsWindow(dialog));
  RECT rect = WindowRect();
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.right, 1920);
  EXPECT_EQ(rect.bottom, 1080);
  EXPECT_TRUE(::IsWindowVisible(window_));
  EXPECT_EQ(CurrentScreen(), 2);
  EXPECT_EQ(ReadIni("local", "index"), "2");
  EXPECT_TRUE(ChoiceLines().empty());
}

TEST_F(ScreenDialogTest, ChoosingTheCurrentScreenLogsOnceAndKeepsTheDialog) {
  ASSERT_TRUE(WriteIni("local", "index", "1"));
  OpenDialog();  // applies the stored choice and closes
  HWND dialog = OpenDialog();
  EXPECT_TRUE(::IsWindow(dialog));
  EXPECT_EQ(::SendDlgItemMessageA(dialog, kScreenListId, CB_GETCURSEL, 0, 0), 0);
  ::DestroyWindow(dialog);
  EXPECT_EQ(ChoiceLines(), std::vector<std::string>{"选中值:1,1"});
}

TEST_F(ScreenDialogTest, ChoosingAnotherScreenMovesWritesAndCloses) {
  HWND dialog = OpenDialog();
  ::SendDlgItemMessageA(dialog, kScreenListId, CB_SETCURSEL, 0, 0);
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kScreenListId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, kScreenListId)));
  PumpMessages();
  EXPECT_FALSE(::IsWindow(dialog));
  RECT rect = WindowRect();
  EXPECT_EQ(rect.left, -1024);
  EXPECT_EQ(rect.right, 0);
  EXPECT_EQ(rect.bottom, 768);
  EXPECT_EQ(ReadIni("local", "index"), "1");
  EXPECT_TRUE(ChoiceLines().empty());
}

TEST_F(ScreenDialogTest, StoredIndexBeyondTheMonitorsPreselectsNothing) {
  ASSERT_TRUE(WriteIni("local", "index", "3"));
  HWND dialog = OpenDialog();
  EXPECT_TRUE(::IsWindow(dialog));
  EXPECT_EQ(::SendDlgItemMessageA(dialog, kScreenListId, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_FALSE(::IsWindowVisible(window_));
  ::DestroyWindow(dialog);
  EXPECT_EQ(ChoiceLines(), std::vector<std::string>{"未选中"});
}

TEST_F(ScreenDialogTest, IndexThatIsNotANumberWaitsSilently) {
  ASSERT_TRUE(WriteIni("local", "index", "abc"));
  HWND dialog = OpenDialog();
  EXPECT_TRUE(::IsWindow(dialog));
  ::DestroyWindow(dialog);
  EXPECT_TRUE(ChoiceLines().empty());
}

}  // namespace
