// Page loading through the real HTTP stack: order of scripts, success and
// failure reasons, reloads.
#include "tests/node_engine/engine_harness.h"
#include "tests/support/loopback_socket.h"

namespace engine_test {
namespace {

TEST_F(EngineTest, LoadReturnsAtOnceAndFinishesLaterOnThisThread) {
  DWORD start = ::GetTickCount();
  api.wkeLoadW(view_, ServerUrl(L"/slow?ms=400").c_str());
  EXPECT_LT(::GetTickCount() - start, 300u) << "wkeLoadW must not wait for the page";
  EXPECT_TRUE(recorder_.loads.empty());
  ASSERT_TRUE(PumpUntil([&] { return !recorder_.loads.empty(); }, 10000));
  EXPECT_EQ(recorder_.loads[0].result, 0);
  EXPECT_EQ(recorder_.loads[0].url, ServerUrl(L"/slow?ms=400"));
  EXPECT_EQ(recorder_.loads[0].reason, L"");
  for (DWORD thread : recorder_.callback_threads) EXPECT_EQ(thread, ::GetCurrentThreadId());
}

TEST_F(EngineTest, ScriptsRunInDocumentOrderEvenWhenASourceIsSlow) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/order.html")));
  ASSERT_EQ(recorder_.loads.size(), 1u);
  EXPECT_EQ(recorder_.loads[0].result, 0);
  EXPECT_EQ(Run(L"order.join(',')"), L"a,b,c,box,d,e");
  EXPECT_EQ(Run(L"document.title"), L"Order");
  EXPECT_EQ(Run(L"document.getElementById('box').className"), L"main");
  EXPECT_EQ(Run(L"location.href"), ServerUrl(L"/order.html"));
}

TEST_F(EngineTest, RefusedConnectionFailsWithReason) {
  std::wstring url = L"http://127.0.0.1:" + std::to_wstring(UnusedLoopbackPort()) + L"/";
  ASSERT_TRUE(LoadAndWait(url));
  EXPECT_EQ(recorder_.loads[0].result, 1);
  EXPECT_EQ(recorder_.loads[0].url, url);
  EXPECT_NE(recorder_.loads[0].reason.find(L"CONNECTION_REFUSED"), std::wstring::npos)
      << recorder_.loads[0].reason.c_str();
}

TEST_F(EngineTest, DataUrlLoadsWithoutAServerAndReportsItsUrl) {
  // <title>Local</title><p>here</p><script>var ran = 1;</script>
  std::wstring url =
      L"data:text/html;lumo=offline;base64,"
      L"PHRpdGxlPkxvY2FsPC90aXRsZT48cD5oZXJlPC9wPjxzY3JpcHQ+dmFyIHJhbiA9IDE7PC9zY3JpcHQ+";
  ASSERT_TRUE(LoadAndWait(url));
  EXPECT_EQ(recorder_.loads[0].result, 0);
  EXPECT_EQ(recorder_.loads[0].url, url);
  EXPECT_EQ(Run(L"document.title"), L"Local");
  EXPECT_EQ(RunInt(L"ran"), 1);
  ASSERT_TRUE(LoadAndWait(L"data:text/html;base64,***"));
  EXPECT_EQ(recorder_.loads[1].result, 1);
}

TEST_F(EngineTest, ErrorStatusFailsWithTheStatus) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/status/404")));
  EXPECT_EQ(recorder_.loads[0].result, 1);
  EXPECT_EQ(recorder_.loads[0].reason, L"HTTP 404");
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/status/500")));
  EXPECT_EQ(recorder_.loads[1].reason, L"HTTP 500");
}

TEST_F(EngineTest, SlowServerTimesOut) {
  api.nodeStandinSetFetchTimeout(400);
  bool finished = LoadAndWait(ServerUrl(L"/slow?ms=3000"));
  api.nodeStandinSetFetchTimeout(30000);
  ASSERT_TRUE(finished);
  EXPECT_EQ(recorder_.loads[0].result, 1);
  EXPECT_NE(recorder_.loads[0].reason.find(L"TIMED_OUT"), std::wstring::npos);
}

TEST_F(EngineTest, FailedLoadReplacesTheOldPage) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  Run(L"var marker = 'old'");
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/status/404")));
  EXPECT_EQ(Run(L"typeof marker"), L"undefined");
}

TEST_F(EngineTest, ReloadTrueLoadsAgainAsynchronously) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  Run(L"var survivor = 1");
  Run(L"location.reload(true)");
  EXPECT_EQ(recorder_.loads.size(), 1u) << "the reload must not finish inside wkeRunJSW";
  ASSERT_TRUE(PumpUntil([&] { return recorder_.loads.size() == 2; }, 10000));
  EXPECT_EQ(recorder_.loads[1].result, 0);
  EXPECT_EQ(recorder_.loads[1].url, ServerUrl(L"/plain.html"));
  EXPECT_EQ(Run(L"typeof survivor"), L"undefined") << "a new load gets a fresh global object";
  EXPECT_EQ(Run(L"typeof serverJS"), L"function") << "bound functions are bound again";
}

TEST_F(EngineTest, NewLoadSupersedesOneInProgress) {
  api.wkeLoadW(view_, ServerUrl(L"/slow?ms=800").c_str());
  api.wkeLoadW(view_, ServerUrl(L"/plain.html").c_str());
  ASSERT_TRUE(PumpUntil([&] { return !recorder_.loads.empty(); }, 10000));
  PumpFor(1200);
  ASSERT_EQ(recorder_.loads.size(), 1u);
  EXPECT_EQ(recorder_.loads[0].url, ServerUrl(L"/plain.html"));
}

TEST_F(EngineTest, PageWithoutMarkupOrScripts) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/noscript.html")));
  EXPECT_EQ(recorder_.loads[0].result, 0);
  EXPECT_EQ(Run(L"document.body.textContent.trim()"),
            L"just some text without any markup or script");
}

TEST_F(EngineTest, HugePageLoads) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/big?lines=20000"), 30000));
  EXPECT_EQ(recorder_.loads[0].result, 0);
  EXPECT_EQ(RunInt(L"document.getElementsByTagName('p').length"), 20000);
}

TEST_F(EngineTest, MissingScriptSourceIsReportedAndLoadingGoesOn) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/missing.html")));
  EXPECT_EQ(recorder_.loads[0].result, 0);
  EXPECT_TRUE(HasConsole(3, L"js/none.js"));
  EXPECT_TRUE(HasConsole(1, L"after missing"));
}

}  // namespace
}  // namespace engine_test
