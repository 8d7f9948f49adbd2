#include "link/server_link.h"

#include <atomic>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/config_file.h"
#include "app/main_window.h"
#include "app/status_file.h"
#include "ext/common_api.h"
#include "link/pack_client.h"
#include "link/page_load_retry.h"
#include "link/port_discovery.h"
#include "link/server_messages.h"
#include "log/log_file.h"
#include "page/console_report.h"
#include "page/engine_text.h"
#include "page/offline_screen.h"
#include "page/page_navigation.h"
#include "page/page_origin.h"
#include "util/fault_point.h"

namespace {

constexpr char kCategory[] = "客户通信";
constexpr DWORD kMaxPackSize = 0x300000;
constexpr DWORD kWatchdogPauseMs = 3000;
constexpr int kTcpPortKind = 1;
// The engine's load result for a navigation that did not go on.
constexpr int kLoadCancelled = 2;
// The till sends nothing after its login, so only keep-alive tells that a
// server vanished without a word (power loss, a cable, a NAT that forgot the
// flow). Probes start after 5 s of silence and go every 2 s; Windows gives up
// after 10 unanswered ones (5 + 10 x 2 = 25 s), Linux under Wine after 9. The
// library's defaults (60 s, then 20 s) would take about four minutes.
constexpr DWORD kKeepAliveTimeMs = 5000;
constexpr DWORD kKeepAliveIntervalMs = 2000;
// Code of the internal check that the link starts with a main window.
constexpr int kLinkWithoutWindow = 21;

PackClient g_client;
std::atomic<HP_Client> g_handle{nullptr};
HANDLE g_watchdog = nullptr;
std::atomic<bool> g_quit{false};
// Set together with g_quit; the watchdog's pause waits on it.
HANDLE g_wake = nullptr;
std::atomic<bool> g_stopping{false};
bool g_link_started = false;
// Held while a link event is logged and while the link is silenced, so no
// link line can follow the shutdown's first line.
std::mutex g_log_gate;

void ConnectIfStopped() {
  HP_Client handle = g_handle.load();
  if (handle == nullptr || g_client.GetState(handle) != HP_SS_STOPPED) return;
  if (g_quit) return;
  LinkLog("ReStart");
  std::string host = LoadedServerSettings().host;
  int port = GetPort(kTcpPortKind);
  g_client.Start(handle, host.c_str(), static_cast<USHORT>(port), false);
}

DWORD WINAPI WatchdogThread(void*) {
  while (!g_quit) {
    ConnectIfStopped();
    FaultPoint(FaultSite::kWatchdog);
    // The pause between looks ends at once when the link stops: a shutdown
    // (and the restart behind it) does not wait out the watchdog's sleep.
    if (::WaitForSingleObject(g_wake, kWatchdogPauseMs) == WAIT_OBJECT_0) return 0;
  }
  // The handle stays with StopLink, which waits on it and closes it once.
  return 0;
}

DWORD WINAPI StopClientThread(void* client) {
  g_client.Stop(static_cast<HP_Client>(client));
  return 0;
}

// Stops the client on a helper thread while this (GUI) thread keeps handling
// sent messages: a socket worker may be inside SendMessageA to the main
// window, and the library's Stop waits for that worker. False when the stop
// did not end in time (a worker is stuck, e.g. in a fatal error).
bool StopClientHandlingSentMessages(HP_Client handle, DWORD wait_ms) {
  HANDLE thread = nullptr;
  if (!StartThread(StopClientThread, handle, &thread)) {
    g_client.Stop(handle);
    return true;
  }
  bool ended = WaitHandlingSentMessages(thread, wait_ms);
  ::CloseHandle(thread);
  return ended;
}

}  // namespace

void LinkLog(const std::string& message) {
  std::lock_guard<std::mutex> hold(g_log_gate);
  if (g_stopping) return;
  WriteLog(kCategory, message);
}

void SilenceLink() {
  std::lock_guard<std::mutex> hold(g_log_gate);
  g_stopping = true;
}
bool LinkStopping() { return g_stopping; }

