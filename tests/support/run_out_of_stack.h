#pragma once
// A recursion that runs until the thread's stack is gone, for the tests and
// the fault-test build that need a real stack overflow. Each call keeps a
// frame the compiler cannot drop and uses the inner call's result, so the
// optimiser can turn it neither into a loop nor into nothing.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"  // running out of stack is the point
inline int __attribute__((noinline)) RunOutOfStack(int depth) {
  volatile char frame[256];
  frame[depth % sizeof(frame)] = static_cast<char>(depth);
  return RunOutOfStack(depth + 1) + frame[depth % sizeof(frame)];
}
#pragma GCC diagnostic pop
