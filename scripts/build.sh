#!/bin/bash
# Configures (once) and builds one Windows target's tree, build/win-ARCH, with
# that target's MinGW toolchain and libcurl. Extra arguments are ninja's
# (targets, -k 0, ...).
# Usage: build.sh [x86_64|i686] [ninja arguments...]   (default: $LUMO_ARCH)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/env.sh"
case "${1:-}" in
  x86_64|i686) lumo_use_arch "$1"; shift ;;
esac
if [ ! -f "$LUMO_BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$LUMO_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$LUMO_TOOLCHAIN" \
    -DLUMO_CURL_DIR="$LUMO_CURL_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
exec ninja -C "$LUMO_BUILD" -j"${LUMO_JOBS:-2}" "$@"
