#pragma once
// How deep this thread is inside the engine's own calls out: scripts being
// run and host callbacks being called. While it is above zero, work that
// would replace or free state further down the stack (a finished page load, a
// destroyed view, a timer) waits for the next turn of the message loop.
namespace node_standin {

class Reentry {
 public:
  Reentry() { ++depth_; }
  ~Reentry() { --depth_; }
  Reentry(const Reentry&) = delete;
  Reentry& operator=(const Reentry&) = delete;

  static int Depth() { return depth_; }

 private:
  static thread_local int depth_;
};

}  // namespace node_standin
