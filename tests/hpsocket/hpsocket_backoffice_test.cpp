// The library against the back-office simulator (tools/backoffice). Run by
// with_backoffice.sh, which starts the simulator and passes its ports in
// LUMO_BACKOFFICE_TCP and LUMO_BACKOFFICE_CONTROL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ext/hpsocket_api.h"
#include "tests/hpsocket/backoffice_control.h"
#include "tests/hpsocket/event_recorder.h"
#include "tests/hpsocket/loopback_peer.h"

namespace {

class BackofficeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tcp = std::getenv("LUMO_BACKOFFICE_TCP");
    const char* control = std::getenv("LUMO_BACKOFFICE_CONTROL");
    if (tcp == nullptr || control == nullptr) GTEST_SKIP() << "no simulator (with_backoffice.sh)";
    tcp_port = static_cast<USHORT>(std::atoi(tcp));
    office = BackofficeControl(static_cast<USHORT>(std::atoi(control)));
    EventRecorder::Get().Clear();
    ASSERT_TRUE(office.Post("/reset", ""));
  }
  void Connect(HP_Client c) {
    int total = office.TotalAccepted();
    ASSERT_TRUE(hp.HP_Client_Start(c, "127.0.0.1", tcp_port, FALSE));
    ASSERT_TRUE(office.WaitTotalAbove(total));
  }
  const HpSocketApi& hp = HpSocket();
  EventRecorder& events = EventRecorder::Get();
  USHORT tcp_port = 0;
  BackofficeControl office{0};
};

TEST_F(BackofficeTest, LoginReachesTheServerAndPushesComeBackWhole) {
  RecordedClient rc;
  hp.HP_TcpPackClient_SetMaxPackSize(rc.client, 0x300000);
  Connect(rc.client);
  std::string login = "{\"c\":\"login\",\"name\":\"lumo\"}";
  ASSERT_TRUE(hp.HP_Client_Send(rc.client, reinterpret_cast<const BYTE*>(login.data()),
                                static_cast<int>(login.size())));
  ASSERT_TRUE(office.WaitFor("received", 1, 5));
  std::string received;
  ASSERT_TRUE(office.Get("/received", &received));
  EXPECT_NE(received.find(HexOf(login)), std::string::npos) << received;

  for (int i = 0; i < 50; ++i)
    ASSERT_TRUE(office.Post("/push", "{\"c\":\"msg\",\"n\":" + std::to_string(i) + "}"));
  std::string big(0x300000, 'z');
  ASSERT_TRUE(office.Post("/push", big));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 51, 20000));
  std::vector<std::string> got = events.Received();
  EXPECT_EQ(got[0], "{\"c\":\"msg\",\"n\":0}");
  EXPECT_EQ(got[49], "{\"c\":\"msg\",\"n\":49}");
  EXPECT_TRUE(got[50] == big);
}

TEST_F(BackofficeTest, RawSplitFramesAndZeroLengthHeader) {
  RecordedClient rc;
  Connect(rc.client);
  std::string two = PackHeader(3) + "abc" + PackHeader(2) + "de";
  ASSERT_TRUE(office.Post("/push?raw=1", two.substr(0, 5)));
  Sleep(50);
  ASSERT_TRUE(office.Post("/push?raw=1", two.substr(5)));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 2));
  EXPECT_EQ(events.Received(), (std::vector<std::string>{"abc", "de"}));
  ASSERT_TRUE(office.Post("/push?raw=1", PackHeader(0)));
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  HpEvent close;
  ASSERT_TRUE(events.FirstClose(&close));
  EXPECT_EQ(close.operation, HP_SO_RECEIVE);
  EXPECT_EQ(close.error, 24);
}

TEST_F(BackofficeTest, DropEndsStoppedAndTheClientComesBack) {
  RecordedClient rc;
  Connect(rc.client);
  ASSERT_TRUE(office.Post("/drop", ""));
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  for (int i = 0; i < 100 && hp.HP_Client_GetState(rc.client) != HP_SS_STOPPED; ++i) Sleep(10);
  ASSERT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  Connect(rc.client);
  ASSERT_TRUE(office.Post("/push", "after"));
  ASSERT_TRUE(events.WaitFor(HpEvent::kReceive, 1));
  EXPECT_EQ(events.Received().back(), "after");
}

TEST_F(BackofficeTest, ListenerDownRefusesThenComesBack) {
  RecordedClient rc;
  ASSERT_TRUE(office.Post("/tcp/stop", ""));
  EXPECT_FALSE(hp.HP_Client_Start(rc.client, "127.0.0.1", tcp_port, FALSE));
  EXPECT_EQ(hp.HP_Client_GetState(rc.client), HP_SS_STOPPED);
  ASSERT_TRUE(office.Post("/tcp/start", ""));
  Connect(rc.client);
}

}  // namespace
