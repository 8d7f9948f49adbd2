#include "link/port_discovery.h"

#include <windows.h>

#include <atomic>

#include "app/config_file.h"
#include "app/system_utils.h"
#include "log/text_encoding.h"
#include "net/http_request.h"

namespace {

constexpr char kTcpPortPath[] = "/api100.php?fun=port&name=tcp";
// How long a found TCP port is used without asking the server again.
constexpr int64_t kPortCacheMs = 600000;
constexpr int kPortTries = 3;
// Pause after each failed port try, and between server checks at start-up.
constexpr unsigned kRetryPauseMs = 3000;
constexpr int kHighestPort = 65535;

void RealSleep(unsigned milliseconds) { ::Sleep(milliseconds); }

std::atomic<UptimeSource> g_uptime{nullptr};
std::atomic<SleepMs> g_sleep{nullptr};

// Written only by the thread that asks for the TCP port (the link's watchdog).
std::atomic<int> g_cached_port{0};
std::atomic<int64_t> g_cached_at{0};

int64_t Now() {
  UptimeSource uptime = g_uptime.load();
  return uptime ? uptime() : UptimeMs();
}

void Pause(unsigned milliseconds) {
  SleepMs sleep_ms = g_sleep.load();
  (sleep_ms ? sleep_ms : RealSleep)(milliseconds);
}

// The leading decimal number of the answer; 0 when there is none or when it
// cannot be a TCP port (a truncated 70000 would send the link elsewhere).
int PortFromAnswer(const std::string& body) {
  int value = LeadingInteger(Utf8ToAnsi(body));
  return value > kHighestPort ? 0 : value;
}

bool CacheIsFresh(int64_t now) {
  int64_t stamp = g_cached_at.load();
  return g_cached_port.load() >= 1 && stamp != 0 && now - stamp < kPortCacheMs;
}

int AskServerForTcpPort() {
  std::string url = ConfigBaseUrl() + kTcpPortPath;
  for (int attempt = 0; attempt < kPortTries; ++attempt) {
    int port = PortFromAnswer(HttpRequest(url));
    if (port > 0) return port;
    Pause(kRetryPauseMs);
  }
  return 0;
}

int TcpPort() {
  int64_t now = Now();
  if (CacheIsFresh(now)) return g_cached_port.load();
  int port = AskServerForTcpPort();
  if (port > 0) g_cached_port.store(port);
  // Fresh also after a failure, so a port known before is kept for another
  // ten minutes instead of costing nine seconds on every reconnect.
  g_cached_at.store(now);
  return g_cached_port.load();
}

}  // namespace

int GetPort(int kind) {
  if (kind == kConfiguredWebPort) return LoadedServerSettings().web_port;
  if (kind == kServerTcpPort) return TcpPort();
  return 0;
}

std::string ConfigBaseUrl() {
  const ServerSettings& settings = LoadedServerSettings();
  if (settings.web_port <= 0) return std::string();
  return settings.scheme + settings.host + ":" + std::to_string(settings.web_port);
}

bool ServerAnswers() {
  int status = 0;
  HttpRequestWithRedirects(ConfigBaseUrl(), &status);
  return status >= 200 && status <= 299;
}

void WaitForServer() {
  while (!ServerAnswers()) Pause(kRetryPauseMs);
}

void SetPortDiscoveryClockForTest(UptimeSource uptime, SleepMs sleep_ms) {
  g_uptime.store(uptime);
  g_sleep.store(sleep_ms);
}

void ResetPortCacheForTest() {
  g_cached_port.store(0);
  g_cached_at.store(0);
}
