#include "app/status_file.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "log/log_file.h"

namespace {

// At least this often the file is written even when nothing changed, so its
// time tells a reader that the program still runs.
constexpr DWORD kRewriteMs = 30000;
// A burst of changes (pushes arriving back to back) is written at most this
// often; the last change of a burst is always written.
constexpr DWORD kMinGapMs = 250;

enum class Link { kNone, kUp, kDown };

struct Status {
  std::string folder;
  std::string version;
  HWND window = nullptr;
  int64_t started = 0;
  RunState state = RunState::kStarting;
  Link link = Link::kNone;
  int64_t link_since = 0;
  int64_t last_push = 0;
  int pushes_today = 0;
  int push_day = 0;  // local YYYYMMDD of pushes_today
  std::vector<int64_t> restart_times;
  std::string restart_reason;
  std::string fatal_error;
  int screen = 0;
};

std::mutex g_lock;  // guards g_status, and nothing else
Status g_status;
HANDLE g_changed = nullptr;  // auto-reset: a hook changed something
HANDLE g_quit = nullptr;     // manual-reset: write the last status and end
HANDLE g_writer = nullptr;

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

int LocalDay(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  tm local = {};
  localtime_s(&local, &t);
  return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void Changed() {
  if (g_changed) ::SetEvent(g_changed);
}

const char* LinkName(Link link) {
  switch (link) {
    case Link::kUp:
      return "up";
    case Link::kDown:
      return "down";
    default:
      return "none";
  }
}

JsonDocument StatusDocument(const Status& status, int64_t now) {
  JsonDocument document;
  document.SetText("version", status.version);
  document.SetInt64("pid", ::GetCurrentProcessId());
  document.SetText("started", StatusTimeText(status.started));
  document.SetText("state", RunStateName(status.state));
  document.SetText("link", LinkName(status.link));
  document.SetText("link_since", StatusTimeText(status.link_since));
  document.SetText("last_push", StatusTimeText(status.last_push));
  document.SetInt64("pushes_today", status.push_day == LocalDay(now) ? status.pushes_today : 0);
  document.SetInt64("restarts_10min",
                    static_cast<int64_t>(RecentRestarts(status.restart_times, now).size()));
  document.SetText("last_restart_reason", status.restart_reason);
  document.SetText("fatal_error", status.fatal_error);
  document.SetInt64("screen", status.screen);
  RECT rect = {};
  bool visible = status.window && ::IsWindowVisible(status.window);
  if (status.window) ::GetWindowRect(status.window, &rect);
  document.SetBool("window_visible", visible);
  document.SetInt64("window_x", rect.left);
  document.SetInt64("window_y", rect.top);
  document.SetInt64("window_width", rect.right - rect.left);
  document.SetInt64("window_height", rect.bottom - rect.top);
  document.SetText("written", StatusTimeText(now));
  return document;
}

std::string Utf8(const std::u16string& text) {
  if (text.empty()) return "";
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), &out[0], size, nullptr,
                        nullptr);
  return out;
}

// The whole file is written under another name and then renamed over the
// old one, so a reader sees the old status or the new one, never a mix.
bool ReplaceFile(const std::string& path, const std::string& content) {
  std::string temporary = path + ".tmp";
  HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok =
      ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
      written == content.size();
  ::CloseHandle(file);
  // A reader holding the file open without delete sharing makes the rename
  // fail; the next write tries again.
  return ok && ::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void WriteNow() {
  Status copy;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    copy = g_status;
  }
  std::string text = Utf8(StatusDocument(copy, Now()).ToWideText("", true, true)) + "\r\n";
  ReplaceFile(copy.folder + kStatusFileName, text);
}

DWORD WINAPI WriterThread(void*) {
  HANDLE wake[] = {g_quit, g_changed};
  for (;;) {
    DWORD woke = ::WaitForMultipleObjects(2, wake, FALSE, kRewriteMs);
    if (woke == WAIT_OBJECT_0) break;
    WriteNow();
    if (::WaitForSingleObject(g_quit, kMinGapMs) == WAIT_OBJECT_0) break;
  }
  WriteNow();
  return 0;
}

std::string PreviousFatalError(const std::string& path) {
  JsonDocument previous;
  if (!ReadStatusFile(path, &previous)) return "";
  return previous.GetText("fatal_error");
}

}  // namespace

const char* RunStateName(RunState state) {
  switch (state) {
    case RunState::kStarting:
      return "starting";
    case RunState::kWaitingForServer:
      return "waiting_for_server";
    case RunState::kScreenDialog:
      return "screen_dialog";
    case RunState::kPageLoading:
      return "page_loading";
    case RunState::kPageLoaded:
      return "page_loaded";
    case RunState::kOffline:
      return "offline";
    case RunState::kShuttingDown:
      return "shutting_down";
  }
  return "unknown";
}

