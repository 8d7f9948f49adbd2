// The program's wrapper over the TCP library, against a raw loopback peer.
#include "link/pack_client.h"

#include <gtest/gtest.h>

#include "tests/hpsocket/event_recorder.h"
#include "tests/hpsocket/loopback_peer.h"

namespace {

class PackClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EventRecorder::Get().Clear();
    ASSERT_TRUE(peer.Listen());
  }
  void TearDown() override {
    if (client != nullptr && client != NoListenerClient()) {
      wrapper.Stop(client);
      wrapper.Destroy(client, false);
    }
    EventRecorder::Get().Clear();
  }
  // The system's order of use: Create, the three callbacks, the pack limit.
  void CreateLikeTheLink() {
    client = wrapper.Create(false);
    ASSERT_NE(client, nullptr);
    ASSERT_NE(client, NoListenerClient());
    ASSERT_TRUE(wrapper.SetOnConnect(RecordConnect));
    ASSERT_TRUE(wrapper.SetOnReceive(RecordReceive));
    ASSERT_TRUE(wrapper.SetOnClose(RecordClose));
    wrapper.SetMaxPackSize(client, 0x300000);
  }
  PackClient wrapper;
  HP_Client client = nullptr;
  LoopbackPeer peer;
  EventRecorder& events = EventRecorder::Get();
};

TEST_F(PackClientTest, CallbacksNeedTheListenerThatCreateMakes) {
  EXPECT_FALSE(wrapper.SetOnConnect(RecordConnect));
  EXPECT_FALSE(wrapper.SetOnReceive(RecordReceive));
  EXPECT_FALSE(wrapper.SetOnClose(RecordClose));
  CreateLikeTheLink();
  EXPECT_EQ(wrapper.GetMaxPackSize(client), 0x300000u);
  EXPECT_EQ(wrapper.GetPackHeaderFlag(client), 0);
  EXPECT_EQ(wrapper.GetState(client), HP_SS_STOPPED);
}

TEST_F(PackClientTest, TheListenerIsSharedByLaterClients) {
  CreateLikeTheLink();
  HP_Client second = wrapper.Create(false);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(second, client);
  // Callbacks set once reach the second client too.
  ASSERT_TRUE(wrapper.Start(second, "127.0.0.1", peer.port(), false));
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(events.WaitFor(HpEvent::kConnect, 1));
  EXPECT_EQ(events.Events()[0].sender, second);
  wrapper.Stop(second);
  wrapper.Destroy(second, false);
}

TEST_F(PackClientTest, ConnectSendReceiveStopAsTheLinkDoes) {
  CreateLikeTheLink();
  ASSERT_TRUE(wrapper.Start(client, "127.0.0.1", peer.port(), false));
  ASSERT_TRUE(peer.Accept());
  EXPECT_EQ(wrapper.GetState(client), HP_SS_STARTED);
  EXPECT_TRUE(wrapper.IsConnected(client));
  ASSERT_TRUE(wrapper.Send(client, "login \xB5\xC7\xC2\xBC"));  // code page 936 bytes as they are
  std::string body;
  ASSERT_TRUE(peer.ReadFrame(&body));
  EXPECT_EQ(body, "login \xB5\xC7\xC2\xBC");
  ASSERT_TRUE(peer.SendFrame("{\"c\":\"sys\",\"a\":\"conn\"}"));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 1));
  EXPECT_EQ(events.Received()[0], "{\"c\":\"sys\",\"a\":\"conn\"}");
  EXPECT_TRUE(wrapper.Stop(client));
  EXPECT_EQ(wrapper.GetState(client), HP_SS_STOPPED);
  EXPECT_TRUE(events.WaitFor(HpEvent::kClose, 1));
}

TEST_F(PackClientTest, RefusedStartLeavesStateStoppedForTheWatchdog) {
  CreateLikeTheLink();
  EXPECT_FALSE(wrapper.Start(client, "127.0.0.1", UnusedLoopbackPort(), false));
  EXPECT_EQ(wrapper.GetState(client), HP_SS_STOPPED);
  EXPECT_EQ(wrapper.GetLastError(client), HP_SE_CONNECT_SERVER);
  EXPECT_FALSE(wrapper.GetLastErrorDesc(client).empty());
  // A zero port, as sent when discovery never succeeded, fails the same way.
  EXPECT_FALSE(wrapper.Start(client, "127.0.0.1", 0, false));
  EXPECT_EQ(wrapper.GetState(client), HP_SS_STOPPED);
}

