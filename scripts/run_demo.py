#!/usr/bin/env python3
"""The demonstration behind scripts/run.sh: one program folder on the Wine C:
drive, the simulator with the reference page, the program, the screen choice,
a demonstration sale and a screenshot. Uses the end-to-end suite's harness.

The page engine is the Chromium-backed one when a browser is there (the page
as a shop sees it), else the headless one. With Chromium the screenshot is
taken once the page and the whole demonstration sale are on the screen."""

import argparse
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from lumo_harness import (CHROMIUM, ENV, HEADLESS, Lumoctl, Program, ProgramFolder,  # noqa: E402
                          browser_path, engine_dll, wait_until)
from office import BACKOFFICE, Office  # noqa: E402
from pixels import capture  # noqa: E402
from reference_page import (sale_items_area, sale_pay_area, shows_page, text_lines,  # noqa: E402
                            text_share)

START_TIMEOUT = 120
RENDER_TIMEOUT = 30
# The keeper script ends the browser within about 8 s of the program's end.
BROWSER_GONE_TIMEOUT = 15
FOLDER_NAME = "run"
DEMO_STEP_SECONDS = 0.3
# The demonstration sale has three items and ends with the paid and change
# line, which covers about 4 % of its area in text colour.
SALE_ITEMS = 3
PAY_TEXT_SHARE = 0.01


def parse_args():
    parser = argparse.ArgumentParser(description="run the lumo customer display with a simulator")
    parser.add_argument("--bin", required=True, help="Windows build bin folder")
    parser.add_argument("--out", required=True, help="folder for screenshot.png")
    parser.add_argument("--once", action="store_true", help="stop everything after the screenshot")
    parser.add_argument("--engine", choices=[CHROMIUM, HEADLESS],
                        help="page engine (default: chromium when the browser and its node.dll are there)")
    return parser.parse_args()


def choose_engine(args):
    if args.engine:
        return args.engine
    if not browser_path().exists():
        print("no browser at %s: using the headless engine, so the screenshot shows its own "
              "simple drawing of the page" % browser_path())
        return HEADLESS
    if not engine_dll(args.bin, CHROMIUM).exists():
        print("no %s: using the headless engine" % engine_dll(args.bin, CHROMIUM))
        return HEADLESS
    return CHROMIUM


def start(args, engine):
    ctl = Lumoctl(Path(args.bin) / "lumoctl.exe")
    folder = ProgramFolder(FOLDER_NAME, args.bin, engine).create()
    office = Office().start()
    folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port}})
    try:
        program = Program(folder, ctl).start()
    except BaseException:
        office.stop()
        raise
    return ctl, folder, office, program


def window_rect(ctl):
    main = ctl.main()
    return tuple(int(main[k]) for k in ("left", "top", "right", "bottom"))


def wait_rendered(ctl):
    """The first capture showing the page with the whole demonstration sale, or None."""
    rect = window_rect(ctl)
    shown = [None]

    def check():
        screen = capture(ENV)
        if (shows_page(screen, rect) and text_lines(screen, sale_items_area(rect)) == SALE_ITEMS
                and text_share(screen, sale_pay_area(rect)) >= PAY_TEXT_SHARE):
            shown[0] = screen
        return shown[0]
    return wait_until(check, RENDER_TIMEOUT, poll=0.5)


def show(ctl, folder, office, engine, out):
    if ctl.run("choose", 1, START_TIMEOUT * 1000, timeout=START_TIMEOUT + 30)["rc"] != 0:
        raise RuntimeError("the screen dialog did not come up")
    if not office.wait_report(lambda r: True, START_TIMEOUT, kind="serverjs"):
        raise RuntimeError("the page did not load")
    if not office.wait("received", 1, START_TIMEOUT):
        raise RuntimeError("the program did not log in")
    subprocess.run([sys.executable, str(BACKOFFICE), "demo", "--step", str(DEMO_STEP_SECONDS),
                    "--control", str(office.ports["control"])], check=True, stdout=subprocess.DEVNULL)
    last = office.wait_report(lambda r: r["msg"].get("a") == "total", START_TIMEOUT, kind="message")
    if not last:
        raise RuntimeError("the demonstration sale did not reach the page")
    out.mkdir(parents=True, exist_ok=True)
    path = out / "screenshot.png"
    if engine == CHROMIUM:
        screen = wait_rendered(ctl)
        if not screen:
            raise RuntimeError("the page with the sale did not appear on the screen")
        screen.save_png(path)
    else:
        capture(ENV, path)
    print("screenshot: %s (%s engine)" % (path, engine))
    print("log:        %s" % folder.log_path())
    print("config.ini: %s" % folder.config_path)
    print("program:    %sTarnlumo.exe (page from port %d)" % (folder.win_dir, office.web_port))
    print("push more:  python3 %s push --control %d '{\"c\":\"sale\",\"a\":\"clear\"}'"
          % (BACKOFFICE.relative_to(ROOT), office.ports["control"]))


def wait_for_signal():
    print("running; Ctrl-C stops the program and the simulator", flush=True)
    stop_signals = {signal.SIGINT, signal.SIGTERM}
    signal.pthread_sigmask(signal.SIG_BLOCK, stop_signals)
    signal.sigwait(stop_signals)


def stop(program, office, folder, engine):
    """Ends the program and the simulator; False when a browser outlived them."""
    program.stop()
    office.stop()
    if engine != CHROMIUM:
        return True
    started = time.monotonic()
    if wait_until(lambda: not folder.browser_processes(), BROWSER_GONE_TIMEOUT, poll=0.5):
        return True
    print("browser still running %.0f s after the program ended:" % (time.monotonic() - started))
    for line in folder.browser_processes():
        print("  " + line)
    return False


def main():
    args = parse_args()
    engine = choose_engine(args)
    ctl, folder, office, program = start(args, engine)
    ok = False
    try:
        show(ctl, folder, office, engine, Path(args.out))
        ok = True
        if not args.once:
            wait_for_signal()
    except KeyboardInterrupt:
        pass
    finally:
        ok = stop(program, office, folder, engine) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
