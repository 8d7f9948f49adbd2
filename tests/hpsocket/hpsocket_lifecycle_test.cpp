// The library's connection life against a raw loopback peer: closing,
// stopping (also from inside a callback), pausing, addresses, binding, the
// secure client and null handles.
#include <gtest/gtest.h>

#include "tests/hpsocket/hpsocket_fixture.h"

namespace {

TEST_F(HpSocketTest, PeerCloseEndsStoppedAndRestartGetsNewConnection) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  HP_CONNID first = hp.HP_Client_GetConnectionID(rc.client);
  peer.CloseConnection();
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  HpEvent close;
  ASSERT_TRUE(events.FirstClose(&close));
  EXPECT_EQ(close.operation, HP_SO_CLOSE);
  EXPECT_EQ(close.error, 0);
  for (int i = 0; i < 100 && hp.HP_Client_GetState(rc.client) != HP_SS_STOPPED; ++i) Sleep(10);
  ASSERT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  EXPECT_FALSE(hp.HP_Client_Stop(rc.client));  // nothing left to stop
  Connect(hp, rc.client, &peer);
  EXPECT_NE(hp.HP_Client_GetConnectionID(rc.client), first);
  ASSERT_TRUE(peer.SendFrame("again"));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 1));
}

TEST_F(HpSocketTest, StopReportsCloseAndStopsTheConnection) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  EXPECT_TRUE(hp.HP_Client_Stop(rc.client));
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  EXPECT_FALSE(hp.HP_Client_IsConnected(rc.client));
  HpEvent close;
  ASSERT_TRUE(events.FirstClose(&close));  // already there: Stop waited for it
  EXPECT_EQ(close.operation, HP_SO_CLOSE);
  EXPECT_TRUE(peer.WaitClosed());
  EXPECT_FALSE(hp.HP_Client_Stop(rc.client));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_ILLEGAL_STATE);
}

TEST_F(HpSocketTest, StopFromInsideReceiveDoesNotDeadlock) {
  RecordedClient rc;
  const HpSocketApi& api = hp;
  events.on_receive = [&api](HP_Client c, const std::string& body) {
    EXPECT_TRUE(api.HP_Client_Stop(c));
    return HP_HR_OK;
  };
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(peer.SendRaw(PackHeader(1) + "a" + PackHeader(1) + "b"));
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  // The second body, already in the same segment, is not delivered after Stop.
  EXPECT_EQ(events.Received(), std::vector<std::string>{"a"});
  HpEvent close;
  ASSERT_TRUE(events.FirstClose(&close));
  EXPECT_EQ(close.operation, HP_SO_CLOSE);
  EXPECT_TRUE(peer.WaitClosed());
  for (int i = 0; i < 100 && hp.HP_Client_GetState(rc.client) != HP_SS_STOPPED; ++i) Sleep(10);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
}

TEST_F(HpSocketTest, ReceiveHandlerErrorClosesTheConnection) {
  RecordedClient rc;
  events.on_receive = [](HP_Client, const std::string&) { return HP_HR_ERROR; };
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(peer.SendFrame("x"));
  ExpectClosedWith(hp, rc.client, &peer, HP_SO_RECEIVE, ERROR_CANCELLED);
}

TEST_F(HpSocketTest, ConnectHandlerErrorClosesTheConnection) {
  RecordedClient rc;
  events.on_connect = [](HP_Client) { return HP_HR_ERROR; };
  ASSERT_TRUE(hp.HP_Client_Start(rc.client, "127.0.0.1", peer.port(), FALSE));
  ASSERT_TRUE(peer.Accept());
  ExpectClosedWith(hp, rc.client, &peer, HP_SO_CONNECT, ERROR_CANCELLED);
}

