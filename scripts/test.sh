#!/bin/bash
# The test command: sets everything up, builds both trees and runs every test
# (Windows tests under Wine, native tests under the sanitizers, short fuzz
# runs, the simulator's tests and the end-to-end suite). Exits non-zero when
# anything fails and ends with one "N passed, N failed" line.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }
source scripts/env.sh

JOBS=2
WIN="$ROOT/build/win"
NATIVE="$ROOT/build/native"
PASSED=0
FAILED=0
FAILURES=()
STEP_LOGS="$ROOT/build/test-logs"
mkdir -p "$STEP_LOGS"

# Each step's output goes to the terminal and to a log of its own, so the
# summary at the end can repeat what failed; a long run's first screens are
# often all that is lost.
step() {  # step NAME COMMAND...
  local name="$1"; shift
  local log="$STEP_LOGS/$((PASSED + FAILED + 1)).log"
  echo "=== $name"
  if "$@" 2>&1 | tee "$log"; then
    PASSED=$((PASSED + 1))
  else
    FAILED=$((FAILED + 1))
    FAILURES+=("$name|$log")
    echo "=== FAILED: $name"
  fi
}

# What a failed step said about its failures: the failing test lines of
# CTest, GoogleTest and pytest, then the step's last lines.
failure_details() {  # failure_details LOG
  grep -E ': Failure$|\[  FAILED  \]|\*\*\*(Failed|Timeout|Exception)|^FAILED |^E  ' "$1" | head -60
  echo "--- last lines"
  tail -25 "$1"
}

build_windows() {
  cmake -S . -B "$WIN" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && ninja -C "$WIN" -j$JOBS -k 0
}

build_native() {
  CC=clang CXX=clang++ cmake -S . -B "$NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null && ninja -C "$NATIVE" -j$JOBS -k 0
}

run_fuzzers() {
  local ok=0 seconds="${LUMO_FUZZ_SECONDS:-30}"
  for script in fuzz/*/run.sh; do
    echo "--- $script ($seconds s)"
    bash "$script" "$NATIVE" "$seconds" || ok=1
  done
  return $ok
}

step "build (Windows)" build_windows
step "build (native)" build_native
step "tests (Windows, under Wine)" ctest --test-dir "$WIN" --output-on-failure -j1
step "tests (native, sanitizers)" ctest --test-dir "$NATIVE" --output-on-failure -j$JOBS
step "fuzzers" run_fuzzers
step "back-office simulator tests" /usr/bin/python3 -m pytest -q -p no:cacheprovider tools/backoffice/tests
if [ -d tests/e2e ]; then
  step "end-to-end tests (Wine)" env LUMO_BIN="$WIN/bin" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e
  # The same suite with pages rendered by a real browser, plus its rendering tests.
  step "end-to-end tests (Wine, Chromium engine)" env LUMO_BIN="$WIN/bin" LUMO_ENGINE=chromium /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e
fi

echo
for f in "${FAILURES[@]}"; do
  echo "=== failed step: ${f%%|*}"
  failure_details "${f#*|}"
done
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
