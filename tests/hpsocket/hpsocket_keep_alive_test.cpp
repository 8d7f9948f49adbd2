// Keep-alive: the values set on a client reach its connection's socket, so a
// peer that vanished without a word is noticed in the time they promise. The
// socket is the library's own; the test finds it among the process's handles
// by its address and reads the values back with the options Windows 10
// answers. Wine 8 does not answer the two timing options; there the idle time
// is read from the Linux side (Z:\proc\net\tcp: the keep-alive timer of the
// connection), and the interval is left to the dead-link test end to end.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/hpsocket/hpsocket_fixture.h"

namespace {

// Options of IPPROTO_TCP (ws2ipdef.h), in seconds; not in MinGW's headers.
constexpr int kTcpKeepIdle = 3;
constexpr int kTcpKeepInterval = 17;
// Socket handles are small multiples of four; far more than a test opens.
constexpr UINT_PTR kLastHandle = 1 << 16;

struct KeepAlive {
  int on = -1;
  int idle_s = -1;
  int interval_s = -1;
  int timer_s = -1;  // what is left of the idle time, from the Linux side
};

int PortOf(const sockaddr_in& address) { return ntohs(address.sin_port); }

// The socket of this process connected from local_port to peer_port.
SOCKET FindConnection(int local_port, int peer_port) {
  for (UINT_PTR value = 4; value < kLastHandle; value += 4) {
    SOCKET s = static_cast<SOCKET>(value);
    sockaddr_in local = {}, remote = {};
    int size = sizeof(local);
    if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &size) != 0) continue;
    size = sizeof(remote);
    if (getpeername(s, reinterpret_cast<sockaddr*>(&remote), &size) != 0) continue;
    if (PortOf(local) == local_port && PortOf(remote) == peer_port) return s;
  }
  return INVALID_SOCKET;
}

int IntOption(SOCKET s, int level, int name) {
  DWORD value = 0;
  int size = sizeof(value);
  if (getsockopt(s, level, name, reinterpret_cast<char*>(&value), &size) != 0) return -1;
  return static_cast<int>(value);
}

// The Linux view of the process's connections, as Wine shows Linux files.
constexpr char kLinuxConnections[] = "Z:\\proc\\net\\tcp";
constexpr int kTimerKeepAlive = 2;
constexpr int kTicksPerSecond = 100;

// Seconds left on the keep-alive timer of the connection from local_port to
// peer_port, rounded up; -1 when it cannot be read.
int KeepAliveTimerSeconds(int local_port, int peer_port) {
  std::ifstream table(kLinuxConnections);
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    unsigned slot, local_ip, local, remote_ip, remote, state, tx, rx, timer;
    unsigned long ticks;
    if (std::sscanf(line.c_str(), " %u: %x:%x %x:%x %x %x:%x %x:%lx", &slot, &local_ip, &local,
                    &remote_ip, &remote, &state, &tx, &rx, &timer, &ticks) != 10) {
      continue;
    }
    if (static_cast<int>(local) != local_port || static_cast<int>(remote) != peer_port) continue;
    if (static_cast<int>(timer) != kTimerKeepAlive) return -1;
    return static_cast<int>((ticks + kTicksPerSecond - 1) / kTicksPerSecond);
  }
  return -1;
}

class KeepAliveTest : public HpSocketTest {
 protected:
  // Connects a client with the given settings (none when time_ms is
  // negative) and reads the keep-alive of its socket.
  KeepAlive Connected(int time_ms, int interval_ms) {
    RecordedClient rc;
    if (time_ms >= 0) {
      hp.HP_TcpClient_SetKeepAliveTime(rc.client, static_cast<DWORD>(time_ms));
      hp.HP_TcpClient_SetKeepAliveInterval(rc.client, static_cast<DWORD>(interval_ms));
    }
    KeepAlive found;
    Connect(hp, rc.client, &peer);
    if (HasFatalFailure()) return found;
    char address[64];
    int length = sizeof(address);
    USHORT local_port = 0;
    EXPECT_TRUE(hp.HP_Client_GetLocalAddress(rc.client, address, &length, &local_port));
    SOCKET s = FindConnection(local_port, peer.port());
    EXPECT_NE(s, INVALID_SOCKET) << "no socket from port " << local_port;
    if (s != INVALID_SOCKET) {
      found.on = IntOption(s, SOL_SOCKET, SO_KEEPALIVE);
      found.idle_s = IntOption(s, IPPROTO_TCP, kTcpKeepIdle);
      found.interval_s = IntOption(s, IPPROTO_TCP, kTcpKeepInterval);
    }
    found.timer_s = KeepAliveTimerSeconds(local_port, peer.port());
    hp.HP_Client_Stop(rc.client);
    return found;
  }
};

// The idle time as Windows answers it, else as the Linux timer shows it.
void ExpectIdle(const KeepAlive& k, int idle_s) {
  if (k.idle_s >= 0) {
    EXPECT_EQ(k.idle_s, idle_s);
  } else {
    ASSERT_GE(k.timer_s, 0) << "neither Windows nor Linux shows the keep-alive time";
    // Just connected and idle: the timer runs from the full time down.
    EXPECT_LE(k.timer_s, idle_s);
    EXPECT_GT(k.timer_s, idle_s - 5);
  }
}

void ExpectInterval(const KeepAlive& k, int interval_s) {
  if (k.idle_s < 0) return;  // Wine: see the note at the top
  EXPECT_EQ(k.interval_s, interval_s);
}

TEST_F(KeepAliveTest, TheProgramsValuesReachTheSocket) {
  KeepAlive k = Connected(5000, 2000);
  EXPECT_EQ(k.on, 1);
  ExpectIdle(k, 5);
  ExpectInterval(k, 2);
}

TEST_F(KeepAliveTest, TheLibraryDefaultsReachTheSocketWhenNothingIsSet) {
  KeepAlive k = Connected(-1, -1);
  EXPECT_EQ(k.on, 1);
  ExpectIdle(k, 60);
  ExpectInterval(k, 20);
}

TEST_F(KeepAliveTest, ATimeOfZeroTurnsKeepAliveOff) {
  KeepAlive k = Connected(0, 2000);
  EXPECT_EQ(k.on, 0);
}

}  // namespace
