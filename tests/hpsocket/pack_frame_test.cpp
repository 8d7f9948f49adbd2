#include "standins/hpsocket/pack_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Frame(const std::string& body, uint32_t flag = 0, uint32_t length = UINT32_MAX) {
  uint8_t header[pack::kHeaderSize];
  pack::WriteHeader(length == UINT32_MAX ? static_cast<uint32_t>(body.size()) : length, flag,
                    header);
  return std::string(reinterpret_cast<char*>(header), pack::kHeaderSize) + body;
}

// Feeds `stream` in pieces of `piece` bytes and collects every body until an
// error; returns the error code (0 when none).
int Decode(pack::FrameDecoder* decoder, const std::string& stream, size_t piece,
           std::vector<std::string>* bodies) {
  for (size_t at = 0; at < stream.size(); at += piece) {
    size_t n = std::min(piece, stream.size() - at);
    decoder->Feed(reinterpret_cast<const uint8_t*>(stream.data() + at), n);
    const uint8_t* body;
    size_t length;
    pack::FrameDecoder::Status status;
    while ((status = decoder->Next(&body, &length)) == pack::FrameDecoder::Status::kBody)
      bodies->emplace_back(reinterpret_cast<const char*>(body), length);
    if (status == pack::FrameDecoder::Status::kError) return decoder->error();
  }
  return 0;
}

TEST(PackHeader, IsLittleEndianLengthWithFlagInTopTenBits) {
  uint8_t h[4];
  pack::WriteHeader(0x123456, 0, h);
  EXPECT_EQ(h[0], 0x56);
  EXPECT_EQ(h[1], 0x34);
  EXPECT_EQ(h[2], 0x12);
  EXPECT_EQ(h[3], 0x00);
  pack::WriteHeader(1, 0x3FF, h);
  EXPECT_EQ(h[0], 0x01);
  EXPECT_EQ(h[2], 0xC0);  // flag bits 22..23
  EXPECT_EQ(h[3], 0xFF);  // flag bits 24..31
}

TEST(PackSettings, LimitAndFlagRanges) {
  EXPECT_TRUE(pack::IsValidSetting(0x300000, 0));
  EXPECT_TRUE(pack::IsValidSetting(0x3FFFFF, 0x3FF));
  EXPECT_FALSE(pack::IsValidSetting(0x400000, 0));
  EXPECT_FALSE(pack::IsValidSetting(0, 0));
  EXPECT_FALSE(pack::IsValidSetting(0x40000, 0x400));
  EXPECT_FALSE(pack::IsValidBodyLength(0, 10));
  EXPECT_TRUE(pack::IsValidBodyLength(10, 10));
  EXPECT_FALSE(pack::IsValidBodyLength(11, 10));
}

TEST(FrameDecoder, WholeBodiesWhateverTheChunking) {
  std::string stream;
  std::vector<std::string> sent;
  for (int i = 1; i <= 50; ++i) {
    sent.push_back(std::string(static_cast<size_t>(i * 7), static_cast<char>('a' + i % 26)));
    stream += Frame(sent.back());
  }
  for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{4096}, stream.size()}) {
    pack::FrameDecoder decoder(pack::kDefaultMaxPackSize, 0);
    std::vector<std::string> got;
    EXPECT_EQ(Decode(&decoder, stream, piece, &got), 0) << "piece " << piece;
    EXPECT_EQ(got, sent) << "piece " << piece;
    EXPECT_EQ(decoder.buffered(), 0u);
  }
}

TEST(FrameDecoder, PartialFrameWaitsForTheRest) {
  pack::FrameDecoder decoder(100, 0);
  std::string f = Frame("hello");
  std::vector<std::string> got;
  EXPECT_EQ(Decode(&decoder, f.substr(0, 6), 6, &got), 0);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(decoder.buffered(), 6u);
  EXPECT_EQ(Decode(&decoder, f.substr(6), 10, &got), 0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "hello");
}

TEST(FrameDecoder, BodyAtTheLimitPassesOneAboveFails) {
  const uint32_t limit = 0x300000;
  pack::FrameDecoder ok(limit, 0);
  std::vector<std::string> got;
  EXPECT_EQ(Decode(&ok, Frame(std::string(limit, 'x')), 65536, &got), 0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].size(), limit);

  pack::FrameDecoder too_big(limit, 0);
  got.clear();
  // Only the header is fed: the refusal must not wait for the 3 MiB body.
  EXPECT_EQ(Decode(&too_big, Frame("", 0, limit + 1), 4, &got), pack::kErrorBadLength);
  EXPECT_TRUE(got.empty());
}

TEST(FrameDecoder, ZeroLengthBodyIsAnError) {
  pack::FrameDecoder decoder(100, 0);
  std::vector<std::string> got;
  EXPECT_EQ(Decode(&decoder, Frame("a") + Frame("") + Frame("b"), 64, &got), pack::kErrorBadLength);
  ASSERT_EQ(got.size(), 1u);  // frames before the bad one still count
  EXPECT_EQ(got[0], "a");
}

TEST(FrameDecoder, FlagCheckedOnlyWhenConfigured) {
  std::vector<std::string> got;
  pack::FrameDecoder unflagged(100, 0);
  EXPECT_EQ(Decode(&unflagged, Frame("x", 0x155), 64, &got), 0);
  EXPECT_EQ(got.size(), 1u);

  pack::FrameDecoder flagged(100, 0x155);
  got.clear();
  EXPECT_EQ(Decode(&flagged, Frame("x", 0x155) + Frame("y", 0x154), 64, &got),
            pack::kErrorInvalidData);
  EXPECT_EQ(got, std::vector<std::string>{"x"});
}

TEST(FrameDecoder, StaysFailedUntilReset) {
  pack::FrameDecoder decoder(10, 0);
  std::vector<std::string> got;
  EXPECT_EQ(Decode(&decoder, Frame("", 0, 11), 4, &got), pack::kErrorBadLength);
  EXPECT_EQ(Decode(&decoder, Frame("ok"), 64, &got), pack::kErrorBadLength);
  EXPECT_TRUE(got.empty());
  decoder.Reset();
  EXPECT_EQ(Decode(&decoder, Frame("ok"), 64, &got), 0);
  EXPECT_EQ(got, std::vector<std::string>{"ok"});
}

TEST(FrameDecoder, BufferHoldsAtMostOnePartialFrameAfterDelivery) {
  pack::FrameDecoder decoder(100, 0);
  std::string stream;
  for (int i = 0; i < 1000; ++i) stream += Frame("0123456789");
  stream += Frame("tail").substr(0, 3);
  std::vector<std::string> got;
  EXPECT_EQ(Decode(&decoder, stream, 333, &got), 0);
  EXPECT_EQ(got.size(), 1000u);
  EXPECT_EQ(decoder.buffered(), 3u);
}

}  // namespace
