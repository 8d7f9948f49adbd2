#pragma once
// The back-office server's addresses: the configured web service, the check
// that the server answers, and the TCP port the server publishes over HTTP.
#include <cstdint>
#include <string>

// Kinds of GetPort.
inline constexpr int kConfiguredWebPort = 0;
inline constexpr int kServerTcpPort = 1;

// kConfiguredWebPort: the web port from config.ini, without a request.
// kServerTcpPort: the TCP port the server publishes, asked for at most once
// every ten minutes; three tries 3000 ms apart, then the last known port (0
// when none was ever found). Other kinds give 0. Only the link's watchdog
// thread asks for the TCP port.
int GetPort(int kind);

// scheme + host + ":" + configured web port; empty when that port is 0 or less.
std::string ConfigBaseUrl();

// True when a GET of ConfigBaseUrl() (redirects followed) ends with a status
// from 200 to 299.
bool ServerAnswers();

// Start-up's wait: ServerAnswers, then 3000 ms sleeps between further tries,
// until it answers. No limit and nothing logged.
void WaitForServer();

// Seams for tests: the uptime clock the cache reads and the sleep between
// tries (null restores UptimeMs and the real sleep).
using UptimeSource = int64_t (*)();
using SleepMs = void (*)(unsigned milliseconds);
void SetPortDiscoveryClockForTest(UptimeSource uptime, SleepMs sleep_ms);
// Forgets the cached TCP port and its time stamp.
void ResetPortCacheForTest();
