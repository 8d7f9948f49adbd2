#!/bin/bash
# Installs everything the project needs on a fresh Debian 12 machine (as root),
# creates the project's 32-bit Wine prefix, builds libcurl for Windows once into
# a cache outside the source tree, and starts what the tests need (a virtual X
# display and a kept-alive wineserver). Safe to run again: quiet when all is there.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/env.sh"

log() { echo "setup: $*" >&2; }

PACKAGES=(
  g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 xvfb imagemagick x11-utils xdotool
  locales googletest libgtest-dev cmake ninja-build python3 build-essential dpkg-dev
  duktape-dev libcurl4-openssl-dev rapidjson-dev nlohmann-json3-dev libbenchmark-dev
  clang libclang-rt-14-dev curl procps psmisc chromium python3-pytest
  fonts-noto-cjk fonts-wqy-microhei
)

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    dpkg --add-architecture i386
    rm -f /var/lib/apt/lists/lock.updated
  fi
  local miss
  miss=$(missing_packages)
  [ -z "$miss" ] && return 0
  log "installing: $(echo $miss | tr '\n' ' ')"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $miss >/dev/null
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

ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the 32-bit Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # A kept-alive wineserver makes every Wine process start in about 0.3 s.
  if ! prefix_process_runs 'wineserver.* -p$'; then
    wineserver -p >/dev/null 2>&1 || true
  fi
  start_wine_services
}

install_packages
ensure_locale
ensure_display
ensure_prefix
"$ROOT/scripts/build_curl.sh"
