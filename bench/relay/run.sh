#!/bin/bash
# The relay path (server push -> page's clientJS2) beside the bare PackClient
# loop, under Wine, for 200 B and 4 KB bodies. The page comes from the
# back-office simulator; the sender runs inside the benchmark.
# Usage: bench/relay/run.sh <windows-build-dir> [messages per size] [idle-link messages]
set -euo pipefail
build="${1:?windows build directory}"
count="${2:-20000}"
idle="${3:-1000}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/../.."
ninja -C "$build" -j2 relay_bench hpsocket4c node >/dev/null

fifo="$(mktemp -u)"
mkfifo "$fifo"
python3 "$root/tools/backoffice/backoffice.py" --web-port 0 --tcp-port 0 --control-port 0 \
  --page-dir "$here/page" >"$fifo" &
office=$!
trap 'kill "$office" 2>/dev/null || true; wait "$office" 2>/dev/null || true' EXIT
read -r ready <"$fifo"
rm -f "$fifo"
web="$(sed -n 's/.* web=\([0-9]*\).*/\1/p' <<<"$ready")"
[ -n "$web" ] || { echo "back-office simulator did not start: $ready" >&2; exit 1; }

timeout 900 "$root/scripts/wine-run.sh" "$build/bin/relay_bench.exe" \
  "http://127.0.0.1:$web/client/app/lumo/" "$count" "$idle"
