#include "page/page_commands.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/main_window.h"
#include "page/page_host.h"
#include "page/page_origin.h"
#include "tests/app/test_log.h"
#include "tests/page_commands/fake_engine.h"

namespace {

struct ShellCall {
  std::string file, parameters;
  int show = -1;
};
ShellCall g_shell;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR, LPCSTR file, LPCSTR parameters, LPCSTR,
                                    INT show) {
  g_shell.file = file ? file : "(null)";
  g_shell.parameters = parameters ? parameters : "(null)";
  g_shell.show = show;
  return reinterpret_cast<HINSTANCE>(42);
}

class PageCommandsTest : public ::testing::Test {
 protected:
  PageCommandsTest() : folder_("commands") {}
  void SetUp() override {
    window_ = ::CreateWindowExA(0, "STATIC", "Tarn-POS背屏", WS_POPUP, 10, 20, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    AppState& app = App();
    app.main_window = window_;
    app.app_name = "lumo";
    app.pc_name = "TILL-1";
    app.run_directory = folder_.path();
    app.config_path = folder_.File("config.ini");
    ASSERT_TRUE(Host().Attach(window_, false));
    ASSERT_TRUE(OpenLog("lumo", folder_.path()));
    SetShellExecuteForTest(RecordShellExecute);
    g_shell = ShellCall();
    TrustPageOrigins("http://127.0.0.1:8099/client/app/lumo/", "");
  }
  void TearDown() override {
    SetShellExecuteForTest(nullptr);
    StopLog();
    Host().Detach();
    ::DestroyWindow(window_);
  }
  Reply Run(const std::string& envelope) { return engine_.Call(PageCommandHandler, envelope); }
  MINMAXINFO MinMax() {
    MINMAXINFO info = {};
    Host().OnGetMinMaxInfo(&info);
    return info;
  }
  FakeEngine engine_;
  TestFolder folder_;
  HWND window_ = nullptr;
};

TEST_F(PageCommandsTest, EmptyOrUnreadableArgumentsReplyFalseAndAreLoggedFirst) {
  Reply empty = Run("");
  EXPECT_EQ(empty.kind, ReplyKind::kBool);
  EXPECT_EQ(empty.number, 0);
  Reply junk = Run("not json");
  EXPECT_EQ(junk.kind, ReplyKind::kBool);
  EXPECT_EQ(junk.number, 0);
  Run(R"({"c":"window","a":"left"})");
  StopLog();
  std::vector<std::string> lines = LogMessages(folder_.path(), "WKE");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "OnServer json:");
  EXPECT_EQ(lines[1], "OnServer json:not json");
  EXPECT_EQ(lines[2], R"(OnServer json:{"c":"window","a":"left"})");
}

TEST_F(PageCommandsTest, UnknownGroupsAndCommandsReplyUndefined) {
  EXPECT_EQ(Run(R"({"c":"window","a":"nothing"})").kind, ReplyKind::kUndefined);
  EXPECT_EQ(Run(R"({"c":"Window","a":"left"})").kind, ReplyKind::kUndefined);
  EXPECT_EQ(Run(R"({"c":"sys","a":"Pcname"})").kind, ReplyKind::kUndefined);
  EXPECT_EQ(Run(R"({"a":"left"})").kind, ReplyKind::kUndefined);
  EXPECT_EQ(Run(R"({"c":"window","a":"settitle","data":{"title":"x"}})").kind,
            ReplyKind::kUndefined);
}

TEST_F(PageCommandsTest, WindowValuesAreTheMainWindowsRectangleAndTitle) {
  EXPECT_EQ(Run(R"({"c":"window","a":"left"})").number, 10);
  EXPECT_EQ(Run(R"({"c":"window","a":"top"})").number, 20);
  EXPECT_EQ(Run(R"({"c":"window","a":"width"})").number, 300);
  EXPECT_EQ(Run(R"({"c":"window","a":"height"})").number, 200);
  Reply title = Run(R"({"c":"window","a":"title"})");
  EXPECT_EQ(title.kind, ReplyKind::kText);
  EXPECT_EQ(title.text, "Tarn-POS背屏");
}

TEST_F(PageCommandsTest, CenterAndShow) {
  EXPECT_EQ(Run(R"({"c":"window","a":"center"})").kind, ReplyKind::kUndefined);
  EXPECT_EQ(engine_.center_calls, 1);
  Run(R"({"c":"window","a":"show","data":{"show":5}})");
  EXPECT_TRUE(::IsWindowVisible(window_));
  Run(R"({"c":"window","a":"show"})");  // a missing show hides
  EXPECT_FALSE(::IsWindowVisible(window_));
}

