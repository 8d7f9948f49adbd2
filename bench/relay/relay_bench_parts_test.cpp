// The benchmark's own parts: the message format, the percentiles and the
// sender over a real loopback connection. Figures from a benchmark whose
// sender mis-frames or whose statistics are off would be worthless.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/relay/arrival_log.h"
#include "bench/relay/bench_message.h"
#include "bench/relay/bench_sender.h"
#include "bench/relay/latency_summary.h"
#include "tests/support/loopback_socket.h"
#include "util/json_document.h"

namespace {

uint32_t HeaderWord(const std::string& frame) {
  uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(frame[i]);
  return word;
}

TEST(BenchMessage, FrameHasTheExactBodySizeAndALengthOnlyHeader) {
  for (size_t size : {size_t{96}, size_t{200}, size_t{4096}}) {
    std::string frame;
    AppendBenchFrame(123456, 9876543210123LL, size, &frame);
    ASSERT_EQ(frame.size(), size + 4);
    EXPECT_EQ(HeaderWord(frame), size);  // flag bits zero
    JsonDocument body;
    EXPECT_TRUE(body.Parse(frame.substr(4), false)) << frame.substr(4, 80);
  }
}

TEST(BenchMessage, StampReadsBackWithoutATerminator) {
  std::string frame;
  AppendBenchFrame(77, 123456789012345LL, 200, &frame);
  std::vector<char> body(frame.begin() + 4, frame.end());  // no zero byte after it
  long seq = -1;
  int64_t stamp = -1;
  ASSERT_TRUE(ReadBenchStamp(body.data(), body.size(), &seq, &stamp));
  EXPECT_EQ(seq, 77);
  EXPECT_EQ(stamp, 123456789012345LL);
}

TEST(BenchMessage, MissingOrMalformedStampIsRefused) {
  long seq = 0;
  int64_t stamp = 0;
  const char no_stamp[] = "{\"seq\":5}";
  const char bad_seq[] = "{\"seq\":x,\"t\":5}";
  const char cut[] = "{\"seq\":5,\"t\":";
  EXPECT_FALSE(ReadBenchStamp(no_stamp, std::strlen(no_stamp), &seq, &stamp));
  EXPECT_FALSE(ReadBenchStamp(bad_seq, std::strlen(bad_seq), &seq, &stamp));
  EXPECT_FALSE(ReadBenchStamp(cut, std::strlen(cut), &seq, &stamp));
  EXPECT_FALSE(ReadBenchStamp(nullptr, 10, &seq, &stamp));
}

TEST(LatencySummary, NearestRankPercentilesSkipMissingMessages) {
  std::vector<int64_t> ticks;
  for (int i = 100; i >= 1; --i) ticks.push_back(i * 10);  // 10..1000 ticks, reversed
  ticks.push_back(-1);                                     // never arrived
  LatencySummary summary = SummarizeLatency(ticks, 10);    // 10 ticks per second
  EXPECT_EQ(summary.samples, 100);
  EXPECT_DOUBLE_EQ(summary.p50, 500 * 1e5);
  EXPECT_DOUBLE_EQ(summary.p90, 900 * 1e5);
  EXPECT_DOUBLE_EQ(summary.p99, 990 * 1e5);
  EXPECT_DOUBLE_EQ(summary.max, 1000 * 1e5);
}

TEST(LatencySummary, EmptyAndSingleSample) {
  EXPECT_EQ(SummarizeLatency({-1, -1}, 1000).samples, 0);
  EXPECT_EQ(SummarizeLatency({}, 1000).max, 0);
  LatencySummary one = SummarizeLatency({7}, 1000000);
  EXPECT_DOUBLE_EQ(one.p50, 7);
  EXPECT_DOUBLE_EQ(one.p99, 7);
  EXPECT_EQ(NearestRank({1, 2, 3}, 100), 3);
  EXPECT_EQ(NearestRank({1, 2, 3}, 1), 1);
}

TEST(ArrivalLog, CountsDuplicatesAndGapsAsOutOfOrder) {
  ArrivalLog log(4);
  log.Record(0, PerformanceNow());
  log.Record(2, PerformanceNow());  // gap
  log.Record(2, PerformanceNow());  // duplicate
  EXPECT_EQ(log.out_of_order(), 2);
  EXPECT_EQ(log.received(), 3);
  EXPECT_EQ(log.latencies()[1], -1);
  EXPECT_GE(log.latencies()[0], 0);
  EXPECT_EQ(::WaitForSingleObject(log.all_arrived(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  log.Record(3, PerformanceNow());
  EXPECT_EQ(::WaitForSingleObject(log.all_arrived(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

class SenderTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseSocket(client_); }
  void Connect(USHORT port) {
    client_ = ConnectToLoopback(port);
    ASSERT_NE(client_, INVALID_SOCKET);
    DWORD timeout_ms = 5000;
    ::setsockopt(client_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
                 sizeof(timeout_ms));
  }
  // One whole frame's body; empty when the connection ended or timed out.
  std::string ReadFrame() {
    std::string header = ReadExactly(4);
    if (header.size() != 4) return "";
    return ReadExactly(HeaderWord(header));
  }
  std::string ReadExactly(size_t length) {
    std::string bytes(length, '\0');
    size_t got = 0;
    while (got < length) {
      int n = ::recv(client_, &bytes[got], static_cast<int>(length - got), 0);
      if (n <= 0) return bytes.substr(0, got);
      got += static_cast<size_t>(n);
    }
    return bytes;
  }
  // True when nothing arrives within wait_ms.
  bool Quiet(DWORD wait_ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(client_, &readable);
    timeval wait = {0, static_cast<long>(wait_ms) * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) == 0;
  }

  SOCKET client_ = INVALID_SOCKET;
};

TEST_F(SenderTest, FloodSendsEveryMessageInOrderWithItsSize) {
  constexpr long kCount = 3000;  // several batches
  BenchSender sender;
  ASSERT_TRUE(sender.Start(BenchSender::Mode::kFlood, kCount, 200, nullptr));
  Connect(sender.port());
  int64_t previous_stamp = 0;
  for (long i = 0; i < kCount; ++i) {
    std::string body = ReadFrame();
    ASSERT_EQ(body.size(), 200u) << "message " << i;
    long seq = -1;
    int64_t stamp = 0;
    ASSERT_TRUE(ReadBenchStamp(body.data(), body.size(), &seq, &stamp));
    ASSERT_EQ(seq, i);
    ASSERT_GE(stamp, previous_stamp);
    previous_stamp = stamp;
  }
  EXPECT_NE(sender.first_send(), 0);
  ::shutdown(client_, SD_SEND);  // the sender ends once we close
  sender.Stop();
  EXPECT_TRUE(sender.all_sent());
}

TEST_F(SenderTest, LockstepSendsTheNextOnlyAfterTheArrivalIsNoted) {
  ArrivalLog arrivals(3);
  BenchSender sender;
  ASSERT_TRUE(sender.Start(BenchSender::Mode::kLockstep, 3, 120, &arrivals));
  Connect(sender.port());
  for (long i = 0; i < 3; ++i) {
    std::string body = ReadFrame();
    long seq = -1;
    int64_t stamp = 0;
    ASSERT_TRUE(ReadBenchStamp(body.data(), body.size(), &seq, &stamp));
    EXPECT_EQ(seq, i);
    EXPECT_TRUE(Quiet(200)) << "message " << i + 1 << " came before " << i << " arrived";
    arrivals.Record(seq, stamp);
  }
  ::shutdown(client_, SD_SEND);
  sender.Stop();
  EXPECT_TRUE(sender.all_sent());
  EXPECT_EQ(arrivals.out_of_order(), 0);
}

TEST_F(SenderTest, StopEndsASenderWhoseClientNeverCame) {
  BenchSender sender;
  ASSERT_TRUE(sender.Start(BenchSender::Mode::kFlood, 10, 200, nullptr));
  sender.Stop();  // must not hang in accept
  EXPECT_FALSE(sender.all_sent());
}

}  // namespace
