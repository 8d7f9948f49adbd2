#!/bin/bash
# Receive rate of a bare PackClient under Wine, for 200 B and 4 KB bodies.
# Usage: bench/pack_client/run.sh <windows-build-dir> [messages]
set -euo pipefail
build="${1:?windows build directory}"
count="${2:-100000}"
here="$(cd "$(dirname "$0")" && pwd)"
ninja -C "$build" -j2 pack_client_bench hpsocket4c >/dev/null
for size in 200 4096; do
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  python3 "$here/pack_sender.py" "$count" "$size" >"$fifo" &
  sender=$!
  read -r _ port <"$fifo"
  rm -f "$fifo"
  "$here/../../scripts/wine-run.sh" "$build/bin/pack_client_bench.exe" "$port" "$count" "$size" ||
    echo "run for $size B failed"
  kill "$sender" 2>/dev/null || true
  wait "$sender" 2>/dev/null || true
done
