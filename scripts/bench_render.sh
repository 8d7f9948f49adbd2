#!/bin/bash
# The render-cost benchmark: the program with the Chromium-backed engine
# beside Chromium in kiosk mode on the same X display (static page, clock
# page, pushed page), then the headless engine on the static page; prints one
# table with the ratios. Builds the x86-64 tree first. Figures only: it does
# not fail on them.
# Usage: scripts/bench_render.sh [--seconds N] [--pushes N] [--kinds static,clock,push]
#        [--skip-kiosk] [--skip-headless] [--breakdown]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
source scripts/env.sh
bash scripts/setup.sh
LUMO_JOBS="${LUMO_JOBS:-2}" bash scripts/build.sh x86_64 >/dev/null
lumo_use_arch x86_64
exec /usr/bin/python3 bench/render_cost/bench_render.py --bin "$LUMO_BUILD/bin" "$@"
