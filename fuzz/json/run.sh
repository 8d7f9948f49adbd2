#!/bin/bash
# Fuzzes the JSON document for a bounded time.
#   fuzz/json/run.sh <native clang build dir> <seconds>
# New inputs go to a scratch folder that is removed afterwards; a crash, leak
# or time-out leaves its input in <build dir>/fuzz-json-artifacts/ and makes
# the script fail.
set -euo pipefail
build=${1:?usage: run.sh <native build dir> <seconds>}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
ninja -C "$build" -j2 json_fuzzer
artifacts="$build/fuzz-json-artifacts"
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timeout --kill-after=10 $((seconds + 120)) "$build/bin/json_fuzzer" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" "$here/corpus"
