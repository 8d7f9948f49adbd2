#!/bin/bash
# Installs everything the project needs on a fresh Debian 12 machine (as root),
# finds out whether the machine runs 32-bit code, creates a Wine prefix for
# each Windows target it can run, builds libcurl for both Windows targets once
# into a cache outside the source tree, and starts what the tests need (a
# virtual X display and a kept-alive wineserver per prefix). Safe to run
# again: quiet when all is there, but for its one line on the machine.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/env.sh"

log() { echo "setup: $*" >&2; }

# Both MinGW targets and 64-bit Wine on every machine; libc6-i386 (a 64-bit
# package) brings the 32-bit program the machine is probed with.
PACKAGES=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libc6-i386
  xvfb imagemagick x11-utils xdotool
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  locales googletest libgtest-dev cmake ninja-build python3 build-essential dpkg-dev
  duktape-dev libcurl4-openssl-dev rapidjson-dev nlohmann-json3-dev libbenchmark-dev libspdlog-dev libstb-dev
  clang clang-format libclang-rt-14-dev curl procps psmisc chromium python3-pytest python3-pefile nsis
  osslsigncode openssl iptables
  fonts-noto-cjk fonts-wqy-microhei
)
# 32-bit Wine, only where it can run.
PACKAGES_32BIT=(wine32:i386)

missing_packages() {  # missing_packages PACKAGE...
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

install_packages() {  # install_packages PACKAGE...
  local miss
  miss=$(missing_packages "$@")
  [ -z "$miss" ] && return 0
  log "installing: $(echo $miss | tr '\n' ' ')"
  export DEBIAN_FRONTEND=noninteractive
  update_package_lists
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $miss >/dev/null
}

install_32bit_wine() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    dpkg --add-architecture i386
  fi
  install_packages "${PACKAGES_32BIT[@]}"
}

say_which_builds_run() {
  if i686_runs; then
    log "this machine runs 32-bit code: every suite runs on the x86-64 build under 64-bit Wine," \
        "and the unit and headless end-to-end tests also on the i686 build under 32-bit Wine"
  elif machine_runs_32bit; then
    log "this machine runs 32-bit code, but 32-bit Wine could not be installed: every suite runs" \
        "on the x86-64 build under 64-bit Wine; the i686 build is built and checked, not run"
  else
    log "this machine runs 64-bit code only (a 32-bit program does not start): every suite runs" \
        "on the x86-64 build under 64-bit Wine; the i686 build is built and checked, not run"
  fi
}

ensure_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    log "generating the zh_CN.UTF-8 locale"
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  fi
}

ensure_display() {
  if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    log "starting Xvfb on $DISPLAY"
    nohup Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
}

ensure_prefix() {  # ensure_prefix ARCH
  lumo_use_arch "$1"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the $WINEARCH Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$LUMO_WINE" wineboot.exe -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      log "could not create the Wine prefix $WINEPREFIX with $LUMO_WINE"
      return 1
    fi
  fi
  # A kept-alive wineserver makes every Wine process start in about 0.3 s.
  if ! prefix_process_runs 'wineserver.* -p$'; then
    "$WINESERVER" -p >/dev/null 2>&1 || true
  fi
  start_wine_services
}

install_packages "${PACKAGES[@]}"
# An archive that cannot give 32-bit Wine today (an index out of sync) costs
# the i686 runs, not the rest: say so and go on.
if machine_runs_32bit && ! install_32bit_wine; then
  log "32-bit Wine could not be installed; the i686 build's programs are not run"
fi
say_which_builds_run
ensure_locale
ensure_display
for arch in $(runnable_archs); do ensure_prefix "$arch"; done
for arch in "${LUMO_ARCHS[@]}"; do "$ROOT/scripts/build_curl.sh" "$arch"; done
