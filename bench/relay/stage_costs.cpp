#include "bench/relay/stage_costs.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "bench/relay/arrival_log.h"
#include "bench/relay/bench_message.h"
#include "bench/relay/bench_runs.h"
#include "log/log_file.h"
#include "page/message_envelope.h"
#include "page/page_host.h"
#include "page/script_bridge.h"

namespace {

// The smallest script the page message can carry: what remains is the
// hand-off between threads and the filter around the engine call.
constexpr char kEmptyScript[] = "0";
constexpr size_t kPackHeaderBytes = 4;

double MicrosPerMessage(int64_t ticks, long count) {
  return double(ticks) * 1e6 / double(PerformanceFrequency()) / double(count);
}

// The body of message seq as the link delivers it (without the pack header).
std::string BenchBody(long seq, size_t body_bytes) {
  std::string frame;
  AppendBenchFrame(seq, PerformanceNow(), body_bytes, &frame);
  return frame.substr(kPackHeaderBytes);
}

// `count` sends of (message, wparam, lparam) to the main window from another
// thread, this one pumping meanwhile.
double CrossThreadSendCost(UINT message, WPARAM wparam, LPARAM lparam, long count) {
  HWND window = App().main_window;
  int64_t ticks = 0;
  std::atomic<bool> finished{false};
  std::thread sender([&] {
    const int64_t start = PerformanceNow();
    for (long i = 0; i < count; ++i) ::SendMessageA(window, message, wparam, lparam);
    ticks = PerformanceNow() - start;
    finished = true;
    ::PostMessageA(window, WM_NULL, 0, 0);  // wakes the pump below
  });
  MSG queued;
  while (!finished && ::GetMessageA(&queued, nullptr, 0, 0) > 0) ::DispatchMessageA(&queued);
  sender.join();
  return MicrosPerMessage(ticks, count);
}

// Page message with an empty script: the hand-off and the filter around
// the engine call.
double HandOffCost(long count) {
  return CrossThreadSendCost(App().page_message, kPageRunScript,
                             reinterpret_cast<LPARAM>(kEmptyScript), count);
}

// A message nobody acts on: what the window system's hand-off alone costs.
double BareSendCost(long count) { return CrossThreadSendCost(WM_NULL, 0, 0, count); }

// The page's part: clientJS2 with the message, calling back benchArrived.
double PageCost(size_t body_bytes, long count) {
  std::string script = "clientJS2(" + BenchBody(0, body_bytes) + ")";
  ArrivalLog arrivals(1);  // benchArrived reads its arguments only while a log is set
  SetArrivalLog(&arrivals);
  const int64_t start = PerformanceNow();
  for (long i = 0; i < count; ++i) Host().RunScript(script);
  const int64_t ticks = PerformanceNow() - start;
  SetArrivalLog(nullptr);
  return MicrosPerMessage(ticks, count);
}

// The receive handler's own work before the hand-off: envelope and log line.
double ParseAndLogCost(size_t body_bytes, long count) {
  const std::string text = BenchBody(0, body_bytes);
  const int64_t start = PerformanceNow();
  for (long i = 0; i < count; ++i) {
    MessageEnvelope envelope;
    ReadEnvelope(text, &envelope);
    WriteLog("客户通信", "OnHandle data:" + text);
  }
  return MicrosPerMessage(PerformanceNow() - start, count);
}

}  // namespace

void PrintStageCosts(size_t body_bytes, long count) {
  const double bare_send = BareSendCost(count);
  const double hand_off = HandOffCost(count);
  const double page = PageCost(body_bytes, count);
  const double parse_and_log = ParseAndLogCost(body_bytes, count);
  std::printf("body %zu B, stages timed alone, mean us per message over %ld:\n", body_bytes, count);
  std::printf(
      "  envelope + log line %7.1f   page message hand-off %7.1f   "
      "clientJS2 in the page %7.1f   sum %7.1f (= %.0f msg/s)\n",
      parse_and_log, hand_off, page, parse_and_log + hand_off + page,
      1e6 / (parse_and_log + hand_off + page));
  std::printf("  (of the hand-off, a cross-thread SendMessageA that nothing acts on: %.1f)\n",
              bare_send);
  std::fflush(stdout);
}
