#!/bin/bash
# Runs a Windows test program against a fresh back-office simulator:
# starts it on OS-chosen ports, passes them in LUMO_BACKOFFICE_TCP and
# LUMO_BACKOFFICE_CONTROL, and stops it again whatever the result.
# Usage: with_backoffice.sh program.exe [args...]
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$(mktemp)"
python3 "$root/tools/backoffice/backoffice.py" --web-port 0 --tcp-port 0 --control-port 0 \
  --host 127.0.0.1 >"$out" 2>/dev/null &
office=$!
trap 'kill "$office" 2>/dev/null; wait "$office" 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 100); do
  grep -q "backoffice ready" "$out" && break
  sleep 0.1
done
line="$(grep "backoffice ready" "$out")" || { echo "simulator did not start"; exit 1; }
export LUMO_BACKOFFICE_TCP="$(sed -n 's/.*tcp=\([0-9]*\).*/\1/p' <<<"$line")"
export LUMO_BACKOFFICE_CONTROL="$(sed -n 's/.*control=\([0-9]*\).*/\1/p' <<<"$line")"
# Wine passes the environment through to the Windows program.
"$root/scripts/wine-run.sh" "$@"
