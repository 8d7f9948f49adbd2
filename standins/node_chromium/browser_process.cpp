#include "browser_process.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>

#include "protocol_json.h"

const wchar_t kBrowserPidFile[] = L"lumo-browser.pid";
const wchar_t kBrowserStopFile[] = L"lumo-browser.stop";
const wchar_t kBrowserExitedFile[] = L"lumo-browser.exited";
const wchar_t kBrowserHeartbeatFile[] = L"lumo-browser.alive";
const wchar_t kBrowserKeeperFile[] = L"lumo-browser.keeper";
const wchar_t kBrowserPipeFolder[] = L"lumo-devtools";

namespace {
// The browser writes its port here once it listens.
const wchar_t kActivePortFile[] = L"DevToolsActivePort";
// The browser gets this long to end after being asked before we stop waiting.
constexpr DWORD kStopWaitMs = 8000;
constexpr DWORD kPollMs = 50;

// Back-forward caching is off: a page left and come back to is loaded again,
// so the host is asked about that navigation like any other.
const char* const kSwitches[] = {"--headless",
                                 "--no-sandbox",
                                 "--disable-gpu",
                                 "--no-first-run",
                                 "--disable-background-networking",
                                 "--disable-component-update",
                                 "--disable-sync",
                                 "--disable-quic",
                                 "--disable-auto-reload",
                                 "--no-default-browser-check",
                                 "--mute-audio",
                                 "--disable-features=BackForwardCache",
                                 nullptr};

bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadSmallFile(const std::wstring& path) {
  ScopedKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) return std::string();
  char buffer[512];
  DWORD read = 0;
  if (!::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr)) return std::string();
  return std::string(buffer, read);
}

void DeleteTree(const std::wstring& folder) {
  std::wstring from = folder;
  if (!from.empty() && from.back() == L'\\') from.pop_back();
  from.push_back(L'\0');  // the shell wants a double-NUL-terminated list
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  ::SHFileOperationW(&operation);
}

std::wstring TemporaryProfile() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  wchar_t name[64];
  swprintf(name, 64, L"lumo-browser-%lu-%lu\\", ::GetCurrentProcessId(), ::GetTickCount());
  return std::wstring(temp) + name;
}

std::string DefaultWindowsBrowser() {
  const char* const candidates[][2] = {
      {"ProgramFiles(x86)", "\\Microsoft\\Edge\\Application\\msedge.exe"},
      {"ProgramFiles", "\\Microsoft\\Edge\\Application\\msedge.exe"},
      {"ProgramFiles(x86)", "\\Google\\Chrome\\Application\\chrome.exe"},
      {"ProgramFiles", "\\Google\\Chrome\\Application\\chrome.exe"},
      {"LOCALAPPDATA", "\\Google\\Chrome\\Application\\chrome.exe"}};
  for (const auto& candidate : candidates) {
    const char* root = std::getenv(candidate[0]);
    if (!root) continue;
    std::string path = std::string(root) + candidate[1];
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
  }
  return std::string();
}

}  // namespace

const char* const* BrowserProcess::CommonSwitches() { return kSwitches; }

bool BrowserProcess::PortWanted() {
  // Read from the process environment itself: a test sets it after start-up.
  char value[8] = {};
  DWORD length = ::GetEnvironmentVariableA("LUMO_DEVTOOLS_PORT", value, sizeof(value));
  return length > 0 && length < sizeof(value) && std::string(value) == "1";
}

std::wstring BrowserProcess::PipeFromBrowser() const {
  return over_pipe_ ? profile_dir_ + kBrowserPipeFolder + L"\\from-browser" : std::wstring();
}

std::wstring BrowserProcess::PipeToBrowser() const {
  return over_pipe_ ? profile_dir_ + kBrowserPipeFolder + L"\\to-browser" : std::wstring();
}

