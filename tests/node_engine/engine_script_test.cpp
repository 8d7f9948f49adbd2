// The script bridge: bound functions, wkeRunJSW, script values, the console
// event, and robustness against hostile script and bad arguments.
#include "tests/node_engine/engine_harness.h"

namespace engine_test {
namespace {

TEST_F(EngineTest, BoundFunctionGetsChineseTextOnTheGuiThread) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/bridge.html")));
  ASSERT_EQ(recorder_.bound_arguments.size(), 1u);
  EXPECT_EQ(recorder_.bound_arguments[0], L"\u4e2d\u6587\u6d4b\u8bd5 \"quoted\"");
  EXPECT_EQ(recorder_.callback_threads[0], ::GetCurrentThreadId());
  EXPECT_EQ(Run(L"document.getElementById('out').textContent"),
            L"reply:\u56de\u590d:\u4e2d\u6587\u6d4b\u8bd5 \"quoted\"");
}

TEST_F(EngineTest, EachReplyTypeReachesTheScript) {
  EXPECT_EQ(Run(L"var r = serverJS('int'); typeof r + ':' + r"), L"number:42");
  EXPECT_EQ(Run(L"var r = serverJS('true'); typeof r + ':' + r"), L"boolean:true");
  EXPECT_EQ(Run(L"String(serverJS('low-zero'))"), L"false");
  EXPECT_EQ(Run(L"var r = serverJS('false'); typeof r + ':' + r"), L"boolean:false");
  EXPECT_EQ(Run(L"typeof serverJS('undef')"), L"undefined");
  EXPECT_EQ(Run(L"serverJS('text')"), L"\u56de\u590d:text");
  EXPECT_EQ(Run(L"serverJS('second', 7.5)"), L"7.5");
  EXPECT_EQ(Run(L"serverJS()"), L"\u56de\u590d:undefined");
}

TEST_F(EngineTest, BindingAfterThePageExistsReachesIt) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  api.wkeJsBindFunction(
      "lateBound", [](jsExecState, void*) { return Engine().jsInt(7); }, nullptr, 0);
  EXPECT_EQ(RunInt(L"lateBound()"), 7);
}

TEST_F(EngineTest, RunJsReturnsValues) {
  EXPECT_EQ(RunInt(L"6 * 7"), 42);
  EXPECT_EQ(RunInt(L"'  12 '"), 12);
  EXPECT_EQ(RunInt(L"-3.9"), -3);
  EXPECT_EQ(RunInt(L"true"), 1);
  EXPECT_EQ(Run(L"1.25"), L"1.25");
  EXPECT_EQ(Run(L"null"), L"null");
  EXPECT_EQ(Run(L"undefined"), L"undefined");
  EXPECT_EQ(Run(L"[1, 2]"), L"1,2");
  EXPECT_EQ(Run(L"'\u4e2d' + '\U0001F600'"), L"\u4e2d\U0001F600");
  EXPECT_EQ(Run(L"var kept = 5; kept"), L"5");
  EXPECT_EQ(RunInt(L"kept + 1"), 6) << "script state persists between runs";
}

TEST_F(EngineTest, SyntaxErrorBecomesAConsoleErrorNotAFailure) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  EXPECT_EQ(Run(L"clientJS2({\"a\": \"unterminated)"), L"undefined");
  ASSERT_FALSE(recorder_.consoles.empty());
  const ConsoleEvent& event = recorder_.consoles.back();
  EXPECT_EQ(event.level, 3);
  EXPECT_NE(event.message.find(L"SyntaxError"), std::wstring::npos);
  EXPECT_EQ(event.source, ServerUrl(L"/plain.html"));
  EXPECT_EQ(Run(L"'still' + ' works'"), L"still works");
}

