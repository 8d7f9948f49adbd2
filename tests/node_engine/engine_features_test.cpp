// Timers, local storage, XMLHttpRequest, painting, input and the
// developer-tools switch.
#include <algorithm>

#include "tests/node_engine/engine_harness.h"

namespace engine_test {
namespace {

TEST_F(EngineTest, TimersFireOnTheGuiThreadWhilePumping) {
  Run(L"var fired = []; setTimeout(function (a, b) { fired.push('once' + a + b); serverJS('t'); }, "
      L"20, 1, 2);"
      L"var ticks = 0; var iv = setInterval(function () { if (++ticks === 3) clearInterval(iv); }, "
      L"10);"
      L"var cancelled = setTimeout(function () { fired.push('cancelled'); }, 30); "
      L"clearTimeout(cancelled);");
  EXPECT_EQ(Run(L"fired.length"), L"0") << "timers do not fire inside the script that set them";
  ASSERT_TRUE(
      PumpUntil([&] { return RunInt(L"ticks") == 3 && RunInt(L"fired.length") == 1; }, 3000));
  PumpFor(150);
  EXPECT_EQ(Run(L"fired.join()"), L"once12");
  EXPECT_EQ(RunInt(L"ticks"), 3) << "a cleared interval stops";
  ASSERT_FALSE(recorder_.callback_threads.empty());
  EXPECT_EQ(recorder_.callback_threads.back(), ::GetCurrentThreadId());
}

TEST_F(EngineTest, TimersOfAnOldPageDoNotFireInTheNewOne) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  Run(L"setInterval(function () { serverJS('old page timer'); }, 10)");
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  recorder_.bound_arguments.clear();
  PumpFor(100);
  EXPECT_TRUE(recorder_.bound_arguments.empty());
}

TEST_F(EngineTest, LocalStorageSurvivesAReloadAndLivesInTheFolder) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/storage.html")));
  EXPECT_EQ(RunInt(L"count"), 1);
  Run(L"location.reload(true)");
  ASSERT_TRUE(PumpUntil([&] { return recorder_.loads.size() == 2; }, 10000));
  EXPECT_EQ(RunInt(L"count"), 2);
  EXPECT_EQ(Run(L"localStorage.getItem('\u540d\u5b57')"), L"\u503c");
  EXPECT_EQ(Run(L"String(localStorage.getItem('missing'))"), L"null");
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((storage_folder_ + L"\\*.localstorage").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no storage file in the given folder";
  ::FindClose(find);
  Run(L"localStorage.removeItem('loads'); localStorage.clear()");
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/storage.html")));
  EXPECT_EQ(RunInt(L"count"), 1) << "clear() was persisted too";
}

TEST_F(EngineTest, LocalStorageIsPerOrigin) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/storage.html")));
  std::wstring other = L"http://localhost:" + ServerUrl(L"").substr(17) + L"/storage.html";
  ASSERT_TRUE(LoadAndWait(other));
  EXPECT_EQ(RunInt(L"count"), 1);
}

TEST_F(EngineTest, XhrGetAndPostReachTheServer) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/xhr.html")));
  ASSERT_TRUE(PumpUntil([&] { return RunInt(L"results.length") == 3; }, 10000));
  std::wstring results = Run(L"results.sort().join('|')");
  EXPECT_EQ(results, L"error:0|get:200:q=1|post:POST:{\"c\":\"sys\",\"a\":\"\u4e2d\u6587\"}:yes");
  EXPECT_EQ(recorder_.callback_threads.back(), ::GetCurrentThreadId());
}

TEST_F(EngineTest, SynchronousXhr) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  EXPECT_EQ(Run(L"var x = new XMLHttpRequest(); x.open('GET', '/echo?s=2', false); x.send();"
                L"x.readyState + ':' + x.status + ':' + JSON.parse(x.responseText).query"),
            L"4:200:s=2");
}

