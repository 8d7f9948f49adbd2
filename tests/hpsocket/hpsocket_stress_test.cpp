// The library under load and churn: stopping in the middle of a burst,
// stopping a connect in progress, freeing a client from its own callback, and
// thousands of connections without a leak of handles or memory.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
#include <psapi.h>  // needs windows.h first
// clang-format on
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/hpsocket/hpsocket_fixture.h"

namespace {

class HpSocketStressTest : public HpSocketTest {};

TEST_F(HpSocketStressTest, StopDuringABurstReturnsPromptlyAndDeliversNothingAfter) {
  RecordedClient rc;
  ASSERT_TRUE(hp.HP_Client_Start(rc.client, "127.0.0.1", peer.port(), FALSE));
  ASSERT_TRUE(peer.Accept());
  std::string burst;
  for (int i = 0; i < 20000; ++i) burst += PackHeader(200) + std::string(200, 'b');
  std::thread sender([&] { peer.SendRaw(burst); });  // fails once the client is gone
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 100));
  DWORD before = GetTickCount();
  EXPECT_TRUE(hp.HP_Client_Stop(rc.client));
  EXPECT_LT(GetTickCount() - before, 2000u);
  size_t received = events.Count(HpEvent::kReceive);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  EXPECT_EQ(events.Count(HpEvent::kClose), 1u);
  peer.CloseConnection();
  sender.join();
  Sleep(100);
  EXPECT_EQ(events.Count(HpEvent::kReceive), received);
  EXPECT_LT(received, 20000u);
}

// A listener whose accept queue is full: it ignores new connection requests,
// which leaves a client's connect pending.
struct FullListener {
  ~FullListener() {
    for (SOCKET s : fillers) closesocket(s);
  }
  bool Fill() {
    if (!peer.Listen(1)) return false;
    for (int i = 0; i < 4; ++i) {
      SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      u_long non_blocking = 1;
      ioctlsocket(s, FIONBIO, &non_blocking);
      sockaddr_in address = {};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(peer.port());
      connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
      fillers.push_back(s);
    }
    Sleep(200);  // let the fillers occupy the queue
    return true;
  }
  LoopbackPeer peer;
  std::vector<SOCKET> fillers;
};

TEST_F(HpSocketStressTest, StopAbortsASynchronousStartStillConnecting) {
  RecordedClient rc;
  FullListener full;
  ASSERT_TRUE(full.Fill());
  std::atomic<bool> started{true};
  DWORD before = GetTickCount();
  std::thread starter(
      [&] { started = hp.HP_Client_Start(rc.client, "127.0.0.1", full.peer.port(), FALSE); });
  Sleep(300);
  hp.HP_Client_Stop(rc.client);
  starter.join();
  DWORD elapsed = GetTickCount() - before;
  EXPECT_FALSE(started);
  EXPECT_LT(elapsed, 2000u);  // well before the connect time-out
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
}

TEST_F(HpSocketStressTest, SynchronousStartGivesUpAfterTheConnectTimeOut) {
  RecordedClient rc;
  FullListener full;
  ASSERT_TRUE(full.Fill());
  DWORD before = GetTickCount();
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "127.0.0.1", full.peer.port(), FALSE));
  DWORD elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 4500u);
  EXPECT_LT(elapsed, 6500u);
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_CONNECT_SERVER);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
}

TEST_F(HpSocketStressTest, DestroyFromInsideACallbackFreesAfterItReturns) {
  HP_TcpPackClientListener listener = hp.Create_HP_TcpPackClientListener();
  hp.HP_Set_FN_Client_OnReceive(listener, RecordReceive);
  hp.HP_Set_FN_Client_OnClose(listener, RecordClose);
  HP_TcpPackClient c = hp.Create_HP_TcpPackClient(listener);
  const HpSocketApi& api = hp;
  events.on_receive = [&api](HP_Client sender, const std::string&) {
    api.Destroy_HP_TcpPackClient(sender);
    return HP_HR_OK;
  };
  ASSERT_TRUE(hp.HP_Client_Start(c, "127.0.0.1", peer.port(), FALSE));
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(peer.SendFrame("bye"));
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  EXPECT_TRUE(peer.WaitClosed());
  Sleep(50);  // the worker frees the client after OnClose returns
  hp.Destroy_HP_TcpPackClientListener(listener);
  events.Clear();
}

