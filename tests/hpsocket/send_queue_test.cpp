#include "standins/hpsocket/send_queue.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(SendQueue, PartialWritesFinishFramesInOrder) {
  SendQueue queue;
  queue.Push(Bytes("abcd"));
  queue.Push(Bytes("ef"));
  EXPECT_EQ(queue.PendingBytes(), 6u);
  const uint8_t* data;
  size_t size;
  std::vector<uint8_t> done;
  ASSERT_TRUE(queue.Front(&data, &size));
  EXPECT_EQ(size, 4u);
  EXPECT_FALSE(queue.Consume(3, &done));
  ASSERT_TRUE(queue.Front(&data, &size));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "d");
  EXPECT_EQ(queue.PendingBytes(), 3u);
  EXPECT_TRUE(queue.Consume(1, &done));
  EXPECT_EQ(done, Bytes("abcd"));
  EXPECT_TRUE(queue.Consume(10, &done));  // more than left is clamped
  EXPECT_EQ(done, Bytes("ef"));
  EXPECT_EQ(queue.PendingBytes(), 0u);
  EXPECT_FALSE(queue.Front(&data, &size));
}

TEST(SendQueue, FrontStaysValidWhileOthersAppend) {
  SendQueue queue;
  queue.Push(Bytes("first"));
  const uint8_t* data;
  size_t size;
  ASSERT_TRUE(queue.Front(&data, &size));
  std::thread producer([&] {
    for (int i = 0; i < 10000; ++i) queue.Push(Bytes("more"));
  });
  producer.join();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "first");
  EXPECT_EQ(queue.PendingBytes(), 5u + 4u * 10000u);
  queue.Clear();
  EXPECT_EQ(queue.PendingBytes(), 0u);
}

}  // namespace
