#include "page/page_navigation.h"

#include <atomic>

#include "app/app_state.h"
#include "log/log_file.h"
#include "page/engine_call.h"
#include "page/engine_text.h"
#include "page/page_host.h"
#include "page/page_origin.h"

namespace {

std::atomic<bool (*)(const std::string&)> g_is_local_screen{nullptr};
// How long after a refusal a failed load counts as that refusal's echo.
constexpr DWORD kRefusalEchoMs = 10000;
std::atomic<DWORD> g_last_refusal_tick{0};
std::atomic<bool> g_refused_once{false};

std::string UrlText(wkeString url) {
  return url ? TextOf(CallEngine(Node().wkeGetStringW, url)) : std::string();
}

bool IsLocalScreen(const std::string& url) {
  auto check = g_is_local_screen.load();
  return check != nullptr && check(url);
}

}  // namespace

bool __cdecl OnPageNavigation(wkeWebView, void*, int navigation_type, wkeString url) {
  std::string target = UrlText(url);
  if (IsTrustedOrigin(target) || IsLocalScreen(target)) return true;
  g_last_refusal_tick = ::GetTickCount();
  g_refused_once = true;
  LogRefusal("OnNavigation refused type:" + std::to_string(navigation_type) +
             " url:" + LoggedUrl(target));
  return false;
}

wkeWebView __cdecl OnPageCreateView(wkeWebView, void*, int navigation_type, wkeString url,
                                    const void*) {
  // A customer display has one window: a second one would cover the page or
  // open on the cashier's monitor, whatever it shows.
  LogRefusal("OnCreateView refused type:" + std::to_string(navigation_type) +
             " url:" + LoggedUrl(UrlText(url)));
  return nullptr;
}

bool NavigationRefusedLately() {
  return g_refused_once && ::GetTickCount() - g_last_refusal_tick.load() < kRefusalEchoMs;
}

void SetLocalScreenCheck(bool (*is_local_screen)(const std::string& url)) {
  g_is_local_screen = is_local_screen;
}

std::string MainFrameUrl() { return Host().GetURL(); }

bool PageOnTrustedOrigin() {
  if (Node().wkeGetURL == nullptr) return true;
  return IsTrustedOrigin(MainFrameUrl());
}