bool WaitHandlingSentMessages(HANDLE handle, DWORD wait_ms) {
  DWORD start = ::GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (wait_ms != INFINITE) {
      DWORD spent = ::GetTickCount() - start;
      if (spent >= wait_ms) return false;
      left = wait_ms - spent;
    }
    DWORD woke = ::MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (woke == WAIT_TIMEOUT) return false;
    if (woke != WAIT_OBJECT_0 + 1) return true;  // the handle, or a failed wait
    MSG message;
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void __cdecl OnPageLoaded(wkeWebView, void*, wkeString url, int result, wkeString reason) {
  auto get_string = Node().wkeGetStringW;
  // The local screen shown meanwhile is not the page: its loads start
  // nothing, log nothing and retry nothing.
  if (url && get_string && IsLocalScreenUrl(TextOf(get_string(url)))) return;
  bool foreign = result == 0 && !PageOnTrustedOrigin();
  StatusState(result == 0 && !foreign ? RunState::kPageLoaded : RunState::kOffline);
  if (foreign) {
    // Led away by something that did not ask (a redirect the engine followed
    // by itself): never counts as the page, and the page comes back the way
    // a failed load does.
    WriteLog("WKE", "OnLoaded foreign url:" + LoggedUrl(MainFrameUrl()) + " start page again");
    OnPageLoadFailed("foreign origin");
    return;
  }
  if (result != 0) {
    std::string why = (reason && get_string) ? TextOf(get_string(reason)) : "";
    // A navigation the program refused ends as a cancelled or aborted load
    // while the page stays as it was: nothing to bring back.
    bool refused = NavigationRefusedLately() &&
                   (result == kLoadCancelled || why.find("ABORTED") != std::string::npos);
    if (refused && g_link_started && PageOnTrustedOrigin()) return;
    OnPageLoadFailed(why);
    return;
  }
  if (g_link_started) return;
  g_link_started = true;
  WriteLog("载入完成");
  if (!StartLink()) {
    WriteLog(kCategory, "失败");
    CloseWindowAsync(App().main_window);
    return;
  }
  FaultPoint(FaultSite::kPageLoaded);
}

bool StartLink() {
  // Pushes reach the page through the main window; a link without one would
  // drop every message.
  LUMO_CHECK(App().main_window != nullptr, kLinkWithoutWindow);
  HP_Client handle = g_client.Create(false);
  if (handle == nullptr || handle == NoListenerClient()) return false;
  g_handle = handle;
  g_client.SetOnConnect(OnLinkConnect);
  g_client.SetOnReceive(OnLinkReceive);
  g_client.SetOnClose(OnLinkClose);
  g_client.SetMaxPackSize(handle, kMaxPackSize);
  g_client.SetKeepAliveTime(handle, kKeepAliveTimeMs);
  g_client.SetKeepAliveInterval(handle, kKeepAliveIntervalMs);
  if (g_wake == nullptr) g_wake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_wake == nullptr || !StartThread(WatchdogThread, nullptr, &g_watchdog)) {
    StopLink();
    return false;
  }
  return true;
}

void StopLink(DWORD watchdog_wait_ms, DWORD client_wait_ms) {
  SilenceLink();
  // The retry chain's page check uses libcurl, which shutdown releases next.
  StopPageLoadRetry(watchdog_wait_ms);
  g_quit = true;
  if (g_wake) ::SetEvent(g_wake);
  if (g_watchdog) {
    WaitHandlingSentMessages(g_watchdog, watchdog_wait_ms);
    ::CloseHandle(g_watchdog);
    g_watchdog = nullptr;
  }
  g_quit = false;
  if (g_wake) ::ResetEvent(g_wake);
  HP_Client handle = g_handle.exchange(nullptr);
  // A client whose stop did not end is left as it is: destroying it under a
  // worker still inside the library would be worse than leaving it to the
  // process's end, which follows.
  if (handle && StopClientHandlingSentMessages(handle, client_wait_ms))
    g_client.Destroy(handle, false);
  g_stopping = false;
}

En_HP_HandleResult __stdcall OnLinkConnect(HP_Client, HP_CONNID) {
  LinkLog("OnConnect:" + LoadedServerSettings().host);
  StatusLinkUp();
  auto make_message = Common()._fun_msg;
  HP_Client handle = g_handle.load();
  if (make_message == nullptr || handle == nullptr) return HP_HR_OK;
  const char* login = make_message("login", App().app_name.c_str(), App().pc_name.c_str(), nullptr);
  if (login != nullptr) g_client.Send(handle, login);
  FaultPoint(FaultSite::kSocketWorker);
  return HP_HR_OK;
}

En_HP_HandleResult __stdcall OnLinkClose(HP_Client, HP_CONNID, En_HP_SocketOperation,
                                         int error_code) {
  // The close that StopLink itself causes is not logged: "开始销毁" and
  // "销毁" stay the last two lines of a run.
  LinkLog("OnClose code:" + std::to_string(error_code));
  StatusLinkDown();
  return HP_HR_OK;
}
