#!/bin/bash
# Runs the customer display as a shop would see it: sets the machine up,
# builds the Windows program, starts the back-office simulator and the program
# under Wine (on the virtual display :77 when there is no desktop), chooses the
# screen, pushes a short demonstration sale and saves out/screenshot.png.
# The page is rendered by a real browser (the Chromium-backed node.dll) when
# /usr/bin/chromium (or $LUMO_BROWSER) is there, else by the headless engine.
# The program stays up until Ctrl-C; with --once everything stops at the end
# (the browser included).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$ROOT/build/win"

bash "$ROOT/scripts/setup.sh"
source "$ROOT/scripts/env.sh"

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
TARGETS=(Tarnlumo common_standin node hpsocket4c lumoctl)
if [ -x "${LUMO_BROWSER:-/usr/bin/chromium}" ]; then
  TARGETS+=(node_chromium)
fi
ninja -C "$BUILD" -j2 "${TARGETS[@]}" >/dev/null

exec /usr/bin/python3 "$ROOT/scripts/run_demo.py" --bin "$BUILD/bin" --out "$ROOT/out" "$@"