TEST_F(PageCommandsTest, TrackingSizes) {
  Run(R"({"c":"window","a":"setdrag","data":{"on":false,"dminw":400,"dminh":300,"dmaxw":1600,"dmaxh":900}})");
  MINMAXINFO info = MinMax();
  EXPECT_EQ(info.ptMinTrackSize.x, 400);
  EXPECT_EQ(info.ptMinTrackSize.y, 300);
  EXPECT_EQ(info.ptMaxTrackSize.x, 1600);
  EXPECT_EQ(info.ptMaxTrackSize.y, 900);
  Run(R"({"c":"window","a":"setdmin","data":{"width":0,"height":0}})");
  Run(R"({"c":"window","a":"setdmax","data":{"width":800,"height":0}})");
  info = MinMax();  // a size with a zero component is stored but never applied
  EXPECT_EQ(info.ptMinTrackSize.x, 0);
  EXPECT_EQ(info.ptMaxTrackSize.x, 0);
  Run(R"({"c":"window","a":"setdmin","data":{"width":"320px","height":240}})");
  EXPECT_EQ(MinMax().ptMinTrackSize.x, 320);
}

TEST_F(PageCommandsTest, IniReadWriteAndDelete) {
  Reply written =
      Run(R"({"c":"sys","a":"writeini","data":{"node":"page","key":"shop","value":"苹果店"}})");
  EXPECT_EQ(written.kind, ReplyKind::kBool);
  EXPECT_EQ(written.number, 1);
  EXPECT_EQ(
      Run(R"({"c":"sys","a":"readini","data":{"node":"page","key":"shop","value":"d"}})").text,
      "苹果店");
  EXPECT_EQ(ReadIniFile(App().config_path, "page", "shop"), "苹果店");
  Run(R"({"c":"sys","a":"writeini","data":{"node":"page","key":"shop","value":""}})");
  EXPECT_EQ(
      Run(R"({"c":"sys","a":"readini","data":{"node":"page","key":"shop","value":"gone"}})").text,
      "gone");
  EXPECT_EQ(Run(R"({"c":"sys","a":"readini","data":{"node":"","key":"shop","value":"d"}})").text,
            "");
  EXPECT_EQ(Run(R"({"c":"sys","a":"readini","data":{"node":"page","key":"","value":"d"}})").text,
            "");
}

TEST_F(PageCommandsTest, WriteWithAnEmptyKeyNeverWipesASection) {
  ASSERT_TRUE(WriteIniFile(App().config_path, "server", "ip", "10.0.0.5"));
  Reply reply = Run(R"({"c":"sys","a":"writeini","data":{"node":"server","key":"","value":""}})");
  EXPECT_EQ(reply.number, 0);
  EXPECT_EQ(ReadIniFile(App().config_path, "server", "ip"), "10.0.0.5");
}

TEST_F(PageCommandsTest, ExistsOnFilesDirectoriesAndPatterns) {
  ASSERT_TRUE(WriteIniFile(App().config_path, "a", "b", "c"));
  std::string base = R"({"c":"sys","a":"exists","data":{"path":")";
  auto exists = [&](std::string path) {
    for (size_t at = 0; (at = path.find('\\', at)) != std::string::npos; at += 2)
      path.insert(at, "\\");
    return Run(base + path + "\"}}").number;
  };
  EXPECT_EQ(exists(folder_.File("config.ini")), 1);
  EXPECT_EQ(exists(folder_.path().substr(0, folder_.path().size() - 1)), 1);
  EXPECT_EQ(exists(folder_.File("*.ini")), 1);
  EXPECT_EQ(exists(folder_.File("*.none")), 0);
  EXPECT_EQ(exists(""), 0);
}

TEST_F(PageCommandsTest, GetPidComparesExecutableNamesWithoutCase) {
  int own = static_cast<int>(::GetCurrentProcessId());
  EXPECT_EQ(Run(R"({"c":"sys","a":"getpid","data":{"name":"PAGE_COMMANDS_TESTS.EXE"}})").number,
            own);
  EXPECT_EQ(Run(R"({"c":"sys","a":"getpid","data":{"name":"page_commands_tests"}})").number, -1);
  EXPECT_EQ(Run(R"({"c":"sys","a":"getpid","data":{"name":""}})").number, -1);
  EXPECT_EQ(FindProcessId("Page_Commands_Tests.exe"), own);
}

