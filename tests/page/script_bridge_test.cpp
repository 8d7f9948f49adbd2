// The bridge's own logic against a recording engine table: bound functions,
// argument and reply conversions, the page message and the developer tools.
#include "page/script_bridge.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/app_state.h"
#include "page/page_host.h"
#include "tests/page/fake_engine.h"
#include "tests/page/test_window.h"

namespace {

const jsExecState kState = reinterpret_cast<jsExecState>(0x5A);

jsExecState handler_state = nullptr;
jsValue __cdecl RecordingHandler(jsExecState state) {
  handler_state = state;
  return 0x123456789ABCDEF0LL;
}

TEST(BoundFunctionTest, BindingPassesTheHandlerThroughOneDispatcher) {
  InstallFakeEngine();
  BindFunction("serverJS", &RecordingHandler, 1);
  EXPECT_EQ(Fake().bound_name, "serverJS");
  EXPECT_EQ(Fake().bound_count, 1u);
  EXPECT_EQ(Fake().bound_function, &BoundFunctionDispatcher);
  EXPECT_EQ(Fake().bound_param, reinterpret_cast<void*>(&RecordingHandler));
  // The engine calls the dispatcher; the full 64-bit value comes back.
  handler_state = nullptr;
  EXPECT_EQ(Fake().bound_function(kState, Fake().bound_param), 0x123456789ABCDEF0LL);
  EXPECT_EQ(handler_state, kState);
  UninstallFakeEngine();
}

TEST(BoundFunctionTest, NullParameterGivesUndefined) {
  InstallFakeEngine();
  EXPECT_EQ(BoundFunctionDispatcher(kState, nullptr), kFakeUndefined);
  UninstallFakeEngine();
}

TEST(ReplyTest, ArgumentsAndRepliesConvertAtTheBorder) {
  InstallFakeEngine();
  EXPECT_EQ(ArgText(kState, 0), "\xB2\xCE\xCA\xFD\xD2\xBB");  // 参数一 in code page 936
  EXPECT_EQ(ArgText(kState, 3), "");
  EXPECT_EQ(ReturnText(kState, "\xD6\xD0\xCE\xC4"), kFakeString);  // 中文
  ASSERT_EQ(Fake().made_strings.size(), 1u);
  EXPECT_EQ(Fake().made_strings[0], L"\u4e2d\u6587");
  EXPECT_EQ(ReturnText(kState, ""), kFakeString);
  EXPECT_EQ(Fake().made_strings[1], L"");
  EXPECT_EQ(ReturnFalse(), kFakeFalse);
  EXPECT_EQ(ReturnUndefined(), kFakeUndefined);
  EXPECT_EQ(ReturnInt(-2), kFakeIntTag | 0xFFFFFFFEu);
  EXPECT_EQ(ReturnBool(true), kFakeTrue);
  EXPECT_EQ(ReturnBool(false), kFakeBooleanFalse);
  UninstallFakeEngine();
}

TEST(ReplyTest, MissingEngineGivesEmptyValues) {
  NodeApi empty;
  SetNodeApiForTest(&empty);
  EXPECT_EQ(ArgText(kState, 0), "");
  EXPECT_EQ(ReturnText(kState, "x"), 0);
  EXPECT_EQ(BoundFunctionDispatcher(kState, nullptr), 0);
  BindFunction("serverJS", &RecordingHandler, 1);
  SetNodeApiForTest(nullptr);
}

// The filter under test, over a target the fixture fills.
PageMessageTarget target;
std::string debug_setting;
std::string ReadTestDebugSetting() { return debug_setting; }
LRESULT CALLBACK TestHostFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return FilterPageMessage(target, message, wparam, lparam);
}

class PageMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallFakeEngine();
    window_ = std::make_unique<TestWindow>(100, 80, 200, 100);
    ASSERT_TRUE(host_.Attach(window_->get(), false));
    host_.SetMessageFilter(&TestHostFilter);
    target = PageMessageTarget();
    target.host = &host_;
    target.page_message = ::RegisterWindowMessageA(kPageMessageName);
    target.page_url = "http://127.0.0.1:8099/client/app/lumo/";
    target.run_directory = "C:\\lumo\\";
    target.read_debug_setting = &ReadTestDebugSetting;
    debug_setting = "0";
    window_->ClearSeen();
  }
  void TearDown() override {
    host_.Detach();
    window_.reset();
    UninstallFakeEngine();
  }

  // Sends from a worker thread while this (the window's) thread keeps
  // handling messages, as a socket thread does with the running program.
  struct Job {
    HWND window;
    UINT message;
    WPARAM wparam;
    const char* text;
    LRESULT result;
  };
  static DWORD WINAPI SendJob(void* p) {
    auto* job = static_cast<Job*>(p);
    job->result =
        ::SendMessageA(job->window, job->message, job->wparam, reinterpret_cast<LPARAM>(job->text));
    return 0;
  }
  LRESULT SendFromAnotherThread(WPARAM wparam, const char* text) {
    Job job = {window_->get(), target.page_message, wparam, text, 0};
    HANDLE thread = ::CreateThread(nullptr, 0, &SendJob, &job, 0, nullptr);
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
      PumpMessages();
    }
    ::CloseHandle(thread);
    return job.result;
  }

  std::unique_ptr<TestWindow> window_;
  PageHost host_;
};