TEST_F(HpSocketTest, PausedClientDeliversNothingUntilResumed) {
  RecordedClient rc;
  const HpSocketApi& api = hp;
  events.on_connect = [&api](HP_Client c) {
    api.HP_Client_PauseReceive(c, TRUE);
    return HP_HR_OK;
  };
  Connect(hp, rc.client, &peer);
  BOOL paused = FALSE;
  ASSERT_TRUE(hp.HP_Client_IsPauseReceive(rc.client, &paused));
  EXPECT_TRUE(paused);
  ASSERT_TRUE(peer.SendFrame("one"));
  ASSERT_TRUE(peer.SendFrame("two"));
  Sleep(200);
  EXPECT_EQ(events.Count(HpEvent::kReceive), 0u);
  ASSERT_TRUE(hp.HP_Client_PauseReceive(rc.client, FALSE));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 2));
  EXPECT_EQ(events.Received(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(HpSocketTest, AddressesAndTooSmallBuffers) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  char buf[64];
  int length = sizeof(buf);
  USHORT port = 0;
  ASSERT_TRUE(hp.HP_Client_GetRemoteHost(rc.client, buf, &length, &port));
  EXPECT_STREQ(buf, "127.0.0.1");
  EXPECT_EQ(length, 10);
  EXPECT_EQ(port, peer.port());
  length = sizeof(buf);
  ASSERT_TRUE(hp.HP_Client_GetLocalAddress(rc.client, buf, &length, &port));
  EXPECT_STREQ(buf, "127.0.0.1");
  EXPECT_NE(port, 0);
  length = 9;  // one short of the NUL
  EXPECT_FALSE(hp.HP_Client_GetLocalAddress(rc.client, buf, &length, &port));
  EXPECT_EQ(length, 10);
}

TEST_F(HpSocketTest, BindToLocalPort) {
  RecordedClient rc;
  USHORT local = UnusedLoopbackPort();
  ASSERT_TRUE(hp.HP_Client_StartWithBindAddressAndLocalPort(rc.client, "127.0.0.1", peer.port(),
                                                            FALSE, "0.0.0.0", local));
  ASSERT_TRUE(peer.Accept());
  char buf[32];
  int length = sizeof(buf);
  USHORT port = 0;
  ASSERT_TRUE(hp.HP_Client_GetLocalAddress(rc.client, buf, &length, &port));
  EXPECT_EQ(port, local);
  hp.HP_Client_Stop(rc.client);
  EXPECT_FALSE(hp.HP_Client_StartWithBindAddress(rc.client, "127.0.0.1", peer.port(), FALSE,
                                                 "not-an-address.invalid"));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_SOCKET_BIND);
}

TEST_F(HpSocketTest, SecureClientReportsNoSslEnvironment) {
  HP_TcpPackClientListener listener = hp.Create_HP_TcpPackClientListener();
  HP_SSLPackClient c = hp.Create_HP_SSLPackClient(listener);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(hp.HP_Client_IsSecure(c));
  EXPECT_FALSE(hp.HP_SSLClient_SetupSSLContext(c, 0, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(hp.HP_Client_Start(c, "127.0.0.1", peer.port(), FALSE));
  EXPECT_EQ(hp.HP_Client_GetLastError(c), HP_SE_SSL_ENV_NOT_READY);
  EXPECT_FALSE(hp.HP_SSLClient_StartSSLHandShake(c));
  hp.HP_SSLClient_CleanupSSLContext(c);
  hp.Destroy_HP_SSLPackClient(c);
  hp.Destroy_HP_TcpPackClientListener(listener);
}

TEST_F(HpSocketTest, NullHandlesFailInsteadOfCrashing) {
  EXPECT_EQ(hp.Create_HP_TcpPackClient(nullptr), nullptr);
  EXPECT_FALSE(hp.HP_Client_Start(nullptr, "127.0.0.1", peer.port(), FALSE));
  EXPECT_FALSE(hp.HP_Client_Send(nullptr, reinterpret_cast<const BYTE*>("x"), 1));
  EXPECT_EQ(hp.HP_Client_GetState(nullptr), HP_SS_STOPPED);
  hp.Destroy_HP_TcpPackClient(nullptr);
  hp.HP_Set_FN_Client_OnConnect(nullptr, RecordConnect);
}

}  // namespace
