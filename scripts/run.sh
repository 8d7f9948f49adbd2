#!/bin/bash
# Runs the customer display as a shop would see it: sets the machine up,
# builds the Windows program, starts the back-office simulator and the program
# under Wine (on the virtual display :77 when there is no desktop), chooses the
# screen, pushes a short demonstration sale and saves out/screenshot.png.
# The x86-64 build runs (64-bit Wine runs on every machine); LUMO_ARCH=i686
# runs the one that ships to tills, where the machine runs 32-bit code.
# The page is rendered by a real browser (the Chromium-backed node.dll) when
# /usr/bin/chromium (or $LUMO_BROWSER) is there, else by the headless engine.
# The program stays up until Ctrl-C; with --once everything stops at the end
# (the browser included).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export LUMO_ARCH="${LUMO_ARCH:-x86_64}"
source "$ROOT/scripts/env.sh"

# Set-up first: it installs the 32-bit program the machine is probed with.
bash "$ROOT/scripts/setup.sh"
if [ "$LUMO_ARCH" = i686 ] && ! i686_runs; then
  echo "run: LUMO_ARCH=i686 needs 32-bit Wine, and this machine runs 64-bit code only" \
       "or has no 32-bit Wine installed; run without LUMO_ARCH for the x86-64 build" >&2
  exit 1
fi
echo "run: the $LUMO_ARCH build ($LUMO_BUILD) under $LUMO_WINE" >&2

TARGETS=(Tarnlumo common_standin node hpsocket4c lumoctl)
if [ -x "${LUMO_BROWSER:-/usr/bin/chromium}" ]; then
  TARGETS+=(node_chromium)
fi
bash "$ROOT/scripts/build.sh" "$LUMO_ARCH" "${TARGETS[@]}" >/dev/null

export LUMO_BIN="$LUMO_BUILD/bin"
exec /usr/bin/python3 "$ROOT/scripts/run_demo.py" --bin "$LUMO_BIN" --out "$ROOT/out" "$@"
