#!/bin/bash
# The restart benchmark: for each kind of restart (a fatal error at the first
# page load, an abrupt end, an update hand-off) and each page engine, the
# seconds from the event to the page loaded again at the simulator, and the
# steps in between. Builds what it runs in the x86-64 tree first. Figures
# only: it does not fail on them.
# Usage: scripts/bench_restart.sh [--kinds fatal,kill,upgrade] [--engines headless,chromium]
#        [--repeat N]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source scripts/env.sh
bash scripts/setup.sh
LUMO_JOBS="${LUMO_JOBS:-2}" bash scripts/build.sh x86_64 Tarnlumo Tarnlumo_faults lumoctl node \
  node_chromium common_standin hpsocket4c lumo_runtime_dlls >/dev/null
lumo_use_arch x86_64
exec /usr/bin/python3 bench/restart/bench_restart.py --bin "$LUMO_BUILD/bin" "$@"