void StartStatusFile(HWND main_window, const std::string& folder, const std::string& version,
                     const RestartHistory& history) {
  if (g_writer) return;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_status = Status();
    g_status.folder = folder;
    g_status.version = version;
    g_status.window = main_window;
    g_status.started = Now();
    g_status.restart_times = history.times;
    if (history.previous_process != 0)
      g_status.restart_reason = PreviousFatalError(folder + kStatusFileName);
  }
  if (!g_changed) g_changed = ::CreateEventA(nullptr, FALSE, TRUE, nullptr);
  if (!g_quit) g_quit = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!g_changed || !g_quit) return;
  ::ResetEvent(g_quit);
  ::SetEvent(g_changed);
  StartThread(WriterThread, nullptr, &g_writer);
}

void StatusState(RunState state) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_status.state == RunState::kShuttingDown) return;
    g_status.state = state;
  }
  Changed();
}

void StatusLinkUp() {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_status.link = Link::kUp;
    g_status.link_since = Now();
  }
  Changed();
}

void StatusLinkDown() {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    // Repeated failed attempts keep the time the link went down.
    if (g_status.link == Link::kDown) return;
    g_status.link = Link::kDown;
    g_status.link_since = Now();
  }
  Changed();
}

void StatusPush() {
  int64_t now = Now();
  int today = LocalDay(now);
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_status.push_day != today) {
      g_status.push_day = today;
      g_status.pushes_today = 0;
    }
    ++g_status.pushes_today;
    g_status.last_push = now;
  }
  Changed();
}

void StatusScreen(int screen) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_status.screen = screen;
  }
  Changed();
}

void StatusWindowMoved() { Changed(); }

void StatusFatalError(const std::string& reason) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_status.fatal_error.empty()) return;  // the first one is the cause
    g_status.fatal_error = reason;
  }
  Changed();
}

void StopStatusFile(DWORD wait_ms) {
  if (!g_writer) return;
  ::SetEvent(g_quit);
  if (::WaitForSingleObject(g_writer, wait_ms) != WAIT_OBJECT_0) return;  // left to the exit
  ::CloseHandle(g_writer);
  g_writer = nullptr;
}

const std::vector<const char*>& StatusKeys() {
  static const std::vector<const char*> keys = {
      "version",      "pid",           "started",        "state",          "link",
      "link_since",   "last_push",     "pushes_today",   "restarts_10min", "last_restart_reason",
      "fatal_error",  "screen",        "window_visible", "window_x",       "window_y",
      "window_width", "window_height", "written"};
  return keys;
}

std::string StatusTimeText(int64_t unix_seconds) {
  if (unix_seconds == 0) return "";
  time_t t = static_cast<time_t>(unix_seconds);
  tm local = {};
  localtime_s(&local, &t);
  tm as_utc = local;
  int64_t offset = static_cast<int64_t>(_mkgmtime(&as_utc)) - unix_seconds;
  char sign = offset < 0 ? '-' : '+';
  int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  char text[40];
  snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
           local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, sign,
           static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
  return text;
}

bool ParseStatusTime(const std::string& text, int64_t* unix_seconds) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, oh = 0, om = 0, used = 0;
  char zone = 0;
  if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &y, &mo, &d, &h, &mi, &s, &zone, &used) !=
      7)
    return false;
  int sign = 0;
  if (zone == 'Z' && static_cast<size_t>(used) == text.size()) {
    sign = 0;
  } else if ((zone == '+' || zone == '-') &&
             sscanf(text.c_str() + used, "%2d:%2d", &oh, &om) == 2 &&
             text.size() == static_cast<size_t>(used) + 5) {
    sign = zone == '+' ? 1 : -1;
  } else {
    return false;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
  *unix_seconds =
      DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s - sign * (oh * 3600 + om * 60);
  return true;
}

bool StatusIsGood(const JsonDocument& status, int64_t now, std::string* reason) {
  int64_t written = 0;
  if (!ParseStatusTime(status.GetText("written"), &written)) {
    *reason = "the status has no time it was written";
    return false;
  }
  if (now - written > kStatusFreshSeconds) {
    *reason = "stale: written " + std::to_string(now - written) +
              " s ago (the program is not running, or hangs)";
    return false;
  }
  std::string state = status.GetText("state");
  if (state != RunStateName(RunState::kPageLoaded)) {
    *reason = "the page is not loaded: state " + state;
    return false;
  }
  if (status.GetText("link") != "up") {
    *reason = "the link to the server is " + status.GetText("link") + " since " +
              status.GetText("link_since");
    return false;
  }
  return true;
}

bool ReadStatusFile(const std::string& path, JsonDocument* status) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  std::string bytes;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
  fclose(file);
  if (bytes.empty()) return false;
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string wide(static_cast<size_t>(size), u'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(&wide[0]), size);
  return status->Parse(wide, true);
}
