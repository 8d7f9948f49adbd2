// The caller's cost of one log line: our WriteLog beside spdlog's asynchronous
// logger, in one run, the same lines written from the same thread into files
// in the same folder.
// Usage: log_cost_bench.exe [burst calls] [single calls] [body bytes]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/log_cost/log_cost_runs.h"

namespace {

constexpr long kDefaultBurst = 100000;
constexpr long kDefaultSingles = 5000;
constexpr size_t kDefaultBody = 200;

std::string BenchFolder() {
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "lumo_log_cost\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void PrintRow(const char* name, const LogCost& cost) {
  std::printf("  %-24s %10.2f %12.2f %12.2f %12.1f\n", name, cost.burst_mean_us, cost.single_p50_us,
              cost.single_p99_us, cost.drain_ms);
}

}  // namespace

int main(int argc, char** argv) {
  const long burst = argc > 1 ? std::atol(argv[1]) : kDefaultBurst;
  const long singles = argc > 2 ? std::atol(argv[2]) : kDefaultSingles;
  const size_t body = argc > 3 ? static_cast<size_t>(std::atol(argv[3])) : kDefaultBody;
  if (burst <= 0 || singles <= 0) return 2;
  const std::string folder = BenchFolder();
  std::printf("log line caller cost, %ld back to back, %ld one at a time, %zu B bodies\n", burst,
              singles, body);
  // One unreported round first, so first-use costs stay out of the figures.
  MeasureWriteLog(folder, 1000, 100, body);
  const LogCost ours = MeasureWriteLog(folder, burst, singles, body);
  const LogCost theirs = MeasureSpdlog(folder, burst, singles, body);
  std::printf("  %-24s %10s %12s %12s %12s\n", "logger", "burst us", "single p50", "single p99",
              "drain ms");
  PrintRow("WriteLog (lumo)", ours);
  PrintRow("spdlog async logger", theirs);
  if (theirs.burst_mean_us > 0 && theirs.single_p50_us > 0) {
    std::printf("  WriteLog / spdlog: burst %.2fx, single p50 %.2fx\n",
                ours.burst_mean_us / theirs.burst_mean_us,
                ours.single_p50_us / theirs.single_p50_us);
  }
  return 0;
}
