// The view's top-level document stays on the back office: what the program
// answers when the engine asks about a navigation or a new window, and what
// it does with scripts meant for the page while another document is shown.
#include "page/page_navigation.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "page/page_host.h"
#include "page/page_origin.h"
#include "tests/app/test_log.h"
#include "tests/page_commands/fake_engine.h"

namespace {

constexpr char kPageUrl[] = "http://127.0.0.1:8099/client/app/lumo/";

bool IsTestLocalScreen(const std::string& url) { return url == "file:///C:/lumo/offline.html"; }

class PageNavigationTest : public ::testing::Test {
 protected:
  PageNavigationTest() : folder_("navigation") {}
  void SetUp() override {
    window_ = ::CreateWindowExA(0, "STATIC", "t", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(Host().Attach(window_, false));
    ASSERT_TRUE(OpenLog("lumo", folder_.path()));
    TrustPageOrigins(kPageUrl, "http://127.0.0.1:8100");
  }
  void TearDown() override {
    SetLocalScreenCheck(nullptr);
    StopLog();
    Host().Detach();
    ::DestroyWindow(window_);
  }
  bool Navigate(int type, const wchar_t* url) {
    return OnPageNavigation(nullptr, nullptr, type, EngineString(url));
  }
  std::vector<std::string> Logged() {
    StopLog();
    return LogMessages(folder_.path(), "WKE");
  }

  FakeEngine engine_;
  TestFolder folder_;
  HWND window_ = nullptr;
};

TEST_F(PageNavigationTest, TheBackOfficeAndTrustedOriginsMayBeNavigatedTo) {
  EXPECT_TRUE(Navigate(5, L"http://127.0.0.1:8099/client/app/lumo/"));
  EXPECT_TRUE(Navigate(0, L"http://127.0.0.1:8099/other/page.html?x=1"));
  EXPECT_TRUE(Navigate(3, L"HTTP://127.0.0.1:8099/"));
  EXPECT_TRUE(Navigate(5, L"http://127.0.0.1:8100/partner"));
  EXPECT_TRUE(Logged().empty());
}

TEST_F(PageNavigationTest, EverythingElseIsCancelledAndLogged) {
  EXPECT_FALSE(Navigate(0, L"http://127.0.0.1:8101/evil.html"));
  EXPECT_FALSE(Navigate(5, L"http://127.0.0.1:8099.evil.example/"));
  EXPECT_FALSE(Navigate(1, L"https://127.0.0.1:8099/"));
  EXPECT_FALSE(Navigate(5, L"data:text/html,<script>serverJS('x')</script>"));
  EXPECT_FALSE(Navigate(5, L"about:blank"));
  EXPECT_FALSE(Navigate(5, nullptr));
  // The program's own local screen has no origin of its own, but is let
  // through once the program names it.
  EXPECT_FALSE(Navigate(5, L"file:///C:/lumo/offline.html"));
  SetLocalScreenCheck(&IsTestLocalScreen);
  EXPECT_TRUE(Navigate(5, L"file:///C:/lumo/offline.html"));
  EXPECT_FALSE(Navigate(5, L"file:///C:/Windows/evil.html"));
  // The engine's report of the refused load that follows is told apart.
  EXPECT_TRUE(NavigationRefusedLately());
  std::vector<std::string> lines = Logged();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "OnNavigation refused type:0 url:http://127.0.0.1:8101/evil.html");
  EXPECT_EQ(lines[2], "OnNavigation refused type:1 url:https://127.0.0.1:8099/");
  EXPECT_EQ(lines[5], "OnNavigation refused type:5 url:");
}

TEST_F(PageNavigationTest, AVeryLongUrlIsCutInItsLogLine) {
  std::wstring url = L"http://evil.example/" + std::wstring(5000, L'a') + L"\r\nforged";
  EXPECT_FALSE(Navigate(5, url.c_str()));
  std::vector<std::string> lines = Logged();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), std::string("OnNavigation refused type:5 url:").size() + 203);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 3), "...");
}

TEST_F(PageNavigationTest, NoNewWindowIsEverOpened) {
  wkeWebView view = reinterpret_cast<wkeWebView>(0x1000);
  EXPECT_EQ(OnPageCreateView(view, nullptr, 0, EngineString(L"http://127.0.0.1:8099/x"), nullptr),
            nullptr);
  EXPECT_EQ(OnPageCreateView(view, nullptr, 5, EngineString(L"http://ads.example/"), nullptr),
            nullptr);
  std::vector<std::string> lines = Logged();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "OnCreateView refused type:5 url:http://ads.example/");
}

TEST_F(PageNavigationTest, WhereTheTopLevelDocumentIsNow) {
  // An engine that cannot tell its URL: the commands' own check still holds.
  EXPECT_TRUE(PageOnTrustedOrigin());
  engine_.SetMainFrameUrl("http://127.0.0.1:8099/client/app/lumo/#sale");
  EXPECT_TRUE(PageOnTrustedOrigin());
  engine_.SetMainFrameUrl("http://127.0.0.1:8101/evil.html");
  EXPECT_FALSE(PageOnTrustedOrigin());
  EXPECT_EQ(MainFrameUrl(), "http://127.0.0.1:8101/evil.html");
  engine_.SetMainFrameUrl("");
  EXPECT_FALSE(PageOnTrustedOrigin());
}

}  // namespace
