#!/bin/bash
# Short fuzzing run of the pack frame decoder.
# Usage: fuzz/pack_frame/run.sh <native-build-dir> <seconds>
set -euo pipefail
build="${1:?native build directory}"
seconds="${2:-30}"
here="$(cd "$(dirname "$0")" && pwd)"
ninja -C "$build" -j2 pack_frame_fuzzer
corpus="$build/fuzz-corpus/pack_frame"
mkdir -p "$corpus"
# Seeds: a valid two-frame stream, a zero-length header, an oversized header.
printf '\x10\x00\x01\x02\x00\x00\x00hi\x01\x00\x00\x00x' > "$corpus/seed-two-frames"
printf '\x10\x00\x03\x00\x00\x00\x00' > "$corpus/seed-zero-length"
printf '\x04\x00\x01\xff\xff\x3f\x00' > "$corpus/seed-oversized"
"$build/bin/pack_frame_fuzzer" -max_total_time="$seconds" -max_len=4096 "$corpus"
