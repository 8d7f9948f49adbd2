// Navigation and new-window events as a host sees them, the calling
// document's own global as jsGetGlobal/jsGet read it, and a location the
// page cannot redefine.
#include <string>

#include "tests/node_engine/engine_harness.h"

namespace engine_test {
namespace {

// Only the low byte of the handler's bool counts: the bits above are noise.
constexpr unsigned kAllow = 0xFFFFFF01u;
constexpr unsigned kRefuse = 0xABCD00u;
constexpr int kLinkClick = 0;
constexpr int kReload = 3;
constexpr int kOther = 5;

struct Asked {
  int type;
  std::wstring url;
};

struct NavigationLog {
  std::vector<Asked> navigations;
  std::vector<Asked> windows;
  unsigned answer = kAllow;
  std::wstring refuse_prefix;  // refuses only URLs that start so, when not empty
  bool open_in_same_view = false;
  bool had_features = false;
};

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

unsigned __cdecl OnNavigation(wkeWebView, void* param, int type, wkeString url) {
  auto* log = static_cast<NavigationLog*>(param);
  std::wstring text = Text(Engine().wkeGetStringW(url));
  log->navigations.push_back({type, text});
  if (!log->refuse_prefix.empty()) return text.rfind(log->refuse_prefix, 0) == 0 ? kRefuse : kAllow;
  return log->answer;
}

wkeWebView __cdecl OnCreateView(wkeWebView view, void* param, int type, wkeString url,
                                const wkeWindowFeatures* features) {
  auto* log = static_cast<NavigationLog*>(param);
  log->windows.push_back({type, Text(Engine().wkeGetStringW(url))});
  log->had_features = features != nullptr;
  return log->open_in_same_view ? view : nullptr;
}

class NavigationTest : public EngineTest {
 protected:
  void Watch() { api.wkeOnNavigation(view_, &OnNavigation, &log_); }
  bool WaitForLoads(size_t count) {
    return PumpUntil([&] { return recorder_.loads.size() >= count; }, 10000);
  }
  std::string Url() { return api.wkeGetURL(view_); }
  void Click(int x, int y) {
    api.wkeFireMouseEvent(view_, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    api.wkeFireMouseEvent(view_, WM_LBUTTONUP, x, y, 0);
  }
  // Navigations ask synchronously; a refused one must also load nothing
  // later, which this much pumping would show.
  void ExpectNothingLoads(size_t loads_before) {
    PumpFor(800);
    EXPECT_EQ(recorder_.loads.size(), loads_before) << "a cancelled navigation raised a load";
    EXPECT_EQ(Run(L"typeof marker === 'string' ? marker : 'gone'"), L"nav page");
    EXPECT_EQ(Url(), ServerUrlA("/nav.html"));
  }
  NavigationLog log_;
};

TEST_F(NavigationTest, TheHostsOwnLoadIsAskedAndCanBeCancelled) {
  Watch();
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  ASSERT_EQ(log_.navigations.size(), 1u);
  EXPECT_EQ(log_.navigations[0].type, kOther);
  EXPECT_EQ(log_.navigations[0].url, ServerUrl(L"/nav.html"));
  EXPECT_EQ(Url(), ServerUrlA("/nav.html"));

  log_.answer = kRefuse;
  api.wkeLoadW(view_, ServerUrl(L"/plain.html").c_str());
  ASSERT_EQ(log_.navigations.size(), 2u) << "asked before the load starts";
  EXPECT_EQ(log_.navigations[1].url, ServerUrl(L"/plain.html"));
  ExpectNothingLoads(1);
}

TEST_F(NavigationTest, ScriptNavigationsAreOtherAndCanBeCancelled) {
  Watch();
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  log_.answer = kRefuse;
  const wchar_t* scripts[] = {
      L"location.href = 'plain.html?a'",         L"location = 'plain.html?b'",
      L"location.assign('plain.html?c')",        L"location.replace('plain.html?d')",
      L"window.location.href = '/plain.html?e'", L"document.location = 'plain.html?f'"};
  const wchar_t* queries[] = {L"a", L"b", L"c", L"d", L"e", L"f"};
  for (size_t i = 0; i < 6; ++i) {
    size_t before = log_.navigations.size();
    Run(scripts[i]);
    ASSERT_EQ(log_.navigations.size(), before + 1) << scripts[i];
    EXPECT_EQ(log_.navigations.back().type, kOther) << scripts[i];
    EXPECT_EQ(log_.navigations.back().url, ServerUrl(L"/plain.html?") + queries[i]);
  }
  ExpectNothingLoads(1);

  log_.answer = kAllow;
  Run(L"location.href = 'plain.html?a'");
  ASSERT_TRUE(WaitForLoads(2));
  EXPECT_EQ(recorder_.loads.back().result, 0);
  EXPECT_EQ(Url(), ServerUrlA("/plain.html?a"));
}

TEST_F(NavigationTest, ReloadIsAskedAsReload) {
  Watch();
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  log_.answer = kRefuse;
  Run(L"location.reload()");
  ASSERT_EQ(log_.navigations.size(), 2u);
  EXPECT_EQ(log_.navigations.back().type, kReload);
  EXPECT_EQ(log_.navigations.back().url, ServerUrl(L"/nav.html"));
  ExpectNothingLoads(1);
  log_.answer = kAllow;
  Run(L"marker = 'changed'; location.reload()");
  ASSERT_TRUE(WaitForLoads(2));
  EXPECT_EQ(Run(L"marker"), L"nav page") << "the reload made a new document";
}

TEST_F(NavigationTest, AMouseClickOnALinkIsALinkClick) {
  Watch();
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  log_.answer = kRefuse;
  Click(300, 250);  // nothing there
  Click(20, 125);   // a link whose click the page prevents
  EXPECT_EQ(log_.navigations.size(), 1u);
  Click(20, 45);
  ASSERT_EQ(log_.navigations.size(), 2u);
  EXPECT_EQ(log_.navigations.back().type, kLinkClick);
  EXPECT_EQ(log_.navigations.back().url, ServerUrl(L"/plain.html?clicked"));
  ExpectNothingLoads(1);

  log_.answer = kAllow;
  Click(20, 45);
  ASSERT_TRUE(WaitForLoads(2));
  EXPECT_EQ(Url(), ServerUrlA("/plain.html?clicked"));
}

TEST_F(NavigationTest, EachRedirectHopIsAskedAndAHopToAnotherOriginCanBeRefused) {
  Watch();
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  std::wstring target = OtherServerUrl(L"/plain.html");
  std::wstring start = ServerUrl(L"/redirect?to=") + target;
  log_.refuse_prefix = OtherServerUrl(L"");
  api.wkeLoadW(view_, start.c_str());
  ASSERT_TRUE(WaitForLoads(2));
  ASSERT_EQ(log_.navigations.size(), 3u);
  EXPECT_EQ(log_.navigations[1].url, start);
  EXPECT_EQ(log_.navigations[2].type, kOther);
  EXPECT_EQ(log_.navigations[2].url, target);
  EXPECT_EQ(recorder_.loads.back().result, 2) << "a refused hop ends the load as cancelled";
  EXPECT_EQ(recorder_.loads.back().url, target);
  EXPECT_EQ(Run(L"marker"), L"nav page") << "the current document stays";
  EXPECT_EQ(Url(), ServerUrlA("/nav.html"));

  log_.refuse_prefix.clear();
  api.wkeLoadW(view_, start.c_str());
  ASSERT_TRUE(WaitForLoads(3));
  EXPECT_EQ(log_.navigations.back().url, target);
  EXPECT_EQ(recorder_.loads.back().result, 0);
  EXPECT_EQ(recorder_.loads.back().url, target);
  EXPECT_EQ(Url(), Narrow(target));
  EXPECT_EQ(Run(L"serverJS('origin')"), OtherServerUrl(L""));
}

TEST_F(NavigationTest, BoundCallsReadTheCallingDocumentsOrigin) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  EXPECT_EQ(Run(L"serverJS('origin')"), ServerUrl(L""));
  ASSERT_EQ(recorder_.caller_views.size(), 1u);
  EXPECT_EQ(recorder_.caller_views[0], view_);
  std::wstring port = ServerUrl(L"").substr(17);
  ASSERT_TRUE(LoadAndWait(L"http://LocalHost:" + port + L"/nav.html"));
  EXPECT_EQ(Run(L"serverJS('origin')"), L"http://localhost:" + port);

