// The fault-test build's FaultPoint: raises a real fatal error at the place
// named in "fault.txt" in the program folder, one line "<site> <kind> [keep]":
//   site  page-loaded | watchdog | socket-worker | log-writer | update-handoff | shutdown
//   kind  access (a write through a null pointer) | check (a failed internal
//         check) | terminate (an exception that nobody catches)
//   keep  the file stays, so every restarted copy fails the same way;
//         otherwise it is deleted when the fault fires, and the copy started
//         after it runs normally.
// Several lines arm several places (a second fault during the shutdown).
// Nothing fires before the first successful page load, so start-up is whole.
#include <windows.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/system_utils.h"
#include "page/console_report.h"
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
  } kSites[] = {
      {"page-loaded", FaultSite::kPageLoaded},       {"watchdog", FaultSite::kWatchdog},
      {"socket-worker", FaultSite::kSocketWorker},   {"log-writer", FaultSite::kLogWriter},
      {"update-handoff", FaultSite::kUpdateHandOff}, {"shutdown", FaultSite::kShutdown}};
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

void Raise(const std::string& kind) {
  if (kind == "check") FailInternalCheck(kCheckCode, "check failed: fault injected");
  if (kind == "terminate") ThrowThroughNoexcept();
  WriteThroughNull();
}

}  // namespace

void FaultPoint(FaultSite site) {
  std::call_once(g_read_once, ReadFaults);
  if (site == FaultSite::kPageLoaded) g_armed = true;
  if (!g_armed) return;
  for (Fault* fault : g_faults) {
    if (fault->site != site || fault->fired.exchange(true)) continue;
    if (!g_keep) ::DeleteFileA(FaultFile().c_str());
    Raise(fault->kind);
  }
}
