#include "bench/relay/bench_runs.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/relay/arrival_log.h"
#include "bench/relay/bench_message.h"
#include "link/pack_client.h"
#include "link/server_messages.h"
#include "page/script_bridge.h"

namespace {

// The program's own limit for one server message.
constexpr DWORD kMaxPackSize = 0x300000;
constexpr char kLoopback[] = "127.0.0.1";

// The run in progress; read by the receive callback and the page's function.
ArrivalLog* g_arrivals = nullptr;

En_HP_HandleResult __stdcall BareReceive(HP_Client, HP_CONNID, const BYTE* data, int length) {
  if (g_arrivals == nullptr) return HP_HR_OK;
  long seq = 0;
  int64_t stamp = 0;
  if (ReadBenchStamp(reinterpret_cast<const char*>(data), static_cast<size_t>(length), &seq,
                     &stamp)) {
    g_arrivals->Record(seq, stamp);
  } else {
    g_arrivals->RecordUnreadable();
  }
  return HP_HR_OK;
}

// Runs the calling thread's messages (the page message sent by the socket
// worker among them) until done() or until nothing arrived for the stall
// time-out.
void PumpUntil(const std::function<bool()>& done, const ArrivalLog& arrivals) {
  long seen = arrivals.received();
  DWORD last_progress = ::GetTickCount();
  while (!done()) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    if (arrivals.received() != seen) {
      seen = arrivals.received();
      last_progress = ::GetTickCount();
    } else if (::GetTickCount() - last_progress > kStallTimeoutMs) {
      std::fprintf(stderr, "run stalled at %ld of %ld messages\n", seen, arrivals.expected());
      return;
    }
  }
}

struct StopRequest {
  PackClient* link;
  HP_Client client;
};

DWORD WINAPI StopClientThread(void* argument) {
  auto* request = static_cast<StopRequest*>(argument);
  request->link->Stop(request->client);
  return 0;
}

// Stops the client from another thread while this one keeps pumping: a
// worker still inside OnLinkReceive waits for this thread to take its page
// message, and Stop waits for that worker.
void StopWhilePumping(PackClient* link, HP_Client client, const ArrivalLog& arrivals) {
  StopRequest request = {link, client};
  HANDLE thread = ::CreateThread(nullptr, 0, &StopClientThread, &request, 0, nullptr);
  if (thread == nullptr) {
    link->Stop(client);
    return;
  }
  PumpUntil([thread] { return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, arrivals);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
}

RunResult Summarize(const ArrivalLog& arrivals, const BenchSender& sender) {
  RunResult result;
  result.expected = arrivals.expected();
  result.received = arrivals.received();
  result.out_of_order = arrivals.out_of_order();
  result.unreadable = arrivals.unreadable();
  const int64_t frequency = PerformanceFrequency();
  if (sender.first_send() != 0 && arrivals.last_arrival() > sender.first_send()) {
    result.seconds = double(arrivals.last_arrival() - sender.first_send()) / double(frequency);
    result.rate = result.received / result.seconds;
  }
  result.latency = SummarizeLatency(arrivals.latencies(), frequency);
  return result;
}

// One run over a new client of `link` whose messages go to `receive`. This
// thread keeps taking window messages throughout, which the relay needs and
// the bare loop does not mind.
RunResult RunOver(PackClient* link, HP_FN_Client_OnReceive receive, BenchSender::Mode mode,
                  long count, size_t body_bytes) {
  ArrivalLog arrivals(count);
  SetArrivalLog(&arrivals);
  BenchSender sender;
  RunResult result;
  if (!sender.Start(mode, count, body_bytes, &arrivals)) {
    std::fprintf(stderr, "sender: cannot listen on loopback\n");
    return result;
  }
  HP_Client client = link->Create(false);
  if (client == nullptr || client == NoListenerClient()) {
    std::fprintf(stderr, "no TCP client from the socket library\n");
    return result;
  }
  // The callbacks live in the listener, which exists once a client was made.
  link->SetOnReceive(receive);
  link->SetMaxPackSize(client, kMaxPackSize);
  if (!link->Start(client, kLoopback, sender.port(), true)) {
    std::fprintf(stderr, "connect to the sender failed\n");
  } else {
    PumpUntil([&arrivals] { return arrivals.received() >= arrivals.expected(); }, arrivals);
  }
  result = Summarize(arrivals, sender);
  StopWhilePumping(link, client, arrivals);
  link->Destroy(client, false);
  sender.Stop();
  SetArrivalLog(nullptr);
  return result;
}

}  // namespace

void SetArrivalLog(ArrivalLog* arrivals) { g_arrivals = arrivals; }

jsValue __cdecl BenchArrived(jsExecState state) {
  if (g_arrivals == nullptr) return ReturnUndefined();
  char* end = nullptr;
  const std::string seq_text = ArgText(state, 0);
  const std::string stamp_text = ArgText(state, 1);
  const long seq = std::strtol(seq_text.c_str(), &end, 10);
  const bool seq_ok = end != seq_text.c_str() && *end == '\0';
  const long long stamp = std::strtoll(stamp_text.c_str(), &end, 10);
  if (seq_ok && end != stamp_text.c_str() && *end == '\0') {
    g_arrivals->Record(seq, stamp);
  } else {
    g_arrivals->RecordUnreadable();
  }
  return ReturnUndefined();
}

RunResult RunBareLoop(BenchSender::Mode mode, long count, size_t body_bytes) {
  // One listener per receive callback for the whole process: the wrapper
  // keeps its listener alive on purpose.
  static PackClient bare_link;
  return RunOver(&bare_link, BareReceive, mode, count, body_bytes);
}

RunResult RunRelay(BenchSender::Mode mode, long count, size_t body_bytes) {
  static PackClient relay_link;
  return RunOver(&relay_link, OnLinkReceive, mode, count, body_bytes);
}
