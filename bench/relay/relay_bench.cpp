// Messages per second and latency of the program's relay path, from a server
// push on the TCP link to the page's clientJS2, beside the bare PackClient
// receive loop fed by the same sender.
// Usage: relay_bench.exe <page url> [messages per size] [idle-link messages]
// The page at <page url> must define clientJS2(message) calling
// benchArrived(message.seq, message.t) (bench/relay/page/index.html).
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "bench/relay/arrival_log.h"
#include "bench/relay/bench_runs.h"
#include "bench/relay/stage_costs.h"
#include "log/log_file.h"
#include "page/page_host.h"
#include "page/script_bridge.h"

namespace {

constexpr long kDefaultMessages = 20000;
constexpr long kDefaultIdleMessages = 1000;
// Messages of an unreported first run, so the engine's and the library's
// first-use costs stay out of the figures.
constexpr long kWarmUpMessages = 500;
constexpr size_t kBodySizes[] = {200, 4096};
// The relay should keep at least this share of the bare loop's rate.
constexpr double kTargetShare = 0.5;
constexpr DWORD kPageLoadTimeoutMs = 20000;
constexpr char kWindowClass[] = "LumoRelayBench";
constexpr char kBenchFolder[] = "lumo_relay_bench\\";
constexpr char kLogFiles[] = "log\\lumo_log\\";

bool g_page_loaded = false;
int g_page_result = -1;

void __cdecl PageLoaded(wkeWebView, void*, wkeString, int result, wkeString) {
  g_page_loaded = true;
  g_page_result = result;
}

// A hidden popup like the program's main window, at a usual screen size so
// the page lays out as it would on the customer display.
HWND CreateBenchWindow() {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = ::DefWindowProcA;
  window_class.hInstance = ::GetModuleHandleA(nullptr);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassA(&window_class);
  return ::CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 1024, 768, nullptr, nullptr,
                           window_class.hInstance, nullptr);
}

bool LoadBenchPage(const std::string& url) {
  PageHost& host = Host();
  BindFunction("benchArrived", &BenchArrived, 2);
  host.SetMessageFilter(&HostMessageFilter);
  host.OnLoadingFinish(&PageLoaded, nullptr);
  host.Load(url);
  const DWORD start = ::GetTickCount();
  while (!g_page_loaded && ::GetTickCount() - start < kPageLoadTimeoutMs) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
  }
  return g_page_loaded && g_page_result == 0;
}

// The program's start-up steps that the relay path relies on.
bool SetUpProgram(const std::string& folder, const std::string& url) {
  AppState& app = App();
  app.app_name = kAppName;
  app.run_directory = folder;
  app.page_url = url;
  app.page_message = ::RegisterWindowMessageA(kPageMessageName);
  app.main_window = CreateBenchWindow();
  if (app.main_window == nullptr) return false;
  // Every server message is logged on its way, so the log is part of the path.
  if (!OpenLog(app.app_name, folder)) std::fprintf(stderr, "log not opened; runs without it\n");
  if (!Host().Attach(app.main_window, true, false)) return false;
  Host().SetLocalStorageFullPath(folder);
  return LoadBenchPage(url);
}

void DeleteLogFiles(const std::string& folder) {
  const std::string logs = folder + kLogFiles;
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((logs + "*.txt").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    ::DeleteFileA((logs + found.cFileName).c_str());
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}

void TearDownProgram(const std::string& folder) {
  Host().Detach();
  ::DestroyWindow(App().main_window);
  App().main_window = nullptr;
  StopLog();
  DeleteLogFiles(folder);
}

void PrintRun(const char* name, const RunResult& run, bool with_rate) {
  std::printf("  %-22s", name);
  if (with_rate) std::printf(" %9.0f msg/s (%6.3f s)", run.rate, run.seconds);
  const LatencySummary& l = run.latency;
  std::printf("  latency us p50 %8.1f p90 %8.1f p99 %8.1f max %8.1f", l.p50, l.p90, l.p99, l.max);
  if (!run.complete()) {
    std::printf("  INCOMPLETE: %ld of %ld, %ld out of order, %ld unreadable", run.received,
                run.expected, run.out_of_order, run.unreadable);
  }
  std::printf("\n");
}

// Both loops at one body size; false when a run lost or reordered messages.
bool MeasureSize(size_t body, long count, long idle_count) {
  RunResult bare = RunBareLoop(BenchSender::Mode::kFlood, count, body);
  RunResult relay = RunRelay(BenchSender::Mode::kFlood, count, body);
  std::printf("body %zu B, %ld messages as fast as they are taken:\n", body, count);
  PrintRun("bare PackClient loop", bare, true);
  PrintRun("relay to clientJS2", relay, true);
  const double share = bare.rate > 0 ? relay.rate / bare.rate : 0;
  std::printf("  relay / bare rate      %.3f (target %.2f: %s)\n", share, kTargetShare,
              share >= kTargetShare ? "met" : "NOT met");
  RunResult idle_bare = RunBareLoop(BenchSender::Mode::kLockstep, idle_count, body);
  RunResult idle_relay = RunRelay(BenchSender::Mode::kLockstep, idle_count, body);
  std::printf("body %zu B, %ld messages one at a time (idle link):\n", body, idle_count);
  PrintRun("bare PackClient loop", idle_bare, false);
  PrintRun("relay to clientJS2", idle_relay, false);
  PrintStageCosts(body, idle_count);
  return bare.complete() && relay.complete() && idle_bare.complete() && idle_relay.complete();
}

std::string BenchFolder() {
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + kBenchFolder;
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <page url> [messages per size] [idle-link messages]\n",
                 argv[0]);
    return 2;
  }
  const long count = argc > 2 ? std::atol(argv[2]) : kDefaultMessages;
  const long idle_count = argc > 3 ? std::atol(argv[3]) : kDefaultIdleMessages;
  if (count <= 0 || idle_count <= 0) return 2;
  WSADATA winsock;
  if (::WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return 1;
  const std::string folder = BenchFolder();
  bool ok = SetUpProgram(folder, argv[1]);
  if (!ok) {
    std::fprintf(stderr, "page %s did not load (result %d)\n", argv[1], g_page_result);
  } else {
    std::printf("relay benchmark, counter %lld Hz\n",
                static_cast<long long>(PerformanceFrequency()));
    ok = RunBareLoop(BenchSender::Mode::kFlood, kWarmUpMessages, kBodySizes[0]).complete() &&
         RunRelay(BenchSender::Mode::kFlood, kWarmUpMessages, kBodySizes[0]).complete();
    if (!ok) std::fprintf(stderr, "warm-up run lost messages\n");
    for (size_t body : kBodySizes) ok = MeasureSize(body, count, idle_count) && ok;
  }
  TearDownProgram(folder);
  ::WSACleanup();
  return ok ? 0 : 1;
}
