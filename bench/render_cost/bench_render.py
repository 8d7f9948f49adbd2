#!/usr/bin/env python3
"""What the customer display costs beside a kiosk browser, in one run on one
X display: (a) Tarnlumo.exe under Wine with the Chromium-backed engine and
(b) Chromium in --kiosk mode, each showing a static page, a page with a clock
ticking once a second, and a page that changes on every push. For each: the
CPU share of one core of every process it started (over a fixed window),
their summed resident memory, the start-up time to the first frame showing
the page, and for the pushed page the push-to-first-painted-frame median and
95th percentile; the ratios (a)/(b) beside. One more row: the program with the
headless engine on the static page.

Prints figures; it does not fail on them. Run through scripts/bench_render.sh
(same LUMO_CACHE and DISPLAY as the build's Wine)."""

import argparse
import os
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from figures import cell, percentile, ratio, ratio_cell, table, verdict  # noqa: E402
from scenarios import Result, make_page_dir, run_display  # noqa: E402
from displays import x_server_account  # noqa: E402

KINDS = ["static", "clock", "push"]
# The targets the display is held to.
CLOCK_CPU_RATIO_LIMIT = 1.5
STATIC_CPU_LIMIT = 0.5
P95_LIMIT_MS = 25.0
STARTUP_LIMIT_S = 3.0


def parse_args(argv):
    parser = argparse.ArgumentParser(description="render cost beside a kiosk browser")
    parser.add_argument("--seconds", type=float, default=30.0, help="CPU window per page (30)")
    parser.add_argument("--pushes", type=int, default=200, help="pushes timed one at a time (200)")
    parser.add_argument("--bin", default=str(REPO / "build" / "win-x86_64" / "bin"))
    parser.add_argument("--kinds", default=",".join(KINDS), help="pages to run (all)")
    parser.add_argument("--skip-kiosk", action="store_true")
    parser.add_argument("--skip-headless", action="store_true")
    parser.add_argument("--skip-floor", action="store_true",
                        help="leave out headless Chromium alone over DevTools")
    parser.add_argument("--breakdown", action="store_true", help="CPU per process name")
    return parser.parse_args(argv)


def run_one(name, make_display, probe, kind, args, watch_startup=True):
    result = Result(name)
    display = make_display()
    try:
        display.start()
        run_display(result, display, probe, kind, args, watch_startup, x_server_account())
    except RuntimeError as error:
        print("%s: %s" % (name, error), file=sys.stderr)
    finally:
        display.stop()
    if args.breakdown:
        shares = sorted(result.by_name.items(), key=lambda kv: -kv[1])
        print("  %s %s: %s" % (name, kind, ", ".join("%s %.2f%%" % kv for kv in shares if kv[1] > 0.005)))
    time.sleep(1.0)
    return result


def main(argv):
    args = parse_args(argv)
    os.environ.setdefault("LUMO_BIN", args.bin)
    os.environ.setdefault("LUMO_E2E_FOLDER", "lumo_bench")
    import lumo_harness as harness
    import office
    from displays import KioskDisplay, ProgramDisplay
    from pixel_probe import PixelProbe

    harness.ensure_startup_folder()
    probe = PixelProbe(harness.ENV["DISPLAY"])
    pages = Path(tempfile.mkdtemp(prefix="lumo-render-pages-"))
    browser = str(harness.browser_path())
    results = {}
    for kind in args.kinds.split(","):
        page_dir = make_page_dir(pages, kind)
        results[("ours", kind)] = run_one(
            "ours", lambda: ProgramDisplay(harness, office, args.bin, "chromium", page_dir),
            probe, kind, args)
        if not args.skip_kiosk:
            results[("kiosk", kind)] = run_one(
                "kiosk", lambda: KioskDisplay(browser, harness.ENV, page_dir), probe, kind, args)
        if not args.skip_floor:
            from headless_floor import HeadlessFloor
            results[("floor", kind)] = run_one(
                "floor", lambda: HeadlessFloor(browser, harness.ENV, page_dir), probe, kind, args)
    if not args.skip_headless:
        page_dir = make_page_dir(pages, "static")
        results[("headless", "static")] = run_one(
            "headless", lambda: ProgramDisplay(harness, office, args.bin, "headless", page_dir),
            probe, "static", args, watch_startup=False)
    probe.close()
    print_report(results, args)
    return 0


