#pragma once
// One benchmark run: a fresh BenchSender pushes `count` messages of
// `body_bytes` to a fresh connection of the real PackClient, received either
// by a bare callback or by the program's relay (OnLinkReceive, RunInPage,
// HostMessageFilter, the page's clientJS2 calling benchArrived).
#include <cstddef>

#include "bench/relay/bench_sender.h"
#include "bench/relay/latency_summary.h"
#include "ext/node_api.h"

struct RunResult {
  long expected = 0;
  long received = 0;
  long out_of_order = 0;
  long unreadable = 0;
  double seconds = 0;  // from the first send to the last arrival
  double rate = 0;     // messages per second over `seconds`
  LatencySummary latency;
  bool complete() const { return received == expected && out_of_order == 0 && unreadable == 0; }
};

// Receive callback only: reads the stamp of each message and notes it.
RunResult RunBareLoop(BenchSender::Mode mode, long count, size_t body_bytes);
// The program's relay into the page; must run on the thread that owns the
// main window, which it keeps pumping while it waits.
RunResult RunRelay(BenchSender::Mode mode, long count, size_t body_bytes);

// The page's bound function benchArrived(seq, t), bound by the caller
// before the page loads.
jsValue __cdecl BenchArrived(jsExecState state);

class ArrivalLog;
// Where the page's and the bare loop's arrivals go; null drops them.
void SetArrivalLog(ArrivalLog* arrivals);

// How long a run may go without a single arrival before it is given up.
inline constexpr DWORD kStallTimeoutMs = 30000;
