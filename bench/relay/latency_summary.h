#pragma once
// Latency percentiles of one run, in microseconds.
#include <cstdint>
#include <vector>

struct LatencySummary {
  long samples = 0;  // messages with a latency (arrived)
  double p50 = 0;
  double p90 = 0;
  double p99 = 0;
  double max = 0;
};

// Nearest-rank percentiles of the non-negative entries of `ticks` (negative
// entries mark messages that never arrived), converted with `frequency`
// ticks per second. All zero when nothing arrived.
LatencySummary SummarizeLatency(const std::vector<int64_t>& ticks, int64_t frequency);

// The nearest-rank percentile (0 < percent <= 100) of sorted, non-empty values.
int64_t NearestRank(const std::vector<int64_t>& sorted, double percent);