bool BrowserProcess::UnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool BrowserProcess::Start(const BrowserOptions& options, std::string* error) {
  Stop();
  temporary_profile_ = options.profile_dir.empty();
  profile_dir_ = temporary_profile_ ? TemporaryProfile() : options.profile_dir;
  ::SHCreateDirectoryExW(nullptr, profile_dir_.c_str(), nullptr);
  // Leftovers of an earlier run would make us read a dead port or stop at once.
  for (const wchar_t* name :
       {kActivePortFile, kBrowserStopFile, kBrowserPidFile, kBrowserExitedFile}) {
    ::DeleteFileW(ProfileFile(name).c_str());
  }
  std::string browser = options.browser_path;
  if (browser.empty() && std::getenv("LUMO_BROWSER")) browser = std::getenv("LUMO_BROWSER");
  bool wine = UnderWine();
  if (browser.empty()) browser = wine ? "/usr/bin/chromium" : DefaultWindowsBrowser();
  if (browser.empty()) {
    *error = "no browser found";
    return false;
  }
  over_pipe_ = wine;
  launch_token_ = std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount());
  with_port_ = !wine || PortWanted();
  launched_ = wine ? LaunchUnderWine(browser, error) : LaunchOnWindows(browser, error);
  if (launched_ && WaitForReady(options, error)) return true;
  Stop();
  return false;
}

bool BrowserProcess::WaitForReady(const BrowserOptions& options, std::string* error) {
  DWORD started = ::GetTickCount();
  while (::GetTickCount() - started < static_cast<DWORD>(options.start_timeout_ms)) {
    if (options.cancel && *options.cancel) {
      *error = "start given up";
      return false;
    }
    int port = std::atoi(ReadSmallFile(ProfileFile(kActivePortFile)).c_str());
    if (port > 0 && port < 65536) port_ = port;
    // The keeper writes the browser's id once the browser holds the pipe,
    // and keeps the pipe open itself while the browser lives.
    bool pipe_ready = !over_pipe_ || FileExists(ProfileFile(kBrowserPidFile));
    if (pipe_ready && (port_ != 0 || !with_port_)) {
      ready_ = true;
      return true;
    }
    bool ended = process_.IsValid() ? ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0
                                    : KeeperEnded();
    if (ended) {
      *error = "the browser ended during start-up";
      return false;
    }
    ::Sleep(kPollMs);
  }
  *error = "the browser did not open its debugging channel in time";
  return false;
}

bool BrowserProcess::LaunchOnWindows(const std::string& browser, std::string* error) {
  std::wstring command = L"\"" + Utf8ToWide(browser) + L"\"";
  for (const char* const* flag = kSwitches; *flag; ++flag) command += L" " + Utf8ToWide(*flag);
  command += L" --remote-debugging-address=127.0.0.1 --remote-debugging-port=0";
  std::wstring profile = profile_dir_.substr(0, profile_dir_.size() - 1);
  command += L" \"--user-data-dir=" + profile + L"\" about:blank";
  job_.Set(::CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job_.IsValid() || !::SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation,
                                                    &limits, sizeof(limits))) {
    *error = "CreateJobObject failed";
    return false;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    *error = "CreateProcess failed for " + browser;
    return false;
  }
  process_.Set(info.hProcess);
  // In the job before its first instruction, so its children are in it too.
  ::AssignProcessToJobObject(job_.Get(), info.hProcess);
  ::ResumeThread(info.hThread);
  ::CloseHandle(info.hThread);
  return true;
}

void BrowserProcess::Stop() {
  if (launched_) {
    if (process_.IsValid()) {
      ::TerminateJobObject(job_.Get(), 0);
      ::WaitForSingleObject(process_.Get(), kStopWaitMs);
    } else {
      StopUnderWine();
    }
  }
  launched_ = false;
  StopHeartbeat();
  process_.Close();
  job_.Close();
  port_ = 0;
  ready_ = false;
  if (temporary_profile_ && !profile_dir_.empty()) DeleteTree(profile_dir_);
  temporary_profile_ = false;
}

bool BrowserProcess::KeeperEnded() const {
  std::string token = ReadSmallFile(ProfileFile(kBrowserExitedFile));
  while (!token.empty() && (token.back() == '\n' || token.back() == '\r')) token.pop_back();
  return !token.empty() && token == launch_token_;
}

void BrowserProcess::StopUnderWine() {
  ScopedKernelHandle stop(::CreateFileW(ProfileFile(kBrowserStopFile).c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, 0, nullptr));
  stop.Close();
  DWORD asked = ::GetTickCount();
  while (!KeeperEnded() && ::GetTickCount() - asked < kStopWaitMs) {
    ::Sleep(kPollMs);
  }
}
