// The library against a raw loopback peer: framing, limits, callbacks, state
// and the calls around them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/hpsocket/hpsocket_fixture.h"

namespace {

TEST_F(HpSocketTest, EveryFunctionIsExportedUnderItsPlainName) {
#define EXPECT_EXPORTED(name, type) EXPECT_NE(hp.name, nullptr) << #name;
  HPSOCKET_DLL_FUNCTIONS(EXPECT_EXPORTED)
#undef EXPECT_EXPORTED
}

TEST_F(HpSocketTest, DefaultsAndSettingsRoundTrip) {
  RecordedClient rc;
  EXPECT_EQ(hp.HP_TcpPackClient_GetMaxPackSize(rc.client), 0x40000u);
  EXPECT_EQ(hp.HP_TcpPackClient_GetPackHeaderFlag(rc.client), 0);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, kProgramMaxPack);
  EXPECT_EQ(hp.HP_TcpPackClient_GetMaxPackSize(rc.client), kProgramMaxPack);
  hp.HP_TcpClient_SetKeepAliveTime(rc.client, 1234);
  EXPECT_EQ(hp.HP_TcpClient_GetKeepAliveTime(rc.client), 1234u);
  int marker = 0;
  hp.HP_Client_SetExtra(rc.client, &marker);
  EXPECT_EQ(hp.HP_Client_GetExtra(rc.client), &marker);
  EXPECT_FALSE(hp.HP_Client_IsSecure(rc.client));
}

TEST_F(HpSocketTest, OutOfRangeSettingsFailStartAsInvalidParameter) {
  RecordedClient rc;
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, 0x400000);
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "127.0.0.1", peer.port(), FALSE));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_INVALID_PARAM);
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, 0x3FFFFF);
  hp.HP_TcpPackClient_SetPackHeaderFlag(rc.client, 0x400);
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "127.0.0.1", peer.port(), FALSE));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_INVALID_PARAM);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  EXPECT_FALSE(peer.Accept(200));  // nothing was even attempted
  hp.HP_TcpPackClient_SetPackHeaderFlag(rc.client, 0x3FF);
  EXPECT_TRUE(hp.HP_Client_Start(rc.client, "127.0.0.1", peer.port(), FALSE));
}

TEST_F(HpSocketTest, RefusedSynchronousConnectFailsAndEndsStopped) {
  RecordedClient rc;
  USHORT port = UnusedLoopbackPort();
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "127.0.0.1", port, FALSE));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_CONNECT_SERVER);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  EXPECT_EQ(events.Count(HpEvent::kConnect), 0u);
  EXPECT_EQ(events.Count(HpEvent::kClose), 0u);
  EXPECT_EQ(events.Count(HpEvent::kPrepare), 1u);
  // And it can be started again afterwards.
  Connect(hp, rc.client, &peer);
}

TEST_F(HpSocketTest, RefusedAsynchronousConnectReportsCloseOnConnect) {
  RecordedClient rc;
  ASSERT_TRUE(hp.HP_Client_Start(rc.client, "127.0.0.1", UnusedLoopbackPort(), TRUE));
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  HpEvent close;
  ASSERT_TRUE(events.FirstClose(&close));
  EXPECT_EQ(close.operation, HP_SO_CONNECT);
  EXPECT_NE(close.error, 0);
  for (int i = 0; i < 100 && hp.HP_Client_GetState(rc.client) != HP_SS_STOPPED; ++i) Sleep(10);
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
}

TEST_F(HpSocketTest, UnresolvableHostIsInvalidParameter) {
  RecordedClient rc;
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "", peer.port(), FALSE));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_INVALID_PARAM);
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, nullptr, peer.port(), FALSE));
}

