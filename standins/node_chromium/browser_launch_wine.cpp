// Starting the Linux browser from a Windows program under Wine.
#include <string>

#include "browser_process.h"
#include "protocol_json.h"

namespace {

// Runs the browser in the background and stays as its keeper: it ends the
// browser when the stop file appears or when the Wine process that started it
// is gone, however that happened, and marks the end with the exited file.
// Wine starts Unix programs detached from the starting process and hides its
// Unix id, so the owner proves it is alive by rewriting the heartbeat file
// with a new number; one unchanged for more than STALE seconds means the owner
// is gone. The keeper looks twice a second using only shell built-ins (its
// pause is a timed read of a pipe nobody writes to), so a till that shows a
// page for hours forks nothing. The keeper's own messages (the shell's note
// that the browser was killed) go to a file.
// The browser is driven over its debugging pipe (it reads fd 3, writes fd 4),
// here two FIFOs in a folder only our user may enter. The keeper holds both
// open while the browser lives, so the owner's opening them never waits, and
// lets go when it ends: the owner's read then sees the end of the pipe. It
// removes them too (Wine cannot delete a FIFO, so a temporary profile would stay),
// before it ends: an owner that starts the next browser once it sees the end
// must not have the new pipe removed under it.
// The keeper file names the keeper, its watcher and the browser (ids and start
// times), so the next keeper of the profile can end them when their owner
// could not. The exited file carries the launch's token, so an earlier
// keeper's end is not taken for this one's.
const char kWrapperScript[] = R"(#!/bin/bash
exec 2>"$DIR/lumo-browser-keeper.log"
pause="$DIR/lumo-browser.pause"
[ -p "$pause" ] || mkfifo "$pause"
exec 9<>"$pause"
nap() { read -r -t "$1" -u 9 _; }
# STARTED becomes a live process's start time (clock ticks since boot), which
# with its id names it even after the id is reused; false for a zombie or none.
started() {
  local stat fields
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
  read -ra fields <<<"${stat##*) }"
  [ "${fields[0]}" != Z ] && STARTED=${fields[19]}
}
same() { started "$1" && [ "$STARTED" = "$2" ]; }
# Waits up to $3 tenths of a second for process $1 (started at $2) to end.
gone_within() {
  local n=0
  while same "$1" "$2" && [ $n -lt "$3" ]; do nap 0.1; n=$((n+1)); done
  ! same "$1" "$2"
}
# A keeper and browser that an earlier owner of this profile left running (its
# program ended without stopping them, as after a fatal error) are ended first:
# they would share the profile, the pipe folder and these marker files, and
# the new owner's heartbeat would keep them alive. The keepers go first, so
# none of their clean-up lands on ours.
if read -r k ks w ws b bs <"$DIR/lumo-browser.keeper" 2>/dev/null; then
  for keeper in "$k" "$w"; do
    [ "$keeper" = "$k" ] && keeper_start=$ks || keeper_start=$ws
    same "$keeper" "$keeper_start" && kill -KILL "$keeper" && gone_within "$keeper" "$keeper_start" 20
  done
  if same "$b" "$bs"; then
    kill -TERM "$b"
    gone_within "$b" "$bs" $((GRACE * 10)) || { kill -KILL "$b"; gone_within "$b" "$bs" 20; }
  fi
  echo "an earlier keeper ($k) and browser ($b) of this profile: ended what still ran" >&2
fi
rm -f "$DIR/lumo-browser.keeper"
started $$
keeper_started=$STARTED
chan="$DIR/lumo-devtools"
umask 077
rm -rf "$chan"
if ! mkdir -m 700 "$chan" || ! mkfifo -m 600 "$chan/to-browser" "$chan/from-browser"; then
  echo "$LAUNCH" >"$DIR/lumo-browser.exited"
  exit 1
fi
exec 7<>"$chan/to-browser" 8<>"$chan/from-browser"
"$BROWSER" "$@" --remote-debugging-pipe "--user-data-dir=$DIR" about:blank \
  3<&7 4<&8 7<&- 8<&- >"$DIR/lumo-browser.log" 2>&1 &
browser=$!
started $browser
browser_started=$STARTED
(
  last_beat=
  changed=$SECONDS
  while kill -0 $browser 2>/dev/null; do
    [ -e "$DIR/lumo-browser.stop" ] && break
    beat=
    read -r beat <"$DIR/lumo-browser.alive" 2>/dev/null
    if [ "$beat" != "$last_beat" ]; then
      last_beat=$beat
      changed=$SECONDS
    elif [ $((SECONDS - changed)) -gt $STALE ]; then
      break
    fi
    nap 0.5
  done
  kill -TERM $browser 2>/dev/null
  n=0
  while kill -0 $browser 2>/dev/null && [ $n -lt $((GRACE * 5)) ]; do nap 0.2; n=$((n+1)); done
  kill -KILL $browser 2>/dev/null
) 7<&- 8<&- &
watcher=$!
started $watcher
echo "$$ $keeper_started $watcher $STARTED $browser $browser_started" >"$DIR/lumo-browser.keeper"
echo $browser >"$DIR/lumo-browser.pid"
wait $browser
kill $watcher 2>/dev/null
rm -f "$DIR/lumo-browser.pid" "$DIR/lumo-browser.keeper"
rm -rf "$chan"
echo "$LAUNCH" >"$DIR/lumo-browser.exited"
)";