TEST_F(PageMessageTest, ScriptFromAnotherThreadRunsOnTheWindowThreadExactlyAsGiven) {
  const std::string script =
      "clientJS2({\"say\":\"he said \\\"hi\\\"\",\"path\":\"C:\\\\pos\\\\\",\n"
      "\"text\":'\xD6\xD0\\n'})";
  Fake().script_result = 1;
  EXPECT_EQ(SendFromAnotherThread(kPageRunScript, script.c_str()), 1);
  ASSERT_EQ(Fake().scripts.size(), 1u);
  EXPECT_EQ(Fake().scripts[0],
            L"clientJS2({\"say\":\"he said \\\"hi\\\"\",\"path\":\"C:\\\\pos\\\\\",\n"
            L"\"text\":'\u4e2d\\n'})");
  EXPECT_EQ(Fake().script_thread, ::GetCurrentThreadId());
  // The execution state is fetched before the script runs and converts the value.
  EXPECT_EQ(Fake().Count("global-exec"), 1);
  char expected[32];
  snprintf(expected, sizeof(expected), "to-int %p", static_cast<void*>(kFakeExecState));
  EXPECT_TRUE(Fake().Called(expected));
  EXPECT_EQ(window_->SeenCount(target.page_message), 0);
}

TEST_F(PageMessageTest, ScriptValueOtherThanOneLetsTheMessageOn) {
  Fake().script_result = 7;
  SendFromAnotherThread(kPageRunScript, "1+6");
  EXPECT_EQ(Fake().scripts.size(), 1u);
  EXPECT_EQ(window_->SeenCount(target.page_message), 1);
}

TEST_F(PageMessageTest, SendScriptToPageWaitsUntilTheScriptRan) {
  std::string script = "clientJS2({})";
  Fake().script_result = 1;
  SendScriptToPage(window_->get(), target.page_message, script);
  ASSERT_EQ(Fake().scripts.size(), 1u);
  EXPECT_EQ(Fake().scripts[0], L"clientJS2({})");
}

TEST_F(PageMessageTest, SendWithoutTextRunsNothing) {
  EXPECT_EQ(SendFromAnotherThread(kPageRunScript, nullptr), 1);
  EXPECT_TRUE(Fake().scripts.empty());
}

bool page_trusted_now = true;
bool PageTrustedNow() { return page_trusted_now; }

TEST_F(PageMessageTest, NoScriptRunsInADocumentOfAnotherOrigin) {
  target.page_trusted = &PageTrustedNow;
  Fake().script_result = 1;
  page_trusted_now = false;
  EXPECT_EQ(SendFromAnotherThread(kPageRunScript, "clientJS2({\"sale\":1})"), 1);
  EXPECT_TRUE(Fake().scripts.empty());
  EXPECT_EQ(window_->SeenCount(target.page_message), 0);
  // Reloading the start page is what brings the page back: never held.
  EXPECT_EQ(SendFromAnotherThread(kPageReload, nullptr), 1);
  EXPECT_EQ(Fake().loads.size(), 1u);
  page_trusted_now = true;
  EXPECT_EQ(SendFromAnotherThread(kPageRunScript, "clientJS2({\"sale\":2})"), 1);
  ASSERT_EQ(Fake().scripts.size(), 1u);
  EXPECT_EQ(Fake().scripts[0], L"clientJS2({\"sale\":2})");
}

TEST_F(PageMessageTest, ReloadLoadsTheStartAddress) {
  EXPECT_EQ(SendFromAnotherThread(kPageReload, nullptr), 1);
  ASSERT_EQ(Fake().loads.size(), 1u);
  EXPECT_EQ(Fake().loads[0], L"http://127.0.0.1:8099/client/app/lumo/");
  EXPECT_EQ(window_->SeenCount(target.page_message), 0);
}

TEST_F(PageMessageTest, OtherRequestsAreSwallowed) {
  EXPECT_EQ(SendFromAnotherThread(3, "x"), 1);
  EXPECT_TRUE(Fake().scripts.empty());
  EXPECT_TRUE(Fake().loads.empty());
  EXPECT_EQ(window_->SeenCount(target.page_message), 0);
}

TEST_F(PageMessageTest, UnregisteredMessageMatchesNothing) {
  target.page_message = 0;
  EXPECT_EQ(::SendMessageA(window_->get(), WM_NULL, kPageRunScript, reinterpret_cast<LPARAM>("x")),
            0);
  EXPECT_TRUE(Fake().scripts.empty());
  EXPECT_EQ(window_->SeenCount(WM_NULL), 1);
}

TEST_F(PageMessageTest, RightDoubleClickOpensDeveloperToolsOnlyWhenDebugIsOne) {
  Fake().fire_result = true;
  for (const char* off : {"0", "", " 1", "11", "true"}) {
    debug_setting = off;
    ::SendMessageA(window_->get(), WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(5, 6));
  }
  EXPECT_EQ(Fake().Count("debug"), 0);
  EXPECT_EQ(Fake().Count("mouse 0x206 5 6"), 5);
  debug_setting = "1";
  ::SendMessageA(window_->get(), WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(5, 6));
  ::SendMessageA(window_->get(), WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(5, 6));
  EXPECT_EQ(Fake().Count("debug showDevTools C:\\lumo\\front_end\\inspector.html"), 2);
  // The double click still reaches the page.
  EXPECT_EQ(Fake().Count("mouse 0x206 5 6"), 7);
}

TEST_F(PageMessageTest, OtherMessagesPassTheFilter) {
  debug_setting = "1";
  ::SendMessageA(window_->get(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(5, 6));
  EXPECT_EQ(Fake().Count("debug"), 0);
  EXPECT_EQ(Fake().Count("mouse 0x203 5 6"), 1);
}

}  // namespace
