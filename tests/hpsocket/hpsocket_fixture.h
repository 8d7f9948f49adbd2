#pragma once
// Shared set-up of the library's tests: a recorder cleared for each test and
// a raw loopback peer listening.
#include <gtest/gtest.h>

#include "ext/hpsocket_api.h"
#include "tests/hpsocket/event_recorder.h"
#include "tests/hpsocket/loopback_peer.h"

inline constexpr DWORD kProgramMaxPack = 0x300000;

class HpSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EventRecorder::Get().Clear();
    ASSERT_TRUE(peer.Listen());
  }
  const HpSocketApi& hp = HpSocket();
  EventRecorder& events = EventRecorder::Get();
  LoopbackPeer peer;
};

// Starts `c` against the peer and takes the connection on the peer side.
inline void Connect(const HpSocketApi& hp, HP_Client c, LoopbackPeer* peer) {
  ASSERT_TRUE(hp.HP_Client_Start(c, "127.0.0.1", peer->port(), FALSE));
  ASSERT_TRUE(peer->Accept());
  ASSERT_EQ(hp.HP_Client_GetState(c), HP_SS_STARTED);
}

// Expects one OnClose with `operation` and `error`, the peer to see the end,
// and the client to end stopped.
inline void ExpectClosedWith(const HpSocketApi& hp, HP_Client c, LoopbackPeer* peer, int operation,
                             int error) {
  EventRecorder& events = EventRecorder::Get();
  ASSERT_TRUE(events.WaitFor(HpEvent::kClose, 1));
  HpEvent close;
  ASSERT_TRUE(events.FirstClose(&close));
  EXPECT_EQ(close.operation, operation);
  EXPECT_EQ(close.error, error);
  EXPECT_TRUE(peer->WaitClosed());
  for (int i = 0; i < 100 && hp.HP_Client_GetState(c) != HP_SS_STOPPED; ++i) Sleep(10);
  EXPECT_EQ(hp.HP_Client_GetState(c), HP_SS_STOPPED);
}
