#!/usr/bin/env python3
"""How long the customer looks at a dark monitor when the program restarts:
for each kind of restart and each page engine, the real program under Wine
with the back-office simulator; from the event to the page loaded again (the
page's "loaded" report at the simulator), with the steps in between.

Kinds (KINDS below; a new kind is one more entry):
  fatal    the fault-test build raises a fatal error at the first page load;
           the event is that load (the fault follows it at once)
  kill     SIGKILL of the program process (an abrupt end); its watcher
           starts the new copy
  upgrade  an update hand-off: the updater ends the program in order (the
           tray's exit) and starts the new file once the old process ended;
           the event is when the exit request has been posted

Steps come from samples of /proc (processes of the program folder), the
simulator's timeline and the program's log (whole seconds only).

Prints figures; it does not fail on them. Run through scripts/bench_restart.sh
(same LUMO_CACHE and DISPLAY as the build's Wine)."""

import argparse
import os
import shutil
import signal
import statistics
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(REPO / "tests" / "e2e"))
sys.path.insert(0, str(REPO / "bench" / "render_cost"))

import restart_steps  # noqa: E402
from figures import table  # noqa: E402
from restart_steps import STEPS, ProcessBook, format_seconds, read_process_table  # noqa: E402

ENGINES = ["headless", "chromium"]
START_TIMEOUT_S = 90
RESTART_TIMEOUT_S = 90
# The program is settled (link up, watcher running) this long after its
# first load before an event is caused.
SETTLE_S = 2.0
SAMPLE_EVERY_S = 0.02
FAULT_AT_FIRST_LOAD = "page-loaded access"


class Kind:
    """One kind of restart: which build, what fault.txt says, extra config,
    and how the event is caused (None: the program causes it itself)."""

    def __init__(self, faults=False, fault=None, local=None, cause=None):
        self.faults, self.fault, self.local, self.cause = faults, fault, local or {}, cause


def cause_kill(trial):
    at = time.time()
    os.kill(trial.program.process.pid, signal.SIGKILL)
    return at


def cause_upgrade(trial):
    trial.ctl.run("tray", "exit")
    at = time.time()
    # The updater waits for the old process before it starts the new file.
    trial.program.process.wait(30)
    trial.launch()
    return at


KINDS = {
    "fatal": Kind(faults=True, fault=FAULT_AT_FIRST_LOAD),
    "kill": Kind(cause=cause_kill),
    "upgrade": Kind(cause=cause_upgrade),
}


def parse_args(argv):
    parser = argparse.ArgumentParser(description="restart to page, per kind and engine")
    parser.add_argument("--bin", default=str(REPO / "build" / "win-x86_64" / "bin"))
    parser.add_argument("--kinds", default=",".join(KINDS), help="kinds to run (all)")
    parser.add_argument("--engines", default=",".join(ENGINES), help="engines to run (both)")
    parser.add_argument("--repeat", type=int, default=3, help="restarts timed per row (3)")
    return parser.parse_args(argv)


class Sampler:
    """Samples the process table in the background into a ProcessBook."""

    def __init__(self, marker):
        self.book = ProcessBook(marker)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()

    def _run(self):
        while not self._stop.is_set():
            self.book.sample(read_process_table(), time.time())
            self._stop.wait(SAMPLE_EVERY_S)


