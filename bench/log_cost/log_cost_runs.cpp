#include "bench/log_cost/log_cost_runs.h"

#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <windows.h>

#include <algorithm>
#include <memory>

#include "log/log_file.h"

namespace {

// The program's category of a relayed push, "客户通信", in code page 936.
constexpr char kCategory[] = "\xbf\xcd\xbb\xa7\xcd\xa8\xd0\xc5";
// spdlog's usual asynchronous set-up: a queue of this many lines, one worker.
constexpr size_t kSpdlogQueueLines = 8192;
// Between two single calls the caller waits this long, so the writer has
// taken the last line and sleeps again.
constexpr double kSingleGapUs = 300;

double NowUs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e6 / frequency;
}

void SpinUs(double us) {
  const double until = NowUs() + us;
  while (NowUs() < until) {
  }
}

// Times `burst` calls back to back and `singles` calls one at a time.
template <typename Write>
void TimeCalls(Write write, long burst, long singles, LogCost* cost) {
  std::vector<double> single(static_cast<size_t>(singles));
  for (long i = 0; i < singles; ++i) {
    SpinUs(kSingleGapUs);
    const double start = NowUs();
    write();
    single[static_cast<size_t>(i)] = NowUs() - start;
  }
  std::sort(single.begin(), single.end());
  if (!single.empty()) {
    cost->single_p50_us = single[single.size() / 2];
    cost->single_p99_us = single[single.size() * 99 / 100];
  }
  const double start = NowUs();
  for (long i = 0; i < burst; ++i) write();
  cost->burst_mean_us = (NowUs() - start) / static_cast<double>(std::max(burst, 1L));
}

}  // namespace

std::string PushLogMessage(size_t body_bytes) {
  std::string body = "{\"c\":\"sale\",\"a\":\"item\",\"data\":{\"name\":\"";
  body.append(body_bytes > body.size() + 4 ? body_bytes - body.size() - 4 : 0, 'x');
  return "OnHandle data:" + body + "\"}}";
}

LogCost MeasureWriteLog(const std::string& folder, long burst, long singles, size_t body_bytes) {
  LogCost cost;
  if (!OpenLog("lumo", folder)) return cost;
  const std::string message = PushLogMessage(body_bytes);
  TimeCalls([&] { WriteLog(kCategory, message); }, burst, singles, &cost);
  const double drain_start = NowUs();
  StopLog();  // returns once the writer has put every queued line in the file
  cost.drain_ms = (NowUs() - drain_start) / 1000.0;
  return cost;
}

LogCost MeasureSpdlog(const std::string& folder, long burst, long singles, size_t body_bytes) {
  LogCost cost;
  spdlog::init_thread_pool(kSpdlogQueueLines, 1);
  auto logger =
      spdlog::basic_logger_mt<spdlog::async_factory>("bench", folder + "spdlog.txt", true);
  // The same line as ours: time, category in brackets, message, CR LF.
  logger->set_pattern("%H:%M:%S->%v");
  const std::string message = PushLogMessage(body_bytes);
  const std::string category = std::string("[") + kCategory + "] ";
  TimeCalls([&] { logger->info("{}{}\r", category, message); }, burst, singles, &cost);
  const double drain_start = NowUs();
  spdlog::shutdown();  // drains the queue and joins the worker
  cost.drain_ms = (NowUs() - drain_start) / 1000.0;
  return cost;
}
