#pragma once
// A two-way channel that carries whole DevTools messages to and from the
// browser. Each kind of channel runs a reader thread of its own that delivers
// every message, notices the far end going away, and calls a tick function
// between batches so its owner can do periodic work on that thread.
#include <functional>
#include <string>

class MessageLink {
 public:
  // Runs on the reader thread, once per complete message.
  using MessageSink = std::function<void(std::string&& message)>;
  // Runs on the reader thread when the link is gone (closed by the peer or failed).
  using ClosedSink = std::function<void()>;
  // Runs on the reader thread after every batch of messages and whenever the
  // wait it asked for has passed; returns how long the reader may then wait
  // before calling it again (kNoTick: until a message comes).
  using TickSink = std::function<int()>;
  static constexpr int kNoTick = -1;

  virtual ~MessageLink() = default;
  // Sends one message; false when the link is not open or the send failed.
  virtual bool Send(const std::string& text) = 0;
  // Stops the reader and closes the channel. Safe to call twice.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};