TEST_F(EngineTest, ConsoleLevelsSourcesAndLines) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/console.html")));
  std::wstring page = ServerUrl(L"/console.html");
  ASSERT_GE(recorder_.consoles.size(), 6u);
  const auto& c = recorder_.consoles;
  EXPECT_EQ(c[0].level, 1);
  EXPECT_EQ(c[0].message, L"plain 1 {\"a\":2}");
  EXPECT_EQ(c[0].source, page);
  EXPECT_EQ(c[0].line, 4u);
  EXPECT_EQ(c[1].level, 2);
  EXPECT_EQ(c[1].line, 5u);
  EXPECT_EQ(c[2].level, 3);
  EXPECT_EQ(c[2].message, L"broken");
  EXPECT_EQ(c[3].level, 3);
  EXPECT_NE(c[3].message.find(L"undefinedFunction"), std::wstring::npos) << c[3].message.c_str();
  EXPECT_EQ(c[3].source, page);
  EXPECT_EQ(c[3].line, 10u);
  EXPECT_EQ(c[4].level, 3);
  EXPECT_EQ(c[4].source, ServerUrl(L"/js/throws.js"));
  EXPECT_EQ(c[4].line, 3u);
  EXPECT_NE(c[4].stack.find(L"fail"), std::wstring::npos) << c[4].stack.c_str();
  EXPECT_EQ(c[5].message, L"still running");
}

TEST_F(EngineTest, ErrorsInRunJsAndTimersReachTheConsole) {
  Run(L"throw new TypeError('from run')");
  EXPECT_TRUE(HasConsole(3, L"TypeError: from run"));
  Run(L"setTimeout(function () { throw new Error('from timer'); }, 1)");
  ASSERT_TRUE(PumpUntil([&] { return HasConsole(3, L"from timer"); }, 3000));
  Run(L"throw 'a plain string'");
  EXPECT_TRUE(HasConsole(3, L"a plain string"));
}

TEST_F(EngineTest, ConsoleHandlerMayRunScriptWhileScriptRuns) {
  recorder_.run_on_console = L"window.handled = (window.handled || 0) + 1";
  Run(L"console.warn('nested')");
  EXPECT_EQ(RunInt(L"handled"), 1);
  // A handler that logs again from inside its own event ends after a bounded depth.
  recorder_.run_on_console = L"console.log('again')";
  Run(L"console.log('start')");
  recorder_.run_on_console.clear();
  EXPECT_GT(recorder_.consoles.size(), 2u);
  EXPECT_LT(recorder_.consoles.size(), 200u);
  EXPECT_EQ(RunInt(L"1 + 1"), 2);
}

TEST_F(EngineTest, NativeHandlerMayRunScriptWhileScriptRuns) {
  EXPECT_EQ(Run(L"var inner = 'in'; serverJS('run:inner + \"side\"')"), L"inside");
}

TEST_F(EngineTest, RunawayScriptsBecomeErrors) {
  Run(L"function down(n) { return down(n + 1); } down(0)");
  EXPECT_TRUE(HasConsole(3, L"RangeError"));
  recorder_.consoles.clear();
  Run(L"function viaNative() { [1].forEach(viaNative); } viaNative()");
  EXPECT_TRUE(HasConsole(3, L"RangeError"));
  recorder_.consoles.clear();
  Run(L"var o = {}; o.toString = function () { return String(o); }; String(o)");
  EXPECT_TRUE(HasConsole(3, L"RangeError"));
  recorder_.consoles.clear();
  Run(L"JSON.parse(new Array(20000).join('[') + new Array(20000).join(']'))");
  EXPECT_TRUE(HasConsole(3, L"Error"));
  api.nodeStandinSetScriptTimeLimit(300);
  DWORD start = ::GetTickCount();
  Run(L"while (true) {}");
  api.nodeStandinSetScriptTimeLimit(10000);
  EXPECT_LT(::GetTickCount() - start, 5000u);
  EXPECT_EQ(RunInt(L"3"), 3);
}