TEST_F(HpSocketTest, ConnectCallbacksRunOnTheWorkerBeforeSyncStartReturns) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  ASSERT_EQ(events.Count(HpEvent::kConnect), 1u);
  std::vector<HpEvent> all = events.Events();
  EXPECT_EQ(all[0].kind, HpEvent::kPrepare);
  EXPECT_EQ(all[1].kind, HpEvent::kConnect);
  EXPECT_EQ(all[1].sender, rc.client);
  EXPECT_EQ(all[1].id, hp.HP_Client_GetConnectionID(rc.client));
  EXPECT_NE(all[1].thread, GetCurrentThreadId());
  EXPECT_TRUE(hp.HP_Client_IsConnected(rc.client));
  EXPECT_TRUE(hp.HP_Client_HasStarted(rc.client));
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "127.0.0.1", peer.port(), FALSE));
  EXPECT_EQ(hp.HP_Client_GetLastError(rc.client), HP_SE_ILLEGAL_STATE);
}

TEST_F(HpSocketTest, ReceivesOneByteAndLargestBody) {
  RecordedClient rc;
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, kProgramMaxPack);
  Connect(hp, rc.client, &peer);
  std::string big(kProgramMaxPack, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
  ASSERT_TRUE(peer.SendFrame("x"));
  ASSERT_TRUE(peer.SendFrame(big));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 2));
  std::vector<std::string> got = events.Received();
  EXPECT_EQ(got[0], "x");
  EXPECT_TRUE(got[1] == big) << "size " << got[1].size();
  EXPECT_EQ(events.Count(HpEvent::kClose), 0u);
}

TEST_F(HpSocketTest, BodyAboveTheLimitClosesWithBadLength) {
  RecordedClient rc;
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, kProgramMaxPack);
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(peer.SendFrame("before"));
  // Only the header: the client must refuse without waiting for the body.
  ASSERT_TRUE(peer.SendRaw(PackHeader(kProgramMaxPack + 1)));
  ExpectClosedWith(hp, rc.client, &peer, HP_SO_RECEIVE, 24);
  EXPECT_EQ(events.Received(), std::vector<std::string>{"before"});
}

TEST_F(HpSocketTest, DefaultLimitApplies) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(peer.SendFrame(std::string(0x40000, 'a')));
  ASSERT_TRUE(peer.SendFrame(std::string(0x40001, 'b')));
  ExpectClosedWith(hp, rc.client, &peer, HP_SO_RECEIVE, 24);
  EXPECT_EQ(events.Count(HpEvent::kReceive), 1u);
}

TEST_F(HpSocketTest, ZeroLengthBodyClosesWithBadLength) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(peer.SendRaw(PackHeader(0)));
  ExpectClosedWith(hp, rc.client, &peer, HP_SO_RECEIVE, 24);
  EXPECT_EQ(events.Count(HpEvent::kReceive), 0u);
}

TEST_F(HpSocketTest, HeaderSplitAcrossSegmentsAndOneByteAtATime) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  std::string frame = PackHeader(5) + "hello";
  ASSERT_TRUE(peer.SendRaw(frame.substr(0, 2)));
  Sleep(30);
  ASSERT_TRUE(peer.SendRaw(frame.substr(2, 4)));
  Sleep(30);
  ASSERT_TRUE(peer.SendRaw(frame.substr(6)));
  std::string second = PackHeader(3) + "abc";
  for (char byte : second) {
    Sleep(5);
    ASSERT_TRUE(peer.SendRaw(std::string(1, byte)));
  }
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 2));
  EXPECT_EQ(events.Received(), (std::vector<std::string>{"hello", "abc"}));
}

TEST_F(HpSocketTest, ManyMessagesInOneSegmentArriveInOrder) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  std::string segment;
  std::vector<std::string> sent;
  for (int i = 0; i < 500; ++i) {
    sent.push_back("{\"n\":" + std::to_string(i) + "}");
    segment += PackHeader(static_cast<uint32_t>(sent.back().size())) + sent.back();
  }
  ASSERT_TRUE(peer.SendRaw(segment));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, sent.size()));
  EXPECT_EQ(events.Received(), sent);
}