TEST_F(EngineTest, PaintUpdatedReportsTheChangedRectangleAndTheDcHoldsIt) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/paint.html")));
  HDC dc = api.wkeGetViewDC(view_);
  ASSERT_NE(dc, nullptr);
  BITMAP bitmap = {};
  ASSERT_NE(::GetObjectW(::GetCurrentObject(dc, OBJ_BITMAP), sizeof(bitmap), &bitmap), 0);
  ASSERT_EQ(bitmap.bmWidth, 400);
  ASSERT_EQ(bitmap.bmHeight, 300);
  ASSERT_EQ(bitmap.bmBitsPixel, 32);
  const auto* pixels = static_cast<const uint32_t*>(bitmap.bmBits);
  const uint32_t background = 0xFF102030;
  // The loaded page's first frame may come before its load event or after it
  // (as with a real engine, which paints while it loads): wait for a reported
  // frame that shows the page's opaque background, whenever it came.
  ASSERT_TRUE(PumpUntil(
      [&] { return !recorder_.paints.empty() && pixels[299 * 400 + 399] == background; }, 3000))
      << "no frame showed the opaque body background";
  EXPECT_EQ(recorder_.paints.back().dc, dc);
  size_t before = recorder_.paints.size();
  Run(L"document.getElementById('line').textContent = 'WWWW changed text'");
  ASSERT_TRUE(PumpUntil([&] { return recorder_.paints.size() > before; }, 3000));
  const PaintEvent& paint = recorder_.paints.back();
  EXPECT_GE(paint.x, 0);
  EXPECT_GE(paint.y, 0);
  EXPECT_GT(paint.cx, 0);
  EXPECT_GT(paint.cy, 0);
  EXPECT_LE(paint.x + paint.cx, 400);
  EXPECT_LE(paint.y + paint.cy, 300);
  EXPECT_LT(paint.cx * paint.cy, 400 * 300) << "only the changed part is reported";
  size_t drawn = 0;
  for (int y = paint.y; y < paint.y + paint.cy; ++y) {
    for (int x = paint.x; x < paint.x + paint.cx; ++x) {
      uint32_t pixel = pixels[y * 400 + x];
      EXPECT_EQ(pixel >> 24, 0xFFu);
      drawn += pixel != background;
    }
  }
  EXPECT_GT(drawn, 0u) << "the changed rectangle holds the new text";
  EXPECT_EQ(recorder_.callback_threads.back(), ::GetCurrentThreadId());
}

TEST_F(EngineTest, ManyChangesAreCoalescedAndRepaintIfNeededPaintsAtOnce) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/paint.html")));
  ASSERT_TRUE(PumpUntil([&] { return !recorder_.paints.empty(); }, 3000));
  PumpFor(50);
  size_t before = recorder_.paints.size();
  for (int i = 0; i < 20; ++i) Run(L"document.title = 'T" + std::to_wstring(i) + L"'");
  api.wkeRepaintIfNeeded(view_);
  EXPECT_EQ(recorder_.paints.size(), before + 1);
  PumpFor(100);
  EXPECT_EQ(recorder_.paints.size(), before + 1) << "nothing changed since";
  api.wkeResize(view_, 200, 100);
  api.wkeRepaintIfNeeded(view_);
  ASSERT_EQ(recorder_.paints.size(), before + 2);
  EXPECT_EQ(recorder_.paints.back().cx, 200);
  EXPECT_EQ(recorder_.paints.back().cy, 100);
}

TEST_F(EngineTest, ShowDevToolsIsRecorded) {
  int before = api.nodeStandinDebugConfigCount();
  api.wkeSetDebugConfig(view_, "showDevTools", "C:\\run\\front_end\\inspector.html");
  api.wkeSetDebugConfig(view_, "someOtherSwitch", "1");
  EXPECT_EQ(api.nodeStandinDebugConfigCount(), before + 1);
  EXPECT_STREQ(api.nodeStandinLastDebugConfig("showDevTools"),
               "C:\\run\\front_end\\inspector.html");
  EXPECT_EQ(api.nodeStandinLastDebugConfig("someOtherSwitch"), nullptr);
}

TEST_F(EngineTest, ClicksReachPageListeners) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/plain.html")));
  EXPECT_EQ(api.wkeFireMouseEvent(view_, WM_LBUTTONUP, 5, 6, 0), 0) << "no listener, not consumed";
  Run(L"var clicks = []; document.addEventListener('click', function (e) { clicks.push(e.clientX + "
      L"',' + e.clientY); })");
  EXPECT_EQ(api.wkeFireMouseEvent(view_, WM_LBUTTONUP, 5, 6, 0), 1);
  EXPECT_EQ(Run(L"clicks.join()"), L"5,6");
  Run(L"document.body.onkeydown = function (e) { window.key = e.keyCode; }");
  EXPECT_EQ(api.wkeFireKeyDownEvent(view_, 65, 0, 0xFFFFFF00u), 1);
  EXPECT_EQ(RunInt(L"key"), 65);
}

TEST_F(EngineTest, HostSettingsAreKept) {
  HWND window = ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 100, 80, nullptr, nullptr,
                                  nullptr, nullptr);
  api.wkeSetHandle(view_, window);
  EXPECT_EQ(api.wkeGetHostHWND(view_), window);
  api.wkeMoveToCenter(view_);
  RECT rect;
  ::GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 100) << "centring keeps the size";
  api.wkeSetTransparent(view_, 1);
  api.wkeSetFocus(view_);
  api.wkeKillFocus(view_);
  EXPECT_EQ(api.wkeIsInitialize(), 1);
  ::DestroyWindow(window);
}

}  // namespace
}  // namespace engine_test