const wchar_t kWrapperFile[] = L"lumo-browser.sh";

// Quotes a text for the shell: single quotes, each inner one closed and escaped.
std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string WineUnixPath(const std::wstring& windows_path) {
  using Converter = char*(__cdecl*)(const wchar_t*);
  auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return std::string();
  char* unix_path = convert(windows_path.c_str());
  if (!unix_path) return std::string();
  std::string result(unix_path);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
  ScopedKernelHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.IsValid() &&
         ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) &&
         written == content.size();
}

void BrowserProcess::StartHeartbeat() {
  std::wstring path = ProfileFile(kBrowserHeartbeatFile);
  WriteWholeFile(path, "0");
  heartbeat_stop_ = false;
  heartbeat_ = std::thread([this, path] {
    std::unique_lock<std::mutex> lock(heartbeat_lock_);
    while (!heartbeat_wake_.wait_for(lock, std::chrono::milliseconds(kHeartbeatPeriodMs),
                                     [this] { return heartbeat_stop_; })) {
      WriteWholeFile(path, std::to_string(::GetTickCount()));
    }
  });
}

void BrowserProcess::StopHeartbeat() {
  {
    std::lock_guard<std::mutex> lock(heartbeat_lock_);
    heartbeat_stop_ = true;
    heartbeat_wake_.notify_all();
  }
  if (heartbeat_.joinable()) heartbeat_.join();
}

bool BrowserProcess::LaunchUnderWine(const std::string& browser, std::string* error) {
  std::wstring folder = profile_dir_.substr(0, profile_dir_.size() - 1);
  std::string unix_dir = WineUnixPath(folder);
  std::string unix_script = WineUnixPath(ProfileFile(kWrapperFile));
  if (unix_dir.empty() || unix_script.empty()) {
    *error = "no Unix path for the profile folder";
    return false;
  }
  // The browser path, profile folder and switches are written into the script,
  // so no Unix text has to survive Windows command-line quoting.
  std::string script =
      std::string("BROWSER=") + ShellQuote(browser) + "\nDIR=" + ShellQuote(unix_dir) + "\n";
  script += "STALE=" + std::to_string(kHeartbeatStaleSeconds) + "\n";
  script += "GRACE=" + std::to_string(kBrowserEndGraceSeconds) + "\n";
  script += "LAUNCH=" + ShellQuote(launch_token_) + "\n";
  script += "set --";
  for (const char* const* flag = CommonSwitches(); *flag; ++flag) script += " " + ShellQuote(*flag);
  if (with_port_) script += " --remote-debugging-address=127.0.0.1 --remote-debugging-port=0";
  script += "\n";
  std::string body = kWrapperScript;
  body.insert(body.find('\n') + 1, script);
  if (!WriteWholeFile(ProfileFile(kWrapperFile), body)) {
    *error = "cannot write the browser wrapper script";
    return false;
  }
  StartHeartbeat();
  std::wstring command = L"/bin/bash \"" + Utf8ToWide(unix_script) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    *error = "cannot start /bin/bash";
    return false;
  }
  // Wine gives no usable handles for a Unix process; the wrapper's files stand in.
  if (info.hThread) ::CloseHandle(info.hThread);
  if (info.hProcess) ::CloseHandle(info.hProcess);
  return true;
}
