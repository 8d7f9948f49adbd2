// The hang watch against a real window whose thread answers, waits while
// still handling sent messages, or stops answering.
#include "app/hang_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>

namespace {

constexpr UINT kBlockMessage = WM_APP + 20;     // wParam: ms without handling anything
constexpr UINT kWaitSentMessage = WM_APP + 21;  // wParam: ms handling only sent messages
constexpr HangWatchTimes kTimes = {1000, 3000};

std::atomic<int> g_hangs{0};
std::atomic<DWORD> g_silent_ms{0};
std::atomic<int64_t> g_since{0};

void RecordHang(DWORD silent_ms, int64_t since_unix) {
  g_silent_ms = silent_ms;
  g_since = since_unix;
  ++g_hangs;
}

LRESULT CALLBACK WatchedProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kBlockMessage) {
    ::Sleep(static_cast<DWORD>(wparam));
    return 0;
  }
  if (message == kWaitSentMessage) {
    ULONGLONG end = ::GetTickCount64() + wparam;
    for (ULONGLONG now; (now = ::GetTickCount64()) < end;) {
      if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now),
                                      QS_SENDMESSAGE) == WAIT_OBJECT_0) {
        MSG peeked;
        ::PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      }
    }
    return 0;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

// A window on a thread of its own running an ordinary message loop.
class WatchedThread {
 public:
  WatchedThread() {
    ready_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
    ::WaitForSingleObject(ready_, 10000);
  }
  ~WatchedThread() {
    ::PostMessageA(window_, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(thread_, 20000);
    ::CloseHandle(thread_);
    ::CloseHandle(ready_);
  }
  HWND window() const { return window_; }

 private:
  static DWORD WINAPI Run(void* self_pointer) {
    auto* self = static_cast<WatchedThread*>(self_pointer);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = WatchedProc;
    window_class.hInstance = ::GetModuleHandleA(nullptr);
    window_class.lpszClassName = "HangWatchTestWindow";
    ::RegisterClassA(&window_class);
    self->window_ = ::CreateWindowExA(0, "HangWatchTestWindow", "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                      nullptr, window_class.hInstance, nullptr);
    ::SetEvent(self->ready_);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (message.message == WM_CLOSE) break;
      ::DispatchMessageA(&message);
    }
    ::DestroyWindow(self->window_);
    return 0;
  }

  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  HWND window_ = nullptr;
};

bool WaitForHang(DWORD timeout_ms) {
  ULONGLONG end = ::GetTickCount64() + timeout_ms;
  while (g_hangs == 0 && ::GetTickCount64() < end) ::Sleep(50);
  return g_hangs > 0;
}

class HangWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_hangs = 0;
    ASSERT_NE(gui_.window(), nullptr);
    ASSERT_TRUE(StartHangWatch(gui_.window(), kTimes, RecordHang));
  }
  void TearDown() override { StopHangWatch(5000); }
  WatchedThread gui_;
};

TEST_F(HangWatchTest, AThreadThatAnswersOrIsBusyLessThanTheLimitIsNoHang) {
  ::Sleep(2500);
  ::PostMessageA(gui_.window(), kBlockMessage, 1500, 0);
  EXPECT_FALSE(WaitForHang(5000));
}

TEST_F(HangWatchTest, AWaitThatStillHandlesSentMessagesIsNoHang) {
  // What a modal dialog, a menu or the shutdown's waits do.
  ::PostMessageA(gui_.window(), kWaitSentMessage, 7000, 0);
  EXPECT_FALSE(WaitForHang(7000));
}

TEST_F(HangWatchTest, AThreadSilentForTheLimitIsReportedOnceWithSinceWhen) {
  int64_t before = static_cast<int64_t>(std::time(nullptr));
  ::Sleep(1500);  // the watch has had an answer
  ::PostMessageA(gui_.window(), kBlockMessage, 9000, 0);
  int64_t blocked = static_cast<int64_t>(std::time(nullptr));
  // Reported while the thread is still blocked: within the limit and one
  // interval of the block, well before the thread answers again.
  ASSERT_TRUE(WaitForHang(kTimes.limit_ms + 2 * kTimes.check_ms));
  EXPECT_GE(g_silent_ms.load(), kTimes.limit_ms);
  EXPECT_GE(g_since.load(), before);
  EXPECT_LE(g_since.load(), blocked);
  ::Sleep(2000);
  EXPECT_EQ(g_hangs.load(), 1);
}

TEST_F(HangWatchTest, AStoppedWatchReportsNothing) {
  ::PostMessageA(gui_.window(), kBlockMessage, 6000, 0);
  ::Sleep(1000);
  StopHangWatch(5000);
  EXPECT_FALSE(WaitForHang(6000));
}

TEST(HangMessageTest, NamesTheThreadSinceWhenAndHowLong) {
  std::time_t since = 1700000000;
  char clock[16];
  std::strftime(clock, sizeof(clock), "%H:%M:%S", std::localtime(&since));
  EXPECT_EQ(HangMessage(77, 31500, since),
            std::string("GUI thread not answering since ") + clock + " (31 s) thread:77");
}

}  // namespace