TEST_F(HpSocketTest, ConfiguredFlagMustMatch) {
  RecordedClient rc;
  hp.HP_TcpPackClient_SetPackHeaderFlag(rc.client, 0x155);
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(hp.HP_Client_Send(rc.client, reinterpret_cast<const BYTE*>("up"), 2));
  std::string body;
  uint32_t flag = 0;
  ASSERT_TRUE(peer.ReadFrame(&body, &flag));
  EXPECT_EQ(body, "up");
  EXPECT_EQ(flag, 0x155u);
  ASSERT_TRUE(peer.SendFrame("good", 0x155));
  ASSERT_TRUE(peer.SendFrame("bad", 0x154));
  ExpectClosedWith(hp, rc.client, &peer, HP_SO_RECEIVE, 13);
  EXPECT_EQ(events.Received(), std::vector<std::string>{"good"});
}

TEST_F(HpSocketTest, UnflaggedClientAcceptsAnyFlag) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  ASSERT_TRUE(peer.SendFrame("flagged", 7));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 1));
  EXPECT_EQ(events.Received(), std::vector<std::string>{"flagged"});
}

TEST_F(HpSocketTest, SendVariantsEachMakeOnePack) {
  RecordedClient rc;
  Connect(hp, rc.client, &peer);
  const BYTE* text = reinterpret_cast<const BYTE*>("0123456789");
  ASSERT_TRUE(hp.HP_Client_Send(rc.client, text, 10));
  ASSERT_TRUE(hp.HP_Client_SendPart(rc.client, text, 3, 4));
  WSABUF parts[3] = {{2, const_cast<char*>("ab")}, {0, nullptr}, {3, const_cast<char*>("cde")}};
  ASSERT_TRUE(hp.HP_Client_SendPackets(rc.client, parts, 3));
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::string file = std::string(path) + "hpsocket_small_file.txt";
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("FILE", f);
  fclose(f);
  WSABUF head = {1, const_cast<char*>("<")}, tail = {1, const_cast<char*>(">")};
  ASSERT_TRUE(hp.HP_TcpClient_SendSmallFile(rc.client, file.c_str(), &head, &tail));
  DeleteFileA(file.c_str());
  std::string body;
  for (const char* expected : {"0123456789", "456", "abcde", "<FILE>"}) {
    ASSERT_TRUE(peer.ReadFrame(&body));
    EXPECT_EQ(body, expected);
  }
  ASSERT_TRUE(events.WaitFor(HpEvent::kSend, 4));
  EXPECT_EQ(events.Events().back().data, "<FILE>");
}

TEST_F(HpSocketTest, EmptyOrOversizedSendIsRefusedWithBadLength) {
  RecordedClient rc;
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, 16);
  Connect(hp, rc.client, &peer);
  SetLastError(0);
  EXPECT_FALSE(hp.HP_Client_Send(rc.client, reinterpret_cast<const BYTE*>(""), 0));
  EXPECT_EQ(GetLastError(), 24u);
  std::string seventeen(17, 'x');
  EXPECT_FALSE(hp.HP_Client_Send(rc.client, reinterpret_cast<const BYTE*>(seventeen.data()), 17));
  EXPECT_EQ(GetLastError(), 24u);
  EXPECT_TRUE(hp.HP_Client_Send(rc.client, reinterpret_cast<const BYTE*>(seventeen.data()), 16));
  std::string body;
  ASSERT_TRUE(peer.ReadFrame(&body));
  EXPECT_EQ(body.size(), 16u);  // the refused ones never reached the wire
}

TEST_F(HpSocketTest, SendWhileNotConnectedFails) {
  RecordedClient rc;
  EXPECT_FALSE(hp.HP_Client_Send(rc.client, reinterpret_cast<const BYTE*>("x"), 1));
  int pending = -1;
  EXPECT_FALSE(hp.HP_Client_GetPendingDataLength(rc.client, &pending));
}

}  // namespace
