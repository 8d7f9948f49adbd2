// The bridge through a real page in our engine (node.dll beside the test):
// pages come from a loopback HTTP server of the test, the host is the
// program's own Host() bound to a real window, with the program's message
// filter and RunInPage.
// winsock2.h must come before windows.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_file.h"
#include "page/engine_text.h"
#include "page/page_host.h"
#include "page/page_origin.h"
#include "page/script_bridge.h"
#include "tests/page/page_server.h"
#include "tests/page/test_window.h"

namespace {

constexpr char kStartPath[] = "/client/app/lumo/";
constexpr char kOtherPath[] = "/other.html";
constexpr DWORD kLoadTimeoutMs = 15000;

// The start page (UTF-8): asks serverJS once while loading and collects pushes.
constexpr char kStartPage[] =
    "<html><head><title>start</title></head><body><div id=\"state\">start</div>\n"
    "<script>\n"
    "window.pushes = [];\n"
    "function clientJS2(message) { window.pushes.push(JSON.stringify(message)); return 1; }\n"
    "window.reply = serverJS('\xE4\xBD\xA0\xE5\xA5\xBD \"q\" \\\\ end');\n"
    "</script></body></html>\n";
constexpr char kOtherPage[] = "<html><body><script>window.page = 'other';</script></body></html>\n";

// 你好 and 回复 in code page 936.
constexpr char kHello936[] = "\xC4\xE3\xBA\xC3";
constexpr char kReply936[] = "\xBB\xD8\xB8\xB4";

struct Load {
  std::string url;
  int result;
};
std::vector<Load> loads;
std::vector<std::pair<int, std::string>> consoles;
std::vector<std::string> server_js_arguments;

std::string EngineString(wkeString text) {
  return TextOf(text == nullptr ? nullptr : Node().wkeGetStringW(text));
}

void __cdecl RecordLoad(wkeWebView, void*, wkeString url, int result, wkeString) {
  loads.push_back({EngineString(url), result});
}

void __cdecl RecordConsole(wkeWebView, void*, int level, wkeString message, wkeString, unsigned,
                           wkeString) {
  consoles.emplace_back(level, EngineString(message));
}

jsValue __cdecl ServerJs(jsExecState state) {
  std::string argument = ArgText(state, 0);
  server_js_arguments.push_back(argument);
  return ReturnText(state, std::string(kReply936) + ":" + argument);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > timeout_ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
  return true;
}

// Runs `work` on another thread while this thread keeps handling messages,
// the way the socket threads reach the running program.
DWORD WINAPI RunWork(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return 0;
}

void OnAnotherThread(std::function<void()> work) {
  HANDLE thread = ::CreateThread(nullptr, 0, &RunWork, &work, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  PumpUntil([thread] { return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 10000);
  ::CloseHandle(thread);
}

std::string TempFolder() {
  char path[MAX_PATH];
  ::GetTempPathA(MAX_PATH, path);
  // A Chinese folder name, so the developer-tools path must cross to UTF-8.
  std::string folder = std::string(path) + "lumo_page_test_\xD6\xD0\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

class BridgeEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new PageServer();
    server_->Put(kStartPath, kStartPage);
    server_->Put(kOtherPath, kOtherPage);
    ASSERT_TRUE(server_->Start());
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(::GetModuleHandleA(nullptr), nullptr);
    loads.clear();
    consoles.clear();
    server_js_arguments.clear();
    folder_ = TempFolder();
    config_path_ = folder_ + "config.ini";
    ::DeleteFileA(config_path_.c_str());
    SetConfigPath(config_path_);
    window_ = std::make_unique<TestWindow>(0, 0, 400, 300);
    AppState& app = App();
    app.main_window = window_->get();
    app.page_message = ::RegisterWindowMessageA(kPageMessageName);
    app.page_url = server_->Url(kStartPath);
    // The program's page filter runs scripts only in a document of the
    // page's own origin, as start-up sets it.
    TrustPageOrigins(app.page_url, "");
    app.run_directory = folder_;
    PageHost& host = Host();
    ASSERT_TRUE(host.Attach(window_->get(), true, false));
    host.SetLocalStorageFullPath(folder_);
    host.OnConsole(&RecordConsole, nullptr);
    BindFunction("serverJS", &ServerJs, 1);
    host.SetMessageFilter(&HostMessageFilter);
    host.OnLoadingFinish(&RecordLoad, nullptr);
    host.Load(app.page_url);
    ASSERT_TRUE(PumpUntil([] { return !loads.empty(); }, kLoadTimeoutMs));
    ASSERT_EQ(loads[0].result, 0) << loads[0].url;
  }
  void TearDown() override {
    Host().Detach();
    window_.reset();
    App().main_window = nullptr;
  }

  // The script's value as code page 936 text.
  std::string ValueText(const std::string& script) {
    jsExecState state = Host().GlobalExec();
    jsValue value = Host().RunScript(script);
    return TextOf(Node().jsToTempStringW(state, value));
  }

  static PageServer* server_;
  std::unique_ptr<TestWindow> window_;
  std::string folder_;
  std::string config_path_;
};

PageServer* BridgeEngineTest::server_ = nullptr;

TEST_F(BridgeEngineTest, BoundFunctionGetsItsArgumentAndGivesItsReply) {
  const std::string argument = std::string(kHello936) + " \"q\" \\ end";
  ASSERT_EQ(server_js_arguments.size(), 1u);
  EXPECT_EQ(server_js_arguments[0], argument);
  EXPECT_EQ(ValueText("window.reply"), std::string(kReply936) + ":" + argument);
}

TEST_F(BridgeEngineTest, PushFromAnotherThreadRunsExactlyAsGiven) {
  // Quotes, backslashes, a line break and Chinese, inserted as script source.
  const std::string push =
      "clientJS2({\"text\":\"say \\\"hi\\\" C:\\\\pos\\\\\",\"cn\":\"\xD6\xD0\xCE\xC4\"\n"
      ",\"n\":2})";
  OnAnotherThread([push] { RunInPage(push); });
  EXPECT_EQ(ValueText("window.pushes.length"), "1");
  EXPECT_EQ(ValueText("window.pushes[0]"),
            "{\"text\":\"say \\\"hi\\\" C:\\\\pos\\\\\",\"cn\":\"\xD6\xD0\xCE\xC4\",\"n\":2}");
  EXPECT_TRUE(consoles.empty() || consoles.back().first != 3);
}

TEST_F(BridgeEngineTest, ScriptValueOfOneEndsTheMessage) {
  LRESULT result = 0;
  const UINT message = App().page_message;
  HWND window = window_->get();
  const char* script = "clientJS2({\"a\":1})";
  OnAnotherThread([&] {
    result = ::SendMessageA(window, message, kPageRunScript, reinterpret_cast<LPARAM>(script));
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ValueText("window.pushes[0]"), "{\"a\":1}");
  window_->ClearSeen();
  OnAnotherThread([&] {
    result = ::SendMessageA(window, message, kPageRunScript,
                            reinterpret_cast<LPARAM>("window.pushes.length + 5"));
  });
  EXPECT_EQ(window_->SeenCount(message), 1);
}

TEST_F(BridgeEngineTest, InvalidScriptGivesAConsoleErrorAndThePageGoesOn) {
  OnAnotherThread([] { RunInPage("clientJS2({\"a\":)"); });
  bool error_seen = false;
  for (const auto& console : consoles) error_seen |= console.first == 3;
  EXPECT_TRUE(error_seen);
  EXPECT_EQ(ValueText("window.pushes.length"), "0");
  OnAnotherThread([] { RunInPage("clientJS2({\"after\":true})"); });
  EXPECT_EQ(ValueText("window.pushes[0]"), "{\"after\":true}");
}

TEST_F(BridgeEngineTest, ReloadRequestLoadsTheStartAddressNotTheCurrentOne) {
  Host().Load(server_->Url(kOtherPath));
  ASSERT_TRUE(PumpUntil([] { return loads.size() >= 2; }, kLoadTimeoutMs));
  ASSERT_EQ(ValueText("window.page"), "other");
  const int start_hits = server_->Hits(kStartPath);
  const int other_hits = server_->Hits(kOtherPath);
  EXPECT_EQ(::SendMessageA(window_->get(), App().page_message, kPageReload, 0), 1);
  ASSERT_TRUE(PumpUntil([] { return loads.size() >= 3; }, kLoadTimeoutMs));
  EXPECT_EQ(loads[2].url, server_->Url(kStartPath));
  EXPECT_EQ(loads[2].result, 0);
  EXPECT_EQ(server_->Hits(kStartPath), start_hits + 1);
  EXPECT_EQ(server_->Hits(kOtherPath), other_hits);
  EXPECT_EQ(ValueText("typeof window.page"), "undefined");
  EXPECT_EQ(server_js_arguments.size(), 2u);
}

using DebugCount = int(__cdecl*)();
using LastDebug = const char*(__cdecl*)(const char*);

TEST_F(BridgeEngineTest, RightDoubleClickOpensDeveloperToolsOnlyWhenDebugIsOne) {
  HMODULE engine = ::GetModuleHandleA("node.dll");
  ASSERT_NE(engine, nullptr);
  auto count = reinterpret_cast<DebugCount>(
      reinterpret_cast<void*>(::GetProcAddress(engine, "nodeStandinDebugConfigCount")));
  auto last = reinterpret_cast<LastDebug>(
      reinterpret_cast<void*>(::GetProcAddress(engine, "nodeStandinLastDebugConfig")));
  ASSERT_NE(count, nullptr);
  ASSERT_NE(last, nullptr);
  const int before = count();
  auto double_click = [this] {
    ::SendMessageA(window_->get(), WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(10, 10));
  };
  double_click();  // no config.ini at all
  ASSERT_TRUE(WriteIniFile(config_path_, "local", "debug", "0"));
  double_click();
  ASSERT_TRUE(WriteIniFile(config_path_, "local", "debug", "yes"));
  double_click();
  EXPECT_EQ(count(), before);
  ASSERT_TRUE(WriteIniFile(config_path_, "local", "debug", "1"));
  double_click();
  double_click();
  EXPECT_EQ(count(), before + 2);
  ASSERT_NE(last("showDevTools"), nullptr);
  EXPECT_EQ(std::string(last("showDevTools")), AnsiToUtf8(folder_ + "front_end\\inspector.html"));
}

}  // namespace