TEST_F(PageCommandsTest, OpenUrlAndOpenFileGoToTheShell) {
  Reply opened = Run(R"({"c":"sys","a":"openurl","data":{"url":"http://shop/"}})");
  EXPECT_EQ(opened.kind, ReplyKind::kBool);
  EXPECT_EQ(opened.number, 1);  // 42 > 32
  EXPECT_EQ(g_shell.file, "http://shop/");
  EXPECT_EQ(g_shell.parameters, "(null)");
  EXPECT_EQ(g_shell.show, 0);  // a missing show is SW_HIDE
  Run(R"({"c":"sys","a":"openfile","data":{"path":"C:\\a.txt","param":"/p","show":1}})");
  EXPECT_EQ(g_shell.file, "C:\\a.txt");
  EXPECT_EQ(g_shell.parameters, "/p");
  EXPECT_EQ(g_shell.show, 1);
}

TEST_F(PageCommandsTest, ProgramValues) {
  EXPECT_EQ(Run(R"({"c":"sys","a":"pcname"})").text, "TILL-1");
  EXPECT_EQ(Run(R"({"c":"sys","a":"appname"})").text, "lumo");
  EXPECT_EQ(Run(R"({"c":"sys","a":"runpath"})").text, folder_.path());
}

TEST_F(PageCommandsTest, CloseDestroysTheWindowAfterTheReply) {
  HWND main = CreateMainWindow(MainWindowHandlers());
  App().main_window = main;
  EXPECT_EQ(Run(R"({"c":"window","a":"close"})").kind, ReplyKind::kUndefined);
  EXPECT_TRUE(::IsWindow(main));  // the reply comes first
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
  EXPECT_FALSE(::IsWindow(main));
  App().main_window = window_;
}

}  // namespace

namespace {

constexpr char kOpenCmd[] =
    R"({"c":"sys","a":"openfile","data":{"path":"cmd.exe","param":"/c echo x > C:\\x","show":0}})";
constexpr char kRewriteServer[] =
    R"({"c":"sys","a":"writeini","data":{"node":"server","key":"ip","value":"10.6.6.6"}})";

TEST_F(PageCommandsTest, OnlyTheBackOfficesOwnOriginReachesTheCommands) {
  WriteIniFile(App().config_path, "server", "ip", "127.0.0.1");
  const char* foreign[] = {"http://127.0.0.1:8100",
                           "http://evil.example",
                           "https://127.0.0.1:8099",
                           "null",
                           "",
                           "http://127.0.0.1:8099.evil.example"};
  for (const char* origin : foreign) {
    engine_.caller_origin = origin;
    Reply opened = Run(kOpenCmd);
    EXPECT_EQ(opened.kind, ReplyKind::kBool) << origin;
    EXPECT_EQ(opened.number, 0) << origin;
    Reply written = Run(kRewriteServer);
    EXPECT_EQ(written.number, 0) << origin;
    EXPECT_EQ(Run(R"({"c":"sys","a":"pcname"})").kind, ReplyKind::kBool) << origin;
  }
  EXPECT_EQ(g_shell.show, -1) << "the shell was called for a foreign caller";
  EXPECT_EQ(ReadIniFile(App().config_path, "server", "ip"), "127.0.0.1");
  // The page's own origin, as the engine writes it, and a same-origin iframe.
  engine_.caller_origin = "http://127.0.0.1:8099";
  EXPECT_EQ(Run(R"({"c":"sys","a":"pcname"})").text, "TILL-1");
  EXPECT_EQ(Run(kOpenCmd).number, 1);
  EXPECT_EQ(g_shell.file, "cmd.exe");
}

TEST_F(PageCommandsTest, ARefusalIsOneLineNamingTheOriginAndTheCommandOnly) {
  engine_.caller_origin = "http://ads.example:81";
  Run(kRewriteServer);
  engine_.caller_origin = "null";
  Run("{\"c\":\"sys\",\"a\":\"open\\r\\nfile\",\"data\":{\"secret\":\"card 4111\"}}");
  engine_.caller_origin = "http://x.example";
  Run("not json");
  StopLog();
  std::vector<std::string> lines = LogMessages(folder_.path(), "WKE");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "OnServer refused origin:http://ads.example:81 c:sys a:writeini");
  // The command's own line break is written escaped, and the data is left out.
  EXPECT_EQ(lines[1], "OnServer refused origin:null c:sys a:open\\r\\nfile");
  EXPECT_EQ(lines[2], "OnServer refused origin:http://x.example c: a:");
}

TEST_F(PageCommandsTest, AnEngineThatCannotNameTheCallerGetsNothingDone) {
  engine_.SetOriginFunctions(false);
  EXPECT_EQ(Run(kOpenCmd).number, 0);
  EXPECT_EQ(g_shell.show, -1);
  StopLog();
  std::vector<std::string> lines = LogMessages(folder_.path(), "WKE");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "OnServer refused origin:? c:sys a:openfile");
}

TEST_F(PageCommandsTest, OriginsTheShopTrustsAreLetIn) {
  TrustPageOrigins("http://127.0.0.1:8099/client/app/lumo/",
                   "http://127.0.0.1:8100 https://pay.example");
  engine_.caller_origin = "http://127.0.0.1:8100";
  EXPECT_EQ(Run(R"({"c":"sys","a":"appname"})").text, "lumo");
  engine_.caller_origin = "https://pay.example";
  EXPECT_EQ(Run(R"({"c":"sys","a":"appname"})").text, "lumo");
  engine_.caller_origin = "http://pay.example";
  EXPECT_EQ(Run(R"({"c":"sys","a":"appname"})").kind, ReplyKind::kBool);
}

}  // namespace
