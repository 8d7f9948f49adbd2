#include "link/page_load_retry.h"

#include <atomic>
#include <cstdio>

#include "app/app_state.h"
#include "link/server_link.h"
#include "log/log_file.h"
#include "net/http_client.h"
#include "net/http_request.h"
#include "page/offline_screen.h"
#include "page/page_host.h"

namespace {

constexpr char kCategory[] = "载入页面";
constexpr DWORD kRetryStepMs = 1000;
constexpr int kRetrySteps = 5;
// The check that the page answers is short: a server that lets it wait is
// as good as down for the customer, and shutdown waits for the check.
constexpr long kCheckConnectMs = 3000;
constexpr long kCheckTotalMs = 5000;
constexpr long kFirstErrorStatus = 400;

std::atomic<bool> g_running{false};
std::atomic<bool> g_quit{false};
HANDLE g_thread = nullptr;

void LoadLog(const std::string& message) {
  // Nothing of a retry follows the shutdown's first line.
  if (!LinkStopping()) WriteLog(kCategory, message);
}

std::string ClockText() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char text[8];
  std::snprintf(text, sizeof(text), "%02u:%02u", now.wHour % 100u, now.wMinute % 100u);
  return text;
}

// Whether the page answers now, with why not in *why. The engine is asked to
// load the page only then: a load that fails brings up the engine's error
// page before the local screen can replace it.
bool PageAnswers(std::string* why) {
  HttpClient client;
  if (!client.initialised()) {
    *why = "no libcurl";
    return false;
  }
  client.SetUrl(App().page_url);
  client.SetSslVerify(false, false);
  client.SetTimeoutsMs(kCheckConnectMs, kCheckTotalMs);
  client.SetFollowLocation(true);
  client.SetUserAgent(kHttpUserAgent);
  CURLcode code = client.Perform();
  long status = client.GetResponseCode();
  if (code == CURLE_OK && status > 0 && status < kFirstErrorStatus) return true;
  *why = status > 0 ? "HTTP " + std::to_string(status)
                    : "no answer (curl " + std::to_string(static_cast<int>(code)) + ")";
  return false;
}

// False when the chain is to end (shutdown) during the pause.
bool Pause() {
  for (int step = 0; step < kRetrySteps; ++step) {
    if (g_quit) return false;
    ::Sleep(kRetryStepMs);
  }
  return !g_quit;
}

DWORD WINAPI RetryThread(void*) {
  bool answered = false;
  while (Pause()) {
    std::string why;
    answered = PageAnswers(&why);
    if (answered || g_quit) break;
    LoadLog("失败 code:" + why);
  }
  // Cleared before the load is asked for: its own failure starts a new chain.
  g_running = false;
  if (answered && !g_quit) {
    const AppState& app = App();
    ::SendMessageA(app.main_window, app.page_message, kPageReload, 0);
  }
  return 0;
}

}  // namespace

void OnPageLoadFailed(const std::string& reason) {
  LoadLog("失败 code:" + reason);
  const AppState& app = App();
  Host().Load(LocalScreenUrl(app.run_directory, ClockText()));
  bool idle = false;
  if (g_quit || !g_running.compare_exchange_strong(idle, true)) return;
  if (g_thread != nullptr) {
    // The previous chain has cleared its flag and at most still hands its
    // reload to this thread, which is answered while waiting.
    WaitHandlingSentMessages(g_thread);
    ::CloseHandle(g_thread);
    g_thread = nullptr;
  }
  if (!StartThread(RetryThread, nullptr, &g_thread)) g_running = false;
}

bool PageLoadRetryRunning() { return g_running; }

void StopPageLoadRetry(DWORD wait_ms) {
  g_quit = true;
  if (g_thread == nullptr) return;
  if (WaitHandlingSentMessages(g_thread, wait_ms)) {
    ::CloseHandle(g_thread);
    g_thread = nullptr;
  }
}
