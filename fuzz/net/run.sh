#!/bin/bash
# Runs the HTTP text fuzzer for a bounded time.
#   fuzz/net/run.sh <native-build-dir> <seconds>
# Builds the target if needed, starts from the seeds in fuzz/net/seeds and
# keeps the grown corpus and any crash in <build-dir>/fuzz-net/.
set -euo pipefail
build_dir="${1:?usage: run.sh <native-build-dir> <seconds>}"
seconds="${2:?usage: run.sh <native-build-dir> <seconds>}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$build_dir/fuzz-net"
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$here"/seeds/* "$work/corpus/" 2>/dev/null || true
ninja -C "$build_dir" -j2 net_url_text_fuzz
exec "$build_dir/bin/net_url_text_fuzz" "$work/corpus" \
  -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1
