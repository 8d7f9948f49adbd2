#!/bin/bash
# The test command: sets everything up, builds the two Windows trees (x86-64
# and i686) and the native one, and runs every test (static checks of the
# Windows binaries, Windows tests under Wine, native tests under the
# sanitizers, short fuzz runs, the tools' tests and the end-to-end suite).
# Exits non-zero when anything fails and ends with one "N passed, N failed"
# line.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }
source scripts/env.sh

JOBS=2
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
  local began=$SECONDS
  echo "=== $name"
  if "$@" 2>&1 | tee "$log"; then
    PASSED=$((PASSED + 1))
    echo "=== ok: $name ($((SECONDS - began)) s)"
  else
    FAILED=$((FAILED + 1))
    FAILURES+=("$name|$log")
    echo "=== FAILED: $name ($((SECONDS - began)) s)"
  fi
}

# What a failed step said about its failures: the failing test lines of
# CTest, GoogleTest and pytest, then the step's last lines.
failure_details() {  # failure_details LOG
  grep -E ': Failure$|\[  FAILED  \]|\*\*\*(Failed|Timeout|Exception)|^FAILED |^E  ' "$1" | head -60
  echo "--- last lines"
  tail -25 "$1"
}

build_windows() {  # build_windows ARCH
  LUMO_JOBS=$JOBS bash scripts/build.sh "$1" -k 0
}

win_build() {  # win_build ARCH: that target's build tree
  (lumo_use_arch "$1" && echo "$LUMO_BUILD")
}

# The static check of a build: PE kinds, manifest, version, exports, imports.
check_binaries() {  # check_binaries ARCH
  /usr/bin/python3 tools/pecheck/pecheck.py --arch "$1" "$(win_build "$1")/bin"
}

windows_tests() {  # windows_tests ARCH
  ctest --test-dir "$(win_build "$1")" --output-on-failure -j1
}

end_to_end() {  # end_to_end ARCH [ENGINE]
  env LUMO_ARCH="$1" LUMO_BIN="$(win_build "$1")/bin" LUMO_ENGINE="${2:-}" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e
}

# A display whose size can change (Xvfb's cannot): an X server with the dummy
# video driver, with a Wine prefix of its own under the cache, since a
# kept-alive wineserver keeps the desktop of the display it first served.
RESIZABLE_DISPLAY=:79
resizable_display_e2e() {
  if ! xdpyinfo -display "$RESIZABLE_DISPLAY" >/dev/null 2>&1; then
    nohup Xorg "$RESIZABLE_DISPLAY" -config "$PWD/scripts/xorg-dummy.conf" -noreset -nolisten tcp \
      -logfile "$LUMO_CACHE/xorg-dummy.log" >/dev/null 2>&1 &
    for _ in $(seq 100); do xdpyinfo -display "$RESIZABLE_DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  if ! xrandr -display "$RESIZABLE_DISPLAY" 2>/dev/null | grep -q ' 1024x768 '; then
    echo "no X server with a changeable size on $RESIZABLE_DISPLAY (see $LUMO_CACHE/xorg-dummy.log)"
    return 1
  fi
  env LUMO_CACHE="$LUMO_CACHE/resizable" DISPLAY="$RESIZABLE_DISPLAY" LUMO_ARCH=x86_64 \
    LUMO_BIN="$(win_build x86_64)/bin" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e/test_display_resolution.py -rs
}

# The installers of one target under Wine, in a prefix of their own made anew
# (<cache>/install/wine-ARCH); the x86-64 run also checks the packaging command.
install_tests() {  # install_tests ARCH
  env LUMO_ARCH="$1" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/install
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

# Every target is built and checked on every machine; the Windows tests and
# both end-to-end suites run on the x86-64 build everywhere (64-bit Wine runs
# on every machine), and the unit and headless end-to-end tests also on the
# i686 build, the one that ships, where the machine runs 32-bit code.
# Every tracked C++ file as the repository's .clang-format writes it; the
# step names the files that are not.
step "formatting (.clang-format)" bash tools/format_check/check_format.sh
step "build (Windows x86-64)" build_windows x86_64
step "build (Windows i686)" build_windows i686
step "build (native)" build_native
step "static checks (Windows x86-64)" check_binaries x86_64
step "static checks (Windows i686)" check_binaries i686
step "tests (Windows x86-64, under 64-bit Wine)" windows_tests x86_64
if i686_runs; then
  step "tests (Windows i686, under 32-bit Wine)" windows_tests i686
else
  echo "=== this machine cannot run the i686 build (64-bit code only, or no 32-bit Wine): its Windows and end-to-end tests are not run"
fi
step "tests (native, sanitizers)" ctest --test-dir "$NATIVE" --output-on-failure -j$JOBS
step "fuzzers" run_fuzzers
step "tool tests (back-office simulator, binary checks, benchmark helpers, the documents' links, the formatting check)" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider \
  tools/backoffice/tests tools/pecheck/tests tools/soak/tests bench/render_cost/tests bench/restart/tests \
  tools/docs/tests tools/format_check/tests
step "end-to-end tests (x86-64)" end_to_end x86_64
# The same suite with pages rendered by a real browser, plus its rendering tests.
step "end-to-end tests (x86-64, Chromium engine)" end_to_end x86_64 chromium
step "end-to-end tests (x86-64, a display that changes size)" resizable_display_e2e
# The soak's short form: server restarts, numbered pushes and browser kills,
# every push accounted for in the page and the log (tools/soak/soak.py runs
# the long form on its own).
step "soak, short (x86-64, Chromium engine)" /usr/bin/python3 tools/soak/soak.py \
  --bin "$(win_build x86_64)/bin" --minutes 2 --restarts 5 --pushes 3000 --kills 2 --process-every 5
step "installer tests (x86-64, under 64-bit Wine)" install_tests x86_64
if i686_runs; then
  step "end-to-end tests (i686)" end_to_end i686
  step "installer tests (i686, under 32-bit Wine)" install_tests i686
fi

echo
for f in "${FAILURES[@]}"; do
  echo "=== failed step: ${f%%|*}"
  failure_details "${f#*|}"
done
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