struct ProcessCounts {
  DWORD handles = 0;         // next handle value, see NextHandleValue
  SIZE_T private_bytes = 0;  // committed private memory
};

// The value the next new handle gets. Freed handle slots are reused, so this
// climbs only while handles stay open; it works where the handle count API is
// missing (Wine reports none).
DWORD NextHandleValue() {
  HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(probe);
  return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(probe));
}

ProcessCounts Measure() {
  ProcessCounts counts;
  counts.handles = NextHandleValue();
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  counts.private_bytes = memory.PagefileUsage;
  return counts;
}

// One connection's whole life; odd rounds are ended by the peer, even ones by
// Stop, so both ways out of a connection are counted.
void OneConnection(const HpSocketApi& hp, HP_Client c, LoopbackPeer* peer, int round) {
  ASSERT_TRUE(hp.HP_Client_Start(c, "127.0.0.1", peer->port(), FALSE)) << "round " << round;
  ASSERT_TRUE(peer->Accept());
  ASSERT_TRUE(hp.HP_Client_Send(c, reinterpret_cast<const BYTE*>("login"), 5));
  std::string body;
  ASSERT_TRUE(peer->ReadFrame(&body));
  if (round % 2) {
    peer->CloseConnection();
    for (int i = 0; i < 500 && hp.HP_Client_GetState(c) != HP_SS_STOPPED; ++i) Sleep(1);
  } else {
    ASSERT_TRUE(hp.HP_Client_Stop(c));
    peer->CloseConnection();
  }
  ASSERT_EQ(hp.HP_Client_GetState(c), HP_SS_STOPPED);
}

TEST_F(HpSocketStressTest, ThousandsOfConnectionsLeakNothing) {
  RecordedClient rc;
  hp.HP_Set_FN_Client_OnReceive(rc.listener, nullptr);  // keep the recorder small
  hp.HP_Set_FN_Client_OnSend(rc.listener, nullptr);
  hp.HP_Set_FN_Client_OnPrepareConnect(rc.listener, nullptr);
  hp.HP_Set_FN_Client_OnConnect(rc.listener, nullptr);
  hp.HP_Set_FN_Client_OnClose(rc.listener, nullptr);
  for (int round = 0; round < 200; ++round) {
    ASSERT_NO_FATAL_FAILURE(OneConnection(hp, rc.client, &peer, round));
  }
  ProcessCounts before = Measure();
  const int kRounds = 2000;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_NO_FATAL_FAILURE(OneConnection(hp, rc.client, &peer, round));
  }
  ProcessCounts after = Measure();
  EXPECT_LE(after.handles, before.handles + 8) << before.handles << " -> " << after.handles;
  EXPECT_LE(after.private_bytes, before.private_bytes + 2 * 1024 * 1024)
      << before.private_bytes << " -> " << after.private_bytes;
}

TEST_F(HpSocketStressTest, CreatingAndDestroyingClientsLeaksNothing) {
  HP_TcpPackClientListener listener = hp.Create_HP_TcpPackClientListener();
  auto cycle = [&](int round) {
    HP_TcpPackClient c = hp.Create_HP_TcpPackClient(listener);
    ASSERT_NO_FATAL_FAILURE(OneConnection(hp, c, &peer, round));
    hp.Destroy_HP_TcpPackClient(c);
  };
  for (int round = 0; round < 100; ++round) ASSERT_NO_FATAL_FAILURE(cycle(round));
  ProcessCounts before = Measure();
  for (int round = 0; round < 1000; ++round) ASSERT_NO_FATAL_FAILURE(cycle(round));
  ProcessCounts after = Measure();
  hp.Destroy_HP_TcpPackClientListener(listener);
  EXPECT_LE(after.handles, before.handles + 8) << before.handles << " -> " << after.handles;
  EXPECT_LE(after.private_bytes, before.private_bytes + 2 * 1024 * 1024)
      << before.private_bytes << " -> " << after.private_bytes;
}

}  // namespace
