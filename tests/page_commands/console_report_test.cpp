#include "page/console_report.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "page/page_host.h"
#include "tests/app/test_log.h"
#include "tests/page_commands/fake_engine.h"

namespace {

TEST(EscapeForJsonTest, EscapesWhatJsonNeedsAndNothingElse) {
  EXPECT_EQ(EscapeForJson("plain 中文"), "plain 中文");
  EXPECT_EQ(EscapeForJson("a\"b"), "a\\\"b");
  EXPECT_EQ(EscapeForJson("back\\slash/"), "back\\\\slash\\/");
  EXPECT_EQ(EscapeForJson("t\tn\nr\rb\bf\f"), "t\\tn\\nr\\rb\\bf\\f");
  EXPECT_EQ(EscapeForJson(""), "");
}

TEST(ErrorReportScriptTest, BuildsTheReportObject) {
  EXPECT_EQ(
      ErrorReportScript(3, 12, "x is not defined", "app.js"),
      R"(clientJS2({"c":"sys","a":"error","data":{"level":3,"line":12,"msg":"x is not defined","sname":"app.js"}}))");
  EXPECT_EQ(
      ErrorReportScript(3, 0, "", ""),
      R"(clientJS2({"c":"sys","a":"error","data":{"level":3,"line":0,"msg":"","sname":""}}))");
}

TEST(ErrorReportScriptTest, QuotesStayEscapedAndBackslashApostropheBecomesAQuote) {
  EXPECT_EQ(
      ErrorReportScript(3, 1, "say \"hi\"", "a.js"),
      R"(clientJS2({"c":"sys","a":"error","data":{"level":3,"line":1,"msg":"say \"hi\"","sname":"a.js"}}))");
  // The message a\'b: its backslash is escaped to \\, and the \' pair that
  // this makes is replaced by a quote, so the page reads a"b.
  EXPECT_EQ(
      ErrorReportScript(3, 1, "a\\'b", "a.js"),
      R"(clientJS2({"c":"sys","a":"error","data":{"level":3,"line":1,"msg":"a\"b","sname":"a.js"}}))");
}

class ConsoleReportTest : public ::testing::Test {
 protected:
  ConsoleReportTest() : folder_("console") {}
  void SetUp() override {
    window_ = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
    ASSERT_TRUE(Host().Attach(window_, false));
    ASSERT_TRUE(OpenLog("lumo", folder_.path()));
  }
  void TearDown() override {
    StopLog();
    Host().Detach();
    ::DestroyWindow(window_);
  }
  void Report(int level, const wchar_t* message, const wchar_t* source = L"app.js",
              unsigned line = 12, const wchar_t* stack = nullptr) {
    ConsoleReport(nullptr, nullptr, level, EngineString(message), EngineString(source), line,
                  stack ? EngineString(stack) : nullptr);
  }
  std::vector<std::string> Logged() {
    StopLog();
    return LogMessages(folder_.path(), "控制台消息");
  }
  FakeEngine engine_;
  TestFolder folder_;
  HWND window_ = nullptr;
};

TEST_F(ConsoleReportTest, WarningsAreNeitherLoggedNorSent) {
  Report(2, L"careful");
  Report(1, L"hello");
  EXPECT_TRUE(engine_.scripts_run.empty());
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ConsoleReportTest, ErrorsAreLoggedWithTheStackAndSentToThePage) {
  Report(3, L"x is not defined", L"app.js", 12, L"at f (app.js:12)");
  Report(3, L"no stack", L"b.js", 3);
  ASSERT_EQ(engine_.scripts_run.size(), 2u);
  EXPECT_EQ(
      engine_.scripts_run[0],
      R"(clientJS2({"c":"sys","a":"error","data":{"level":3,"line":12,"msg":"x is not defined","sname":"app.js"}}))");
  std::vector<std::string> lines = Logged();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "level:3 msg:x is not defined sname:app.js line:12 fllow:at f (app.js:12)");
  EXPECT_EQ(lines[1], "level:3 msg:no stack sname:b.js line:3 fllow:");
}

TEST_F(ConsoleReportTest, AnErrorRaisedByTheReportItselfIsOnlyLogged) {
  int nested = 0;
  engine_.on_run = [&](const std::string&) {
    // A page without clientJS2: running the report raises the next error.
    ++nested;
    if (nested < 50) Report(3, L"ReferenceError: identifier 'clientJS2' undefined", L"", 1);
  };
  Report(3, L"first");
  EXPECT_EQ(engine_.scripts_run.size(), 1u);
  EXPECT_EQ(Logged().size(), 2u);
}

TEST_F(ConsoleReportTest, AnEchoArrivingJustAfterTheReportIsOnlyLogged) {
  Report(3, L"first");
  // An engine that delivers the report's own failure after the call returned.
  Report(3, L"TypeError: clientJS2 is not a function", L"", 1);
  Report(3, L"a real error elsewhere", L"c.js", 7);
  ASSERT_EQ(engine_.scripts_run.size(), 2u);
  EXPECT_NE(engine_.scripts_run[1].find("a real error elsewhere"), std::string::npos);
}

}  // namespace

namespace {

TEST(ErrorReportScriptTest, ADoubleByteCharacterEndingIn5CIsNoBackslash) {
  // 昞 is 0x95 0x5C in code page 936; followed by an apostrophe its second
  // byte must not pair with it into a quote.
  std::string message = "\x95\x5C'";
  std::string script = ErrorReportScript(3, 1, message, "a.js");
  EXPECT_NE(script.find("\"msg\":\"\x95\x5C'\""), std::string::npos) << script;
}

}  // namespace
