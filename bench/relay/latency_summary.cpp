#include "bench/relay/latency_summary.h"

#include <algorithm>
#include <cmath>

int64_t NearestRank(const std::vector<int64_t>& sorted, double percent) {
  const double rank = std::ceil(percent / 100.0 * static_cast<double>(sorted.size()));
  size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  if (index >= sorted.size()) index = sorted.size() - 1;
  return sorted[index];
}

LatencySummary SummarizeLatency(const std::vector<int64_t>& ticks, int64_t frequency) {
  std::vector<int64_t> arrived;
  arrived.reserve(ticks.size());
  for (int64_t value : ticks) {
    if (value >= 0) arrived.push_back(value);
  }
  LatencySummary summary;
  if (arrived.empty() || frequency <= 0) return summary;
  std::sort(arrived.begin(), arrived.end());
  const double micros_per_tick = 1e6 / static_cast<double>(frequency);
  summary.samples = static_cast<long>(arrived.size());
  summary.p50 = NearestRank(arrived, 50) * micros_per_tick;
  summary.p90 = NearestRank(arrived, 90) * micros_per_tick;
  summary.p99 = NearestRank(arrived, 99) * micros_per_tick;
  summary.max = arrived.back() * micros_per_tick;
  return summary;
}