class Trial:
    """One restart of one kind with one engine, in a program folder of its own."""

    def __init__(self, harness, office_module, bin_dir, ctl, kind_name, engine, number):
        self.harness, self.ctl = harness, ctl
        self.kind = KINDS[kind_name]
        name = "restart-%s-%s-%d" % (kind_name, engine, number)
        self.folder = harness.ProgramFolder(name, bin_dir, engine).create()
        if self.kind.faults:
            shutil.copy2(Path(bin_dir) / "faults" / "Tarnlumo.exe", self.folder.path / "Tarnlumo.exe")
            (self.folder.path / "fault.txt").write_text(self.kind.fault + "\n")
        page_dir = REPO / "tests" / "e2e" / "pages" / "recorder"
        self.office = office_module.Office(page_dir).start()
        local = {"index": 1}
        local.update(self.kind.local)
        self.folder.write_config({"server": {"ip": "127.0.0.1", "webport": self.office.web_port},
                                  "local": local})
        self.program = None

    def launch(self):
        self.program = self.harness.Program(self.folder, self.ctl)
        self.program._launch()
        return self.program

    def loads(self):
        return len(self.office.reports("loaded"))

    def run(self, sampler):
        """{step: seconds} for one restart, or raises RuntimeError."""
        wait = self.harness.wait_until
        old = self.launch()
        if not wait(lambda: self.loads() >= 1, START_TIMEOUT_S):
            raise RuntimeError("the page never loaded")
        if self.kind.cause is None:
            event = self.office.timeline()
            event = [e["at"] for e in event if e["what"] == "report" and e["detail"] == "loaded"][0]
        else:
            wait(lambda: self.office.connections()["count"] >= 1, START_TIMEOUT_S)
            time.sleep(SETTLE_S)
            event = self.kind.cause(self)
        if not wait(lambda: self.loads() >= 2, RESTART_TIMEOUT_S):
            raise RuntimeError("the page never came back")
        # The link of the new copy connects just after its load.
        wait(lambda: any(e["what"] == "connection-opened" and e["at"] > event
                         for e in self.office.timeline()), 10)
        log_path = self.folder.log_path()
        log = log_path.read_bytes().decode("gbk", "replace").split("\r\n") if log_path.exists() else []
        return restart_steps.reconstruct(event, old.process.pid, sampler.book.all(),
                                         self.office.timeline(), log)

    def close(self, sampler):
        """Ends the copy that runs now in order, then whatever of this folder is left."""
        if self.ctl.main().get("found") == "1":
            self.ctl.run("stand-down")
            self.ctl.run("tray", "exit")
            self.ctl.wait("main", "gone", 30)
        time.sleep(1.0)
        for life in sampler.book.lives.values():
            try:
                os.kill(life.pid, signal.SIGKILL)
            except OSError:
                pass
        if self.program and self.program.process:
            try:
                self.program.process.wait(10)
            except Exception:  # noqa: BLE001 - a clean-up's last resort
                pass
        self.office.stop()


def summary(runs):
    """{step: median seconds} over the runs that saw the step."""
    result = {}
    for name, _ in STEPS:
        seen = [r[name] for r in runs if r.get(name) is not None]
        result[name] = statistics.median(seen) if seen else None
    return result


def main(argv):
    args = parse_args(argv)
    os.environ.setdefault("LUMO_BIN", args.bin)
    os.environ.setdefault("LUMO_E2E_FOLDER", "lumo_bench")
    import lumo_harness as harness
    import office
    harness.ensure_startup_folder()
    ctl = harness.Lumoctl(harness.lumoctl_path())
    kinds = [k for k in args.kinds.split(",") if k]
    engines = [e for e in args.engines.split(",") if e]
    rows = []
    for kind in kinds:
        for engine in engines:
            runs = []
            for number in range(args.repeat):
                trial = Trial(harness, office, args.bin, ctl, kind, engine, number)
                with Sampler(harness.E2E_FOLDER + "/" + trial.folder.name + "/") as sampler:
                    try:
                        runs.append(trial.run(sampler))
                    except RuntimeError as error:
                        print("%s %s #%d: %s" % (kind, engine, number, error), file=sys.stderr)
                    finally:
                        trial.close(sampler)
                if runs and len(runs) == number + 1:
                    print("  %s %s #%d: page back after %s s" % (
                        kind, engine, number, format_seconds(runs[-1]["page loaded"])), flush=True)
            medians = summary(runs)
            rows.append([kind, engine, "%d/%d" % (len(runs), args.repeat)] +
                        [format_seconds(medians[name]) for name, _ in STEPS])
    print()
    print("Restart to page: seconds after the event (median of the runs); "
          "* = from the log, whole seconds")
    headers = ["kind", "engine", "runs"] + [name + ("*" if where == "log" else "")
                                           for name, where in STEPS]
    print(table(rows, headers))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