  jsExecState state = api.wkeGlobalExec(view_);
  jsValue global = api.jsGlobalObject(state);
  EXPECT_EQ(Text(api.jsToTempStringW(state, api.jsGet(state, global, "marker"))), L"nav page");
  jsValue location = api.jsGet(state, global, "location");
  // The host's case stays in href here (a browser would lower it); the origin is lowered.
  EXPECT_EQ(Text(api.jsToTempStringW(state, api.jsGet(state, location, "href"))),
            L"http://LocalHost:" + port + L"/nav.html");
  EXPECT_EQ(Text(api.jsToTempStringW(state, api.jsGetGlobal(state, "missingName"))), L"undefined");
}

TEST_F(NavigationTest, ThePageCannotRedefineLocation) {
  Watch();
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  log_.answer = kRefuse;  // assignments that navigate are asked and refused
  const wchar_t* attempts[] = {
      L"Object.defineProperty(window, 'location', {value: {origin: 'http://evil.example'}})",
      L"Object.defineProperty(location, 'origin', {get: function () { return "
      L"'http://evil.example'; }})",
      L"location.origin = 'http://evil.example'",
      L"(function () { 'use strict'; location.origin = 'http://evil.example'; })()",
      L"delete window.location; delete location.origin",
      L"window.location = {origin: 'http://evil.example', toString: function () { return 'x'; }}",
      L"Object.defineProperty(location, 'href', {value: 'http://evil.example/'})",
      L"Object.setPrototypeOf(location, {origin: 'http://evil.example'})",
      L"Object.defineProperty(this, 'location', {get: function () { return {origin: 'x'}; }})",
      L"var location = {origin: 'http://evil.example'}",
      L"location.__proto__ = null; Object.prototype.origin = 'http://evil.example'",
  };
  for (const wchar_t* attempt : attempts) {
    Run(std::wstring(L"try { ") + attempt + L" } catch (e) {}");
    EXPECT_EQ(Run(L"serverJS('origin')"), ServerUrl(L"")) << attempt;
    EXPECT_EQ(Run(L"location.origin + ' ' + location.href"),
              ServerUrl(L"") + L" " + ServerUrl(L"/nav.html"))
        << attempt;
  }
  EXPECT_GE(log_.navigations.size(), 2u) << "assigning location asked to navigate";
  ExpectNothingLoads(1);
}

TEST_F(NavigationTest, WindowOpenAsksTheNewViewHandler) {
  Watch();
  api.wkeOnCreateView(view_, &OnCreateView, &log_);
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  EXPECT_EQ(Run(L"String(window.open('popup.html?w'))"), L"null");
  ASSERT_EQ(log_.windows.size(), 1u);
  EXPECT_EQ(log_.windows[0].type, kOther);
  EXPECT_EQ(log_.windows[0].url, ServerUrl(L"/popup.html?w"));
  EXPECT_TRUE(log_.had_features);
  Click(20, 85);  // the target=_blank link
  ASSERT_EQ(log_.windows.size(), 2u);
  EXPECT_EQ(log_.windows[1].type, kLinkClick);
  EXPECT_EQ(log_.windows[1].url, ServerUrl(L"/popup.html?from=link"));
  EXPECT_EQ(log_.navigations.size(), 1u) << "a window nobody opened navigates nowhere";
  ExpectNothingLoads(1);
  EXPECT_TRUE(recorder_.caller_origins.empty()) << "no popup ran anywhere";

  log_.open_in_same_view = true;
  std::wstring other = OtherServerUrl(L"/popup.html");
  Run(L"window.open('" + other + L"')");
  ASSERT_EQ(log_.navigations.size(), 2u) << "the view's navigation event is asked too";
  EXPECT_EQ(log_.navigations.back().url, other);
  ASSERT_TRUE(WaitForLoads(2));
  EXPECT_EQ(Url(), Narrow(other));
  ASSERT_EQ(recorder_.caller_origins.size(), 1u);
  EXPECT_EQ(recorder_.caller_origins[0], OtherServerUrl(L""));
  EXPECT_EQ(recorder_.caller_views[0], view_);
}

TEST_F(NavigationTest, WithoutANewViewHandlerTheWindowOpensInAViewOfItsOwn) {
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  Run(L"window.open('" + OtherServerUrl(L"/popup.html") + L"')");
  ASSERT_TRUE(PumpUntil([&] { return !recorder_.caller_origins.empty(); }, 10000));
  EXPECT_EQ(recorder_.caller_origins[0], OtherServerUrl(L""));
  EXPECT_NE(recorder_.caller_views[0], nullptr);
  EXPECT_NE(recorder_.caller_views[0], view_);
  EXPECT_EQ(Url(), ServerUrlA("/nav.html"));
  EXPECT_EQ(recorder_.loads.size(), 1u);

  api.wkeSetNavigationToNewWindowEnable(view_, 0xFFFFFF00u);  // low byte 0: off
  Run(L"window.open('" + OtherServerUrl(L"/popup.html") + L"')");
  ASSERT_TRUE(WaitForLoads(2));
  EXPECT_EQ(Url(), Narrow(OtherServerUrl(L"/popup.html")));
  ASSERT_TRUE(PumpUntil([&] { return recorder_.caller_views.size() >= 2; }, 10000));
  EXPECT_EQ(recorder_.caller_views.back(), view_);
}

TEST_F(NavigationTest, AnIframeIsADocumentOfItsOwnAndItsCallsSayItsOrigin) {
  Watch();
  std::wstring framed = OtherServerUrl(L"/popup.html");
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/frame?src=") + framed));
  ASSERT_TRUE(PumpUntil([&] { return !recorder_.caller_origins.empty(); }, 10000));
  EXPECT_EQ(recorder_.caller_origins[0], OtherServerUrl(L"")) << "the frame's own global";
  EXPECT_EQ(recorder_.caller_views[0], view_);
  EXPECT_EQ(log_.navigations.size(), 1u) << "a frame's load is not a top-level navigation";
  EXPECT_EQ(Run(L"serverJS('origin')"), ServerUrl(L"")) << "the parent's calls keep its origin";
  EXPECT_EQ(Run(L"marker"), L"frame parent");
  EXPECT_EQ(Url(), Narrow(ServerUrl(L"/frame?src=") + framed));

  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/frame?src=/popup.html")));
  ASSERT_TRUE(PumpUntil([&] { return recorder_.caller_origins.size() >= 3; }, 10000));
  EXPECT_EQ(recorder_.caller_origins[2], ServerUrl(L"")) << "a same-origin frame";
}

TEST_F(NavigationTest, MainFrameHandleAndUrl) {
  void* frame = api.wkeWebFrameGetMainFrame(view_);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(api.wkeIsMainFrame(view_, frame), 1);
  EXPECT_EQ(api.wkeIsMainFrame(view_, &frame), 0);
  ASSERT_TRUE(LoadAndWait(ServerUrl(L"/nav.html")));
  EXPECT_EQ(api.wkeWebFrameGetMainFrame(view_), frame) << "the handle outlives documents";
  EXPECT_EQ(std::string(api.wkeGetFrameUrl(view_, frame)), ServerUrlA("/nav.html"));
  EXPECT_EQ(Url(), ServerUrlA("/nav.html"));
}

}  // namespace
}  // namespace engine_test
