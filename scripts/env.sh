# Shared environment of the project's scripts: which Windows target they work
# with, and where its Wine, Wine prefix, libcurl and build tree are. Sourced,
# never run.
#
# Two Windows targets come from the same sources (LUMO_ARCH):
#   x86_64  the default; runs under 64-bit Wine on every machine;
#   i686    the program that ships to tills; runs under 32-bit Wine, which
#           needs a machine that runs 32-bit code (some kernels refuse it).
LUMO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export LUMO_CACHE="${LUMO_CACHE:-/var/cache/lumo}"
export WINEDEBUG="${WINEDEBUG:--all}"
export DISPLAY="${DISPLAY:-:77}"
# The Windows side runs with the ANSI code page 936; scripts/wine-run.sh sets
# LC_ALL for Wine only, so Linux tools keep the machine's own locale.
export LUMO_WINE_LOCALE=zh_CN.UTF-8
LUMO_ARCHS=(x86_64 i686)

# Where one target's libcurl (include/, bin/) is built once and kept.
lumo_curl_dir() {  # lumo_curl_dir ARCH
  echo "$LUMO_CACHE/curl-$1"
}

# Makes ARCH the target of everything that follows: its Wine loader and
# wineserver (called directly: /usr/bin/wine prefers the 32-bit loader
# whenever its file exists, even where it cannot run), a Wine prefix of its
# own (a prefix is either 32- or 64-bit), its libcurl and its build tree.
lumo_use_arch() {  # lumo_use_arch ARCH
  case "$1" in
    x86_64)
      export WINEARCH=win64 LUMO_WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
      LUMO_MINGW=x86_64-w64-mingw32 ;;
    i686)
      export WINEARCH=win32 LUMO_WINE=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
      LUMO_MINGW=i686-w64-mingw32 ;;
    *)
      echo "LUMO_ARCH=$1: no such Windows target (${LUMO_ARCHS[*]})" >&2
      return 1 ;;
  esac
  export LUMO_ARCH="$1" LUMO_MINGW
  export WINELOADER="$LUMO_WINE"
  export WINEPREFIX="$LUMO_CACHE/wine-$1"
  export LUMO_CURL_DIR="$(lumo_curl_dir "$1")"
  export LUMO_BUILD="$LUMO_ROOT/build/win-$1"
  export LUMO_TOOLCHAIN="$LUMO_ROOT/cmake/mingw-$1.cmake"
}

# The target of a PE file: its COFF machine field, at the offset that the
# DOS header's word at 0x3c gives, plus 4.
pe_arch() {  # pe_arch FILE
  local pe machine
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$pe" ] || return 1
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) return 1 ;;
  esac
}

# Makes the target of a Windows program, read from its PE header, the target
# of everything that follows; a file that is no PE program leaves it as it was.
lumo_use_arch_of() {  # lumo_use_arch_of FILE
  local arch
  if arch=$(pe_arch "$1"); then lumo_use_arch "$arch"; fi
}

# Whether this machine runs 32-bit code, found once by running a 32-bit
# program (the 32-bit dynamic loader of Debian's libc6-i386): kernels without
# IA-32 emulation refuse every one with "Exec format error", whatever their
# version says. LUMO_RUNS_32BIT=no set beforehand makes a machine that could
# count as one that cannot.
machine_runs_32bit() {
  if [ -z "${LUMO_RUNS_32BIT:-}" ]; then
    if /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
      LUMO_RUNS_32BIT=yes
    else
      LUMO_RUNS_32BIT=no
    fi
    export LUMO_RUNS_32BIT
  fi
  [ "$LUMO_RUNS_32BIT" = yes ]
}

# Whether the i686 build's programs run here: the machine runs 32-bit code
# and 32-bit Wine (Debian's wine32, its loader and wineserver) is installed.
# Setup goes on without 32-bit Wine when the package archive cannot give it.
i686_runs() {
  machine_runs_32bit && [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wineserver32 ]
}

# The targets whose Windows programs this machine can run.
runnable_archs() {
  echo x86_64
  if i686_runs; then echo i686; fi
}

# Wine's own background processes (services.exe and the ones it starts) are
# started by the first Windows program and live as long as the kept-alive
# wineserver. Started from a test, they would inherit the test's output pipe
# and keep CTest or pytest waiting for its end until the test times out; so
# they are started here, on their own, with no inherited output.
start_wine_services() {
  prefix_process_runs 'system32.services\.exe' && return 0
  LC_ALL="$LUMO_WINE_LOCALE" setsid "$LUMO_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Whether a process whose command line matches PATTERN runs in this target's
# Wine prefix (another prefix's processes do not count).
prefix_process_runs() {  # prefix_process_runs PATTERN
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# A mirror in the middle of a sync fails one index now and then ("File has
# unexpected size"); that passes within a minute, so try again before giving
# up, and then still try the install with the lists there are.
update_package_lists() {
  local try
  for try in 1 2 3 4; do
    apt-get update -qq >/dev/null && return 0
    echo "updating the package lists failed (try $try of 4)" >&2
    [ "$try" -lt 4 ] && sleep 20
  done
  echo "going on with the package lists there are" >&2
}

lumo_use_arch "${LUMO_ARCH:-x86_64}" || return 1