TEST_F(EngineTest, BadArgumentsAreRefusedQuietly) {
  EXPECT_EQ(api.jsToInt(nullptr, api.wkeRunJSW(nullptr, L"1")), 0);
  EXPECT_EQ(api.wkeGlobalExec(nullptr), nullptr);
  EXPECT_EQ(api.wkeGetViewDC(nullptr), nullptr);
  api.wkeLoadW(nullptr, L"http://127.0.0.1/");
  api.wkeLoadW(view_, nullptr);
  api.wkeResize(nullptr, 10, 10);
  api.wkeRepaintIfNeeded(nullptr);
  api.wkeDestroyWebView(nullptr);
  api.wkeDestroyWebView(reinterpret_cast<wkeWebView>(0x1234));
  api.wkeSetLocalStorageFullPath(view_, nullptr);
  api.wkeSetDebugConfig(view_, nullptr, nullptr);
  api.wkeJsBindFunction(nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(api.wkeRunJSW(view_, nullptr), api.jsUndefined());
  EXPECT_STREQ(api.wkeGetStringW(nullptr), L"");
  EXPECT_STREQ(api.wkeGetStringW(reinterpret_cast<wkeString>(0x5678)), L"");
  EXPECT_EQ(api.jsArg(nullptr, 0), api.jsUndefined());
  EXPECT_EQ(api.jsArg(reinterpret_cast<jsExecState>(0x10), 3), api.jsUndefined());
  EXPECT_STREQ(api.jsToTempStringW(nullptr, 0x7777777777LL), L"undefined");
  EXPECT_EQ(api.jsToInt(nullptr, -1), 0);
  EXPECT_STREQ(api.jsToTempStringW(nullptr, api.jsStringW(nullptr, nullptr)), L"");
  EXPECT_EQ(api.wkeFireWindowsMessage(view_, nullptr, WM_SETCURSOR, 0, 0, nullptr), 0);
  engine_test::wkeRect caret = api.wkeGetCaretRect(view_);
  EXPECT_EQ(caret.w, 0);
  EXPECT_EQ(RunInt(L"2 + 2"), 4);
}

TEST_F(EngineTest, ValuesAreSixtyFourBitAndBoolsUseTheLowByte) {
  jsExecState state = api.wkeGlobalExec(view_);
  EXPECT_EQ(api.jsToInt(state, api.jsInt(-5)), -5);
  EXPECT_EQ(api.jsToInt(state, api.jsInt(0x7FFFFFFF)), 0x7FFFFFFF);
  EXPECT_STREQ(api.jsToTempStringW(state, api.jsBoolean(0xABCDEF00u)), L"false");
  EXPECT_STREQ(api.jsToTempStringW(state, api.jsBoolean(0x00000001u)), L"true");
  EXPECT_STREQ(api.jsToTempStringW(state, api.jsFalse()), L"false");
  EXPECT_STREQ(api.jsToTempStringW(state, api.jsStringW(state, L"\u4e2d")), L"\u4e2d");
  jsValue kept = api.jsStringW(state, L"kept");
  const wchar_t* first = api.jsToTempStringW(state, kept);
  const wchar_t* second = api.jsToTempStringW(state, api.jsInt(9));
  EXPECT_STREQ(first, L"kept") << "an earlier temporary text stays valid";
  EXPECT_STREQ(second, L"9");
  EXPECT_EQ(api.jsToInt(state, api.jsStringW(state, L"0x10")), 16);
}

TEST_F(EngineTest, DestroyingTheViewFromInsideItsOwnCallbackIsSafe) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  api.wkeOnConsole(
      view_,
      [](wkeWebView view, void*, int, wkeString, wkeString, unsigned, wkeString) {
        Engine().wkeDestroyWebView(view);
      },
      nullptr);
  api.wkeRunJSW(view_, L"console.log('bye'); console.log('after')");
  EXPECT_EQ(api.wkeGetViewDC(view_), nullptr) << "the view is gone";
  view_ = nullptr;
  PumpFor(50);
}

}  // namespace
}  // namespace engine_test
