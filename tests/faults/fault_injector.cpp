// The fault-test build's FaultPoint: raises a real fatal error at the place
// named in "fault.txt" in the program folder, one line "<site> <kind> [keep]":
//   site  start-up | page-loaded | watchdog | socket-worker | log-writer | log-writer-locked |
//         update-handoff | shutdown | watcher-start
//   kind  access (a write through a null pointer) | check (a failed internal
//         check) | terminate (an exception that nobody catches) | overflow
//         (a recursion that runs out of stack) | pause<N> (no fault: the
//         thread sleeps N seconds, so another line's fault finds it busy) |
//         stuck (no error: the thread stops there for good, keeping what it
//         holds)
//   keep  the file stays, so every restarted copy fails the same way;
//         otherwise it is deleted when the fault fires, and the copy started
//         after it runs normally.
// Several lines arm several places (a second fault during the shutdown).
// When a fault fires, "fault-fired.txt" in the program folder gets the time
// (Unix milliseconds), so a test can bound what follows the fault itself.
// Nothing fires before the first successful page load, so start-up is whole;
// only the start-up and watcher-start sites are armed from the start, for a
// pause there.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/fatal_error.h"
#include "app/system_utils.h"
#include "tests/support/run_out_of_stack.h"
#include "util/fault_point.h"

namespace {

struct Fault {
  FaultSite site;
  std::string kind;
  std::atomic<bool> fired{false};
};

constexpr int kCheckCode = 99;

std::once_flag g_read_once;
std::vector<Fault*> g_faults;
bool g_keep = false;
std::atomic<bool> g_armed{false};

bool SiteNamed(const std::string& name, FaultSite* site) {
  static const struct {
    const char* name;
    FaultSite site;
  } kSites[] = {{"start-up", FaultSite::kStartUp},
                {"page-loaded", FaultSite::kPageLoaded},
                {"watchdog", FaultSite::kWatchdog},
                {"socket-worker", FaultSite::kSocketWorker},
                {"log-writer", FaultSite::kLogWriter},
                {"log-writer-locked", FaultSite::kLogWriterLocked},
                {"update-handoff", FaultSite::kUpdateHandOff},
                {"shutdown", FaultSite::kShutdown},
                {"watcher-start", FaultSite::kWatcherStart}};
  for (const auto& known : kSites) {
    if (name == known.name) {
      *site = known.site;
      return true;
    }
  }
  return false;
}

std::string FaultFile() { return ProcessDirectory() + "fault.txt"; }

void ReadFaults() {
  std::ifstream file(FaultFile());
  std::string site_name, kind, keep;
  std::string line;
  while (std::getline(file, line)) {
    size_t first = line.find(' ');
    if (first == std::string::npos) continue;
    site_name = line.substr(0, first);
    kind = line.substr(first + 1);
    size_t second = kind.find(' ');
    if (second != std::string::npos) {
      keep = kind.substr(second + 1);
      kind = kind.substr(0, second);
      if (keep.rfind("keep", 0) == 0) g_keep = true;
    }
    while (!kind.empty() && (kind.back() == '\r' || kind.back() == ' ')) kind.pop_back();
    FaultSite site;
    if (SiteNamed(site_name, &site)) g_faults.push_back(new Fault{site, kind});
  }
}

// Read at run time, so the compiler cannot see the write is through null and
// drop it as undefined behaviour.
int* volatile g_nowhere = nullptr;

void __attribute__((noinline)) WriteThroughNull() { *g_nowhere = 1; }

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wterminate"  // reaching std::terminate is the point
void ThrowThroughNoexcept() noexcept { throw std::runtime_error("fault injected"); }
#pragma GCC diagnostic pop

// "pause<seconds>": the thread only sleeps, as one waiting in a long call
// would; the faults of other lines fire meanwhile.
bool IsPause(const std::string& kind, DWORD* ms) {
  if (kind.rfind("pause", 0) != 0) return false;
  *ms = static_cast<DWORD>(std::atoi(kind.c_str() + 5)) * 1000;
  return true;
}

// When the fault fired (Unix milliseconds), for tests that bound what follows it.
void NoteFiringTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  unsigned long long unix_ms = (ticks.QuadPart - 116444736000000000ULL) / 10000;
  std::ofstream(ProcessDirectory() + "fault-fired.txt") << unix_ms << "\n";
}

void Raise(const std::string& kind) {
  if (kind == "stuck") {
    for (;;) ::Sleep(INFINITE);
  }
  DWORD pause_ms = 0;
  if (IsPause(kind, &pause_ms)) {
    ::Sleep(pause_ms);
    return;
  }
  NoteFiringTime();
  if (kind == "check") FailInternalCheck(kCheckCode, "check failed: fault injected");
  if (kind == "terminate") ThrowThroughNoexcept();
  if (kind == "overflow") RunOutOfStack(0);
  WriteThroughNull();
}

}  // namespace

void FaultPoint(FaultSite site) {
  std::call_once(g_read_once, ReadFaults);
  if (site == FaultSite::kPageLoaded) g_armed = true;
  bool armed_from_start = site == FaultSite::kStartUp || site == FaultSite::kWatcherStart;
  if (!g_armed && !armed_from_start) return;
  for (Fault* fault : g_faults) {
    if (fault->site != site || fault->fired.exchange(true)) continue;
    if (!g_keep) ::DeleteFileA(FaultFile().c_str());
    Raise(fault->kind);
  }
}
