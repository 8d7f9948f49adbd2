#!/usr/bin/env python3
"""The demonstration behind scripts/run.sh: one program folder on the Wine C:
drive, the simulator with the reference page, the program, the screen choice,
a demonstration sale and a screenshot. Uses the end-to-end suite's harness."""

import argparse
import signal
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from lumo_harness import Lumoctl, Program, ProgramFolder, screenshot  # noqa: E402
from office import BACKOFFICE, Office  # noqa: E402

START_TIMEOUT = 120
FOLDER_NAME = "run"


def parse_args():
    parser = argparse.ArgumentParser(description="run the lumo customer display with a simulator")
    parser.add_argument("--bin", required=True, help="Windows build bin folder")
    parser.add_argument("--out", required=True, help="folder for screenshot.png")
    parser.add_argument("--once", action="store_true", help="stop everything after the screenshot")
    return parser.parse_args()


def start(args):
    ctl = Lumoctl(Path(args.bin) / "lumoctl.exe")
    folder = ProgramFolder(FOLDER_NAME, args.bin).create()
    office = Office().start()
    folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port}})
    program = Program(folder, ctl).start()
    return ctl, folder, office, program


def show(ctl, folder, office, out):
    if ctl.run("choose", 1, START_TIMEOUT * 1000, timeout=START_TIMEOUT + 30)["rc"] != 0:
        raise RuntimeError("the screen dialog did not come up")
    if not office.wait_report(lambda r: True, START_TIMEOUT, kind="serverjs"):
        raise RuntimeError("the page did not load")
    if not office.wait("received", 1, START_TIMEOUT):
        raise RuntimeError("the program did not log in")
    subprocess.run([sys.executable, str(BACKOFFICE), "demo", "--step", "0.3",
                    "--control", str(office.ports["control"])], check=True)
    out.mkdir(parents=True, exist_ok=True)
    shot = screenshot(out / "screenshot.png")
    print("screenshot: %s" % shot)
    print("log:        %s" % folder.log_path())
    print("config.ini: %s" % folder.config_path)
    print("program:    %sTarnlumo.exe (page from port %d)" % (folder.win_dir, office.web_port))


def main():
    args = parse_args()
    ctl, folder, office, program = start(args)
    try:
        show(ctl, folder, office, Path(args.out))
        if not args.once:
            print("running; Ctrl-C stops the program and the simulator", flush=True)
            stop_signals = {signal.SIGINT, signal.SIGTERM}
            signal.pthread_sigmask(signal.SIG_BLOCK, stop_signals)
            signal.sigwait(stop_signals)
    except KeyboardInterrupt:
        pass
    finally:
        program.stop()
        office.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