TEST_F(PackClientTest, BindVariantsStartFromAnyLocalAddress) {
  CreateLikeTheLink();
  ASSERT_TRUE(wrapper.StartWithBindAddress(client, "127.0.0.1", peer.port(), false));
  ASSERT_TRUE(peer.Accept());
  wrapper.Stop(client);
  USHORT local = UnusedLoopbackPort();
  ASSERT_TRUE(
      wrapper.StartWithBindAddressAndLocalPort(client, "127.0.0.1", peer.port(), false, local));
  ASSERT_TRUE(peer.Accept());
  char address[32];
  int length = sizeof(address);
  USHORT port = 0;
  ASSERT_TRUE(wrapper.GetLocalAddress(client, address, &length, &port));
  EXPECT_EQ(port, local);
  length = sizeof(address);
  ASSERT_TRUE(wrapper.GetRemoteHost(client, address, &length, &port));
  EXPECT_EQ(port, peer.port());
}

TEST_F(PackClientTest, FurtherOperationsPassThrough) {
  CreateLikeTheLink();
  ASSERT_TRUE(wrapper.SetOnSend(RecordSend));
  ASSERT_TRUE(wrapper.SetOnPrepareConnect(RecordPrepare));
  ASSERT_TRUE(wrapper.SetOnHandShake(nullptr));
  wrapper.SetKeepAliveTime(client, 30000);
  wrapper.SetKeepAliveInterval(client, 5000);
  wrapper.SetSocketBufferSize(client, 8192);
  wrapper.SetFreeBufferPoolSize(client, 10);
  wrapper.SetFreeBufferPoolHold(client, 20);
  EXPECT_EQ(wrapper.GetKeepAliveTime(client), 30000u);
  EXPECT_EQ(wrapper.GetKeepAliveInterval(client), 5000u);
  EXPECT_EQ(wrapper.GetSocketBufferSize(client), 8192u);
  EXPECT_EQ(wrapper.GetFreeBufferPoolSize(client), 10u);
  EXPECT_EQ(wrapper.GetFreeBufferPoolHold(client), 20u);
  int extra = 0;
  wrapper.SetExtra(client, &extra);
  EXPECT_EQ(wrapper.GetExtra(client), &extra);

  ASSERT_TRUE(wrapper.Start(client, "127.0.0.1", peer.port(), false));
  ASSERT_TRUE(peer.Accept());
  EXPECT_TRUE(wrapper.HasStarted(client));
  EXPECT_NE(wrapper.GetConnectionID(client), 0u);
  ASSERT_TRUE(wrapper.SendPart(client, reinterpret_cast<const BYTE*>("xxabcxx"), 3, 2));
  WSABUF parts[2] = {{1, const_cast<char*>("[")}, {1, const_cast<char*>("]")}};
  ASSERT_TRUE(wrapper.SendPackets(client, parts, 2));
  std::string body;
  ASSERT_TRUE(peer.ReadFrame(&body));
  EXPECT_EQ(body, "abc");
  ASSERT_TRUE(peer.ReadFrame(&body));
  EXPECT_EQ(body, "[]");
  ASSERT_TRUE(events.WaitFor(HpEvent::kSend, 2));
  int pending = -1;
  ASSERT_TRUE(wrapper.GetPendingDataLength(client, &pending));
  EXPECT_EQ(pending, 0);
  ASSERT_TRUE(wrapper.PauseReceive(client, true));
  BOOL paused = FALSE;
  ASSERT_TRUE(wrapper.IsPauseReceive(client, &paused));
  EXPECT_TRUE(paused);
  EXPECT_FALSE(wrapper.SendSmallFile(client, "Z:\\no\\such\\file.bin", nullptr, nullptr));
}

TEST_F(PackClientTest, SecureClientIsCreatedButCannotStart) {
  CreateLikeTheLink();
  HP_Client secure = wrapper.Create(true);
  ASSERT_NE(secure, nullptr);
  EXPECT_FALSE(wrapper.SetupSSLContext(secure, 0, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(wrapper.StartSSLHandShake(secure));
  wrapper.CleanupSSLContext(secure);
  EXPECT_FALSE(wrapper.Start(secure, "127.0.0.1", peer.port(), false));
  EXPECT_EQ(wrapper.GetLastError(secure), HP_SE_SSL_ENV_NOT_READY);
  wrapper.Destroy(secure, true);
}

TEST_F(PackClientTest, ZeroAndNoListenerHandlesDoNothing) {
  wrapper.Destroy(nullptr, false);
  wrapper.Destroy(nullptr, true);
  wrapper.Destroy(NoListenerClient(), false);
  EXPECT_FALSE(wrapper.Start(nullptr, "127.0.0.1", peer.port(), false));
  EXPECT_FALSE(wrapper.Start(NoListenerClient(), "127.0.0.1", peer.port(), false));
  EXPECT_FALSE(wrapper.Send(NoListenerClient(), "x"));
  EXPECT_FALSE(wrapper.Stop(nullptr));
  EXPECT_EQ(wrapper.GetState(NoListenerClient()), HP_SS_STOPPED);
  EXPECT_FALSE(peer.Accept(100));
}

}  // namespace
