# Shared environment of the project's scripts: where the Wine prefix, the
# virtual display and the caches live. Sourced, never run.
export LUMO_CACHE="${LUMO_CACHE:-/var/cache/lumo}"
export WINEPREFIX="${WINEPREFIX:-$LUMO_CACHE/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export DISPLAY="${DISPLAY:-:77}"
# The Windows side runs with the ANSI code page 936; scripts/wine-run.sh sets
# LC_ALL for Wine only, so Linux tools keep the machine's own locale.
export LUMO_WINE_LOCALE=zh_CN.UTF-8

# Wine's own background processes (services.exe and the ones it starts) are
# started by the first Windows program and live as long as the kept-alive
# wineserver. Started from a test, they would inherit the test's output pipe
# and keep CTest or pytest waiting for its end until the test times out; so
# they are started here, on their own, with no inherited output.
start_wine_services() {
  prefix_process_runs 'system32.services\.exe' && return 0
  LC_ALL="$LUMO_WINE_LOCALE" setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Whether a process whose command line matches PATTERN runs in this project's
# Wine prefix (another prefix's processes do not count).
prefix_process_runs() {  # prefix_process_runs PATTERN
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