def print_report(results, args):
    print()
    print("render cost, %.0f s CPU window per page, %d pushes timed, display %s" %
          (args.seconds, args.pushes, os.environ.get("DISPLAY", "?")))
    headers = ["page / figure", "ours (a)", "kiosk (b)", "a/b", "headless Chromium alone"]
    rows = []
    for kind in args.kinds.split(","):
        ours, theirs = results.get(("ours", kind)), results.get(("kiosk", kind))
        rows += figure_rows(kind, ours, theirs, results.get(("floor", kind)))
    headless = results.get(("headless", "static"))
    if headless:
        rows.append(["static: headless engine, CPU % of a core", cell(headless.cpu, "", 2),
                     "", "", ""])
        rows.append(["static: headless engine, RSS MB", cell(headless.rss_mb, "", 0), "", "", ""])
    print(table(rows, headers))
    print_targets(results, headless)


def figure_rows(kind, ours, theirs, floor):
    def get(result, what):
        return None if result is None else what(result)
    lines = [("CPU % of a core", lambda r: r.cpu, 2),
             ("X server CPU % (same window)", lambda r: r.x_cpu, 2),
             ("RSS MB (sum)", lambda r: r.rss_mb, 0),
             ("start-up to first frame s", lambda r: r.startup, 2)]
    if kind == "push":
        lines += [("push-to-frame median ms", lambda r: r.median(), 1),
                  ("push-to-frame p95 ms", lambda r: r.p95(), 1),
                  ("pushes timed (missed)", lambda r: float(len(r.latencies_ms)), 0)]
    rows = []
    for label, what, digits in lines:
        a, b, f = get(ours, what), get(theirs, what), get(floor, what)
        text_a, text_f = cell(a, "", digits), cell(f, "", digits)
        if label.startswith("pushes") and ours is not None:
            text_a += " (%d)" % ours.missed
        if label.startswith("pushes") and floor is not None:
            text_f += " (%d)" % floor.missed
        rows.append(["%s: %s" % (kind, label), text_a, cell(b, "", digits), ratio_cell(ratio(a, b)),
                     text_f])
    return rows


def print_targets(results, headless):
    def res(key):
        return results.get(key)
    clock_ratio = ratio(getattr(res(("ours", "clock")), "cpu", None),
                        getattr(res(("kiosk", "clock")), "cpu", None))
    static_cpu = getattr(res(("ours", "static")), "cpu", None)
    push = res(("ours", "push"))
    p95 = push.p95() if push else None
    startups = [r.startup for k, r in results.items() if k[0] == "ours" and r.startup is not None]
    startup = max(startups) if startups else None
    print()
    print("targets:")
    print("  clock page CPU ours/kiosk <= %.1f: %s (%s)" %
          (CLOCK_CPU_RATIO_LIMIT, ratio_cell(clock_ratio), verdict(clock_ratio, CLOCK_CPU_RATIO_LIMIT)))
    print("  static page CPU <= %.1f %% of a core: %s (%s)" %
          (STATIC_CPU_LIMIT, cell(static_cpu), verdict(static_cpu, STATIC_CPU_LIMIT)))
    print("  push-to-frame p95 <= %.0f ms: %s (%s)" % (P95_LIMIT_MS, cell(p95, "", 1), verdict(p95, P95_LIMIT_MS)))
    print("  start-up to first frame <= %.0f s (slowest of the pages): %s (%s)" %
          (STARTUP_LIMIT_S, cell(startup), verdict(startup, STARTUP_LIMIT_S)))
    if headless:
        print("  headless engine, static page, whole program <= %.1f %%: %s (%s)" %
              (STATIC_CPU_LIMIT, cell(headless.cpu), verdict(headless.cpu, STATIC_CPU_LIMIT)))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
