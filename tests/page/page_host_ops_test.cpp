// The wrapper operations: missing engine functions, event slots, text
// conversions at the border and the page capture.
#include <gtest/gtest.h>

#include <cstring>

#include "page/bmp_file.h"
#include "page/page_host.h"
#include "tests/page/fake_engine.h"
#include "tests/page/test_window.h"

namespace {

class HostOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = &InstallFakeEngine();
    window_ = std::make_unique<TestWindow>(100, 80, 200, 100);
    ASSERT_TRUE(host_.Attach(window_->get(), false));
    Fake().calls.clear();
  }
  void TearDown() override {
    host_.Detach();
    window_.reset();
    UninstallFakeEngine();
  }

  NodeApi* table_ = nullptr;
  std::unique_ptr<TestWindow> window_;
  PageHost host_;
};

uint32_t Le32(const Bytes& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

TEST_F(HostOpsTest, MissingEngineFunctionsGiveEmptyValues) {
  NodeApi empty;
  SetNodeApiForTest(&empty);
  EXPECT_EQ(host_.GetHostWindow(), nullptr);
  EXPECT_EQ(host_.GetWidth(), 0);
  EXPECT_FALSE(host_.IsLoading());
  EXPECT_FALSE(host_.IsAwake());
  EXPECT_EQ(host_.GetURL(), "");
  EXPECT_EQ(host_.GetURLRaw(), nullptr);
  EXPECT_EQ(host_.GetTitle(), "");
  EXPECT_TRUE(host_.GetTitleBytes().empty());
  EXPECT_EQ(host_.GetCookie(), "");
  EXPECT_EQ(host_.RunScript("1+1"), 0);
  EXPECT_EQ(host_.GlobalExec(), nullptr);
  EXPECT_EQ(host_.GetZoomFactor(), 0.0f);
  EXPECT_EQ(host_.GetUserKeyValue("k"), nullptr);
  EXPECT_TRUE(host_.CapturePage().empty());
  host_.Load("http://127.0.0.1/");
  host_.SetDragFiles({1, 2}, {3, 4}, {"a.txt"});
  host_.SetViewProxy(1, "proxy", 8080, "user", "password");
  host_.OnConsole(nullptr, nullptr);
  // Messages still flow to the window when the engine cannot take them.
  EXPECT_EQ(::SendMessageA(window_->get(), WM_KEYDOWN, 'A', 1), 0);
  EXPECT_GE(window_->SeenCount(WM_KEYDOWN), 1);
  host_.Detach();
  EXPECT_EQ(::GetPropA(window_->get(), kHostWindowProperty), nullptr);
  InstallFakeEngine();
}

TEST_F(HostOpsTest, DetachedHostCallsNothing) {
  host_.Detach();
  Fake().calls.clear();
  host_.Load("http://127.0.0.1/");
  host_.MoveToCenter();
  EXPECT_EQ(host_.RunScript("x"), 0);
  EXPECT_TRUE(Fake().loads.empty());
  EXPECT_TRUE(Fake().scripts.empty());
  EXPECT_TRUE(Fake().calls.empty());
}

TEST_F(HostOpsTest, TextVariantsConvertFromCodePage936) {
  host_.Load("http://127.0.0.1:8099/client/app/lumo/?名=值");
  ASSERT_EQ(Fake().loads.size(), 1u);
  EXPECT_EQ(Fake().loads[0], L"http://127.0.0.1:8099/client/app/lumo/?\u540d=\u503c");
  Fake().script_result = 0x1234567890LL;
  EXPECT_EQ(host_.RunScript("clientJS2({\"a\":\"中\"})"), 0x1234567890LL);
  ASSERT_EQ(Fake().scripts.size(), 1u);
  EXPECT_EQ(Fake().scripts[0], L"clientJS2({\"a\":\"\u4e2d\"})");
  host_.SetLocalStorageFullPath("C:\\程序\\");
  EXPECT_EQ(Fake().loads.back(), L"C:\\\u7a0b\u5e8f\\");
}

TEST_F(HostOpsTest, DebugConfigValueIsSentAsUtf8) {
  host_.SetDebugConfig("showDevTools", "C:\\中\\front_end\\inspector.html");
  EXPECT_TRUE(Fake().Called("debug showDevTools C:\\\xE4\xB8\xAD\\front_end\\inspector.html"));
  host_.SetDebugConfigRaw("x", "\xD6\xD0");
  EXPECT_TRUE(Fake().Called("debug x \xD6\xD0"));
}

TEST_F(HostOpsTest, EventRegistrationStoresAndReplacesTheHandler) {
  auto first = [](wkeWebView, void*, int, wkeString, wkeString, unsigned, wkeString) {};
  auto second = [](wkeWebView, void*, int, wkeString, wkeString, unsigned, wkeString) {};
  wkeConsoleCallback first_handler = first;
  wkeConsoleCallback second_handler = second;
  host_.OnConsole(first_handler, reinterpret_cast<void*>(0x11));
  EXPECT_EQ(host_.Handler(PageHost::kConsole), reinterpret_cast<void*>(first_handler));
  EXPECT_EQ(Fake().Count("on-console "), 1);
  host_.OnConsole(second_handler, nullptr);
  EXPECT_EQ(host_.Handler(PageHost::kConsole), reinterpret_cast<void*>(second_handler));
  wkeLoadingFinishCallback finish = [](wkeWebView, void*, wkeString, int, wkeString) {};
  host_.OnLoadingFinish(finish, reinterpret_cast<void*>(0x22));
  EXPECT_EQ(host_.Handler(PageHost::kLoadingFinish), reinterpret_cast<void*>(finish));
  EXPECT_EQ(Fake().Count("on-loading-finish "), 1);
  EXPECT_EQ(host_.Handler(PageHost::kTitleChanged), nullptr);
}

TEST_F(HostOpsTest, EveryEventHasItsOwnSlot) {
  wkeDocumentReadyCallback ready = [](wkeWebView, void*) {};
  host_.OnDocumentReady(ready, nullptr);
  host_.OnWillMediaLoad([](wkeWebView, void*, const char*, void*) {}, nullptr);
  host_.OnTitleChanged([](wkeWebView, void*, wkeString) {}, nullptr);
  EXPECT_EQ(host_.Handler(PageHost::kDocumentReady), reinterpret_cast<void*>(ready));
  EXPECT_NE(host_.Handler(PageHost::kWillMediaLoad), nullptr);
  EXPECT_NE(host_.Handler(PageHost::kTitleChanged), nullptr);
  EXPECT_EQ(host_.Handler(PageHost::kDocumentReady2), nullptr);
  host_.ClearHandlers();
  EXPECT_EQ(host_.Handler(PageHost::kDocumentReady), nullptr);
  EXPECT_EQ(host_.Handler(PageHost::kPaintUpdated), nullptr);
}

TEST_F(HostOpsTest, CapturePageMakesATopDownBitmapAndRestoresTheView) {
  Fake().width = 200;
  Fake().height = 100;
  Fake().content_width = 3;
  Fake().content_height = 2;
  Bytes file = host_.CapturePage();
  ASSERT_EQ(file.size(), 54u + 3 * 2 * 4);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(Le32(file, 2), 54u + 24);
  EXPECT_EQ(Le32(file, 10), 54u);
  EXPECT_EQ(Le32(file, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(Le32(file, 18)), 3);
  EXPECT_EQ(static_cast<int32_t>(Le32(file, 22)), -2);
  EXPECT_EQ(Le32(file, 26), 1u | (32u << 16));
  EXPECT_EQ(Le32(file, 30), 0u);
  EXPECT_EQ(Le32(file, 34), 24u);
  EXPECT_EQ(Le32(file, 38), 3780u);
  EXPECT_EQ(Le32(file, 42), 3780u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(static_cast<unsigned char>(file[54 + i]), i);
  const std::vector<std::string> expected = {"run-js document.body.style.overflow='hidden'",
                                             "resize 3 2", "paint 12", "resize 200 100",
                                             "run-js document.body.style.overflow='visible'"};
  EXPECT_EQ(Fake().calls, expected);
}

TEST_F(HostOpsTest, CapturePageRefusesSizesItCannotHold) {
  Fake().width = 200;
  Fake().height = 100;
  for (auto size : {std::make_pair(0, 10), std::make_pair(10, -1), std::make_pair(40000, 10),
                    std::make_pair(30000, 30000)}) {
    Fake().calls.clear();
    Fake().content_width = size.first;
    Fake().content_height = size.second;
    EXPECT_TRUE(host_.CapturePage().empty()) << size.first << "x" << size.second;
    EXPECT_EQ(Fake().Count("resize"), 0);
    EXPECT_EQ(Fake().Count("paint"), 0);
    // The page gets its scroll bars back even when nothing was captured.
    EXPECT_TRUE(Fake().Called("run-js document.body.style.overflow='visible'"));
  }
}

TEST(BmpFileTest, EmptyPictureStillHasBothHeaders) {
  Bytes file = BuildBmpFile(0, 0, Bytes());
  ASSERT_EQ(file.size(), 54u);
  EXPECT_EQ(Le32(file, 2), 54u);
}

}  // namespace
