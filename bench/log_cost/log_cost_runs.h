#pragma once
// The two loggers' runs: the same lines, written by the same calling thread,
// timed on that thread. Each run gives the mean caller cost of a burst (calls
// back to back) and the percentiles of calls made one at a time with the
// writer idle in between, then the time until every line was in its file.
#include <string>
#include <vector>

struct LogCost {
  double burst_mean_us = 0;  // mean cost per call, calls back to back
  double single_p50_us = 0;  // one call at a time, the writer idle in between
  double single_p99_us = 0;
  double drain_ms = 0;  // after the burst: until the last line is written
};

// The message of one relayed push: the log line the program writes for it.
std::string PushLogMessage(size_t body_bytes);

// Our WriteLog, logging into `folder` as the program does.
LogCost MeasureWriteLog(const std::string& folder, long burst, long singles, size_t body_bytes);
// spdlog's asynchronous logger (one worker thread, a bounded queue that
// makes the caller wait when full) with a basic file sink in `folder`.
LogCost MeasureSpdlog(const std::string& folder, long burst, long singles, size_t body_bytes);
