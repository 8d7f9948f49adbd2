#pragma once
// The headless browser behind one view: started with a profile of its own,
// driven over a channel only its owner can reach, and never left running after
// its owner.
//
// Under Wine the browser's debugging pipe is the channel: its keeper holds the
// pipe's two FIFOs in a folder of the profile only our Unix user may enter.
// A debugging port (on loopback, open to every local user) comes on top only
// when LUMO_DEVTOOLS_PORT=1 asks for it, for the developer tools; on Windows
// the browser still gets the port, the one way it is driven there.
//
// Under Wine the Linux browser is started through a small shell wrapper that
// stops it when asked (a stop file) or when the Wine process that started it
// disappears, however that happens (its heartbeat file stops changing). On Windows the browser runs
// in a job object that ends it when the last handle to the job closes.
// clang-format off
#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h
#include <windows.h>
// clang-format on

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "util/scoped_handle.h"

struct BrowserOptions {
  std::string browser_path;  // empty: LUMO_BROWSER, then the platform's usual browser
  std::wstring profile_dir;  // Windows path with a trailing backslash; empty: a temp folder
  int start_timeout_ms = 20000;
  // When given and set, Start() stops waiting for the browser (its view is closing).
  const std::atomic<bool>* cancel = nullptr;
};

class BrowserProcess {
 public:
  BrowserProcess() = default;
  ~BrowserProcess() { Stop(); }
  BrowserProcess(const BrowserProcess&) = delete;
  BrowserProcess& operator=(const BrowserProcess&) = delete;

  // Starts the browser and waits for its channel; false (with a reason) on failure.
  bool Start(const BrowserOptions& options, std::string* error);
  // Ends the browser and waits (bounded) until it is gone. Safe to call twice.
  void Stop();

  // The debugging port; 0 when the browser has none (the pipe is used).
  int port() const { return port_; }
  const std::wstring& profile_dir() const { return profile_dir_; }
  bool running() const { return ready_; }
  // The pipe's FIFOs (Windows paths); empty when the browser is driven over its port.
  std::wstring PipeFromBrowser() const;
  std::wstring PipeToBrowser() const;
  bool over_pipe() const { return over_pipe_; }

  // True when this process runs under Wine (a Linux browser is then used).
  static bool UnderWine();
  // The command-line switches every browser gets (the profile and channel come on top).
  static const char* const* CommonSwitches();
  // True when LUMO_DEVTOOLS_PORT=1 asks for a debugging port beside the pipe.
  static bool PortWanted();

 private:
  bool LaunchUnderWine(const std::string& browser, std::string* error);
  bool LaunchOnWindows(const std::string& browser, std::string* error);
  bool WaitForReady(const BrowserOptions& options, std::string* error);
  void StopUnderWine();
  bool KeeperEnded() const;
  std::wstring ProfileFile(const wchar_t* name) const { return profile_dir_ + name; }
  void StartHeartbeat();
  void StopHeartbeat();

  std::wstring profile_dir_;
  bool temporary_profile_ = false;
  int port_ = 0;
  bool ready_ = false;
  bool over_pipe_ = false;  // Wine: the pipe; Windows: the port
  bool with_port_ = false;  // a port is opened (Windows, or asked for)
  bool launched_ = false;
  std::string launch_token_;    // Wine only: what this launch's keeper writes when it ends
  ScopedKernelHandle job_;      // Windows only
  ScopedKernelHandle process_;  // Windows only
  std::thread heartbeat_;       // Wine only: proves to the keeper that we live
  std::mutex heartbeat_lock_;
  std::condition_variable heartbeat_wake_;
  bool heartbeat_stop_ = false;
};

// The owner rewrites the heartbeat file this often, and the keeper ends the
// browser when it is older than the stale limit (file times count in seconds).
constexpr int kHeartbeatPeriodMs = 1000;
constexpr int kHeartbeatStaleSeconds = 3;
// A browser the keeper asks to end (SIGTERM) gets this long before it is killed.
constexpr int kBrowserEndGraceSeconds = 5;
// Writes a whole file; false when it cannot.
bool WriteWholeFile(const std::wstring& path, const std::string& content);
// The Unix path Wine maps a Windows path to; empty outside Wine or when Wine cannot.
std::string WineUnixPath(const std::wstring& windows_path);

// File names inside the profile folder shared with the wrapper script.
extern const wchar_t kBrowserPidFile[];
extern const wchar_t kBrowserStopFile[];
extern const wchar_t kBrowserExitedFile[];
extern const wchar_t kBrowserHeartbeatFile[];
// Names the running keeper, its watcher and its browser: "pid start-time" three times.
extern const wchar_t kBrowserKeeperFile[];
// The private folder of the pipe's FIFOs, inside the profile folder.
extern const wchar_t kBrowserPipeFolder[];
