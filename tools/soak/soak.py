#!/usr/bin/env python3
"""Soak: the real Tarnlumo.exe under Wine with the back-office simulator for a
set time, through server restarts (the simulator's TCP service stopped and
started, now and then the whole simulator process), a steady stream of
numbered pushes and, with the Chromium engine, kills of the browser behind
the page. It prints the program's handles, threads and private bytes at the
start and at the end, and what became of every push: sent, reached the page,
logged. Exit code 0 only when nothing was lost and every figure adds up.

The run is a row of segments with one disruption between each two. Pushes go
only while the till is logged in and the page answers, and each segment ends
by asking the page what it has seen before anything is disrupted, so every
push that was sent must have reached the page: the count is exact.

Once the x86-64 build exists (scripts/build.sh x86_64, or the test command),
with the same LUMO_CACHE and DISPLAY as its Wine:
    /usr/bin/python3 tools/soak/soak.py --minutes 2 --restarts 5 --pushes 3000 --kills 2
"""

import argparse
import os
import signal
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
PAGE_DIR = HERE / "page"
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(REPO / "tools" / "backoffice"))

from ledger import Ledger, ReportError, push_text  # noqa: E402
from pack_framing import encode_pack  # noqa: E402
from schedule import deadline_seconds, disruptions, split_evenly  # noqa: E402
from summary import describe_stats, summary  # noqa: E402

# The soak's program folder sits apart from the end-to-end suite's.
FOLDER_GROUP = "lumo_soak"
FOLDER_NAME = "soak"
START_TIMEOUT = 90
# The watchdog reconnects about every three seconds; a restarted browser
# needs longer to show the page again.
RELINK_TIMEOUT = 30
RELOAD_TIMEOUT = 90
ANSWER_TIMEOUT = 20
PROBE_SECONDS = 2.0
PORT_RETRY_SECONDS = 20
ITEM = {"name": "苹果", "qty": 2, "price": "3.50"}
PID_FILE = "lumo-browser.pid"
# The browser's keeper ends it once the heartbeat is 3 s old, and gives it 5 s
# after SIGTERM.
BROWSER_GONE_TIMEOUT = 12


def parse_args(argv):
    parser = argparse.ArgumentParser(description="soak the real program under Wine")
    parser.add_argument("--minutes", type=float, default=10.0, help="set time (default 10)")
    parser.add_argument("--restarts", type=int, default=100, help="server restarts (default 100)")
    parser.add_argument("--pushes", type=int, default=100000, help="numbered pushes (default 100000)")
    parser.add_argument("--kills", type=int, default=10,
                        help="browser kills, Chromium engine only (default 10)")
    parser.add_argument("--process-every", type=int, default=10,
                        help="every Nth restart restarts the simulator process (default 10; 0: never)")
    parser.add_argument("--down-seconds", type=float, default=1.0,
                        help="how long the server stays down at a restart (default 1)")
    parser.add_argument("--chunk", type=int, default=100,
                        help="pushes written to the link in one go (default 100)")
    parser.add_argument("--engine", choices=("headless", "chromium"),
                        default=os.environ.get("LUMO_ENGINE", "").strip().lower() or None,
                        help="page engine (default: env LUMO_ENGINE, else chromium when there "
                             "are kills, else headless)")
    parser.add_argument("--bin", help="build bin folder (default: build/win-x86_64/bin)")
    args = parser.parse_args(argv)
    if min(args.restarts, args.pushes, args.kills, args.process_every) < 0 or args.chunk < 1:
        parser.error("counts must not be negative, --chunk at least 1")
    if args.minutes <= 0:
        parser.error("--minutes must be positive")
    if args.engine is None:
        args.engine = "chromium" if args.kills else "headless"
    if args.kills and args.engine != "chromium":
        parser.error("--kills needs --engine chromium (the headless engine has no browser)")
    return args


def prepare_environment(args):
    """The harness reads these when it is imported."""
    os.environ["LUMO_BIN"] = str(Path(args.bin).resolve() if args.bin
                                 else REPO / "build" / "win-x86_64" / "bin")
    os.environ.setdefault("LUMO_E2E_FOLDER", FOLDER_GROUP)
    os.environ["LUMO_ENGINE"] = args.engine
    sys.path.insert(0, str(REPO / "tests" / "e2e"))


class Aborted(Exception):
    """The soak cannot go on (the program died, the link or page never came back)."""


class Soak:
    def __init__(self, args, harness, office_module):
        self.args = args
        self.h = harness
        self.office_module = office_module
        self.ledger = Ledger()
        self.ctl = harness.Lumoctl(harness.lumoctl_path())
        self.folder = harness.ProgramFolder(FOLDER_NAME, harness.program_bin(), args.engine)
        self.office = None
        self.program = None
        self.ports = {}
        self.report_cursor = 0
        self.loads = []  # page loads in the order their first report came
        self.logins_before = 0  # logins seen by simulator processes already ended
        self.probes = 0
        self.answers = {}  # probe id -> the page load that answered it
        self.load = None  # the page load that answered last
        self.segment_seqs = []  # numbers sent in the segment under way
        self.done = {"tcp": 0, "process": 0, "kill": 0}
        # Seconds from the server being back (or the browser's death) until
        # the page answered through the link again.
        self.back_after = {"restart": [], "kill": []}
        self.browsers_left = []
        self.push_seconds = 0.0
        self.faults = []
        self.stats = {}
        self.began = None
        self.elapsed = 0.0
        self.final_logins = 0
        self.ended_in_order = False

    # ---- the simulator ------------------------------------------------------
    def start_office(self):
        deadline = time.monotonic() + PORT_RETRY_SECONDS
        while True:
            try:
                office = self.office_module.Office(PAGE_DIR, **self.ports).start()
                break
            except self.office_module.PortBusy:
                if time.monotonic() >= deadline:
                    raise Aborted("the simulator could not listen on its ports again")
                time.sleep(0.5)
        self.office = office
        self.ports = {"web_port": office.web_port, "tcp_port": office.tcp_port}
        self.report_cursor = 0

    def logins(self):
        """Logins seen by every simulator process so far."""
        here = sum(1 for r in self.office.received() if '"a":"login"' in r["text"])
        return self.logins_before + here

    def read_reports(self):
        """Takes the page's reports that came since the last look."""
        reports = self.office.reports()
        for report in reports[self.report_cursor:]:
            load = report.get("load")
            if load is not None and load not in self.loads:
                self.loads.append(load)
            if report.get("kind") == "soak":
                try:
                    self.ledger.record_report(report)
                except ReportError as error:
                    self.faults.append("the page sent a report the soak cannot read: %s" % error)
                self.answers[report.get("id")] = load
        self.report_cursor = len(reports)
        return reports

    # ---- the program ----------------------------------------------------------
    def start_program(self):
        self.h.ensure_startup_folder()
        self.folder.create()
        self.folder.write_config({"server": {"ip": "127.0.0.1", "webport": self.office.web_port},
                                  "local": {"index": 1}})
        self.program = self.h.Program(self.folder, self.ctl).start()

    def check_alive(self):
        if not self.program.alive():
            raise Aborted("Tarnlumo.exe ended by itself (exit code %s)" % self.program.process.poll())

    def read_stats(self):
        values = self.ctl.run("stats")
        if values.get("found") != "1":
            return None
        return {k: values.get(k) for k in ("handles", "threads", "private_bytes", "handles_from",
                                           "threads_from", "private_bytes_from")}

    # ---- the phases --------------------------------------------------------------
    def wait_logins(self, count, timeout):
        deadline = time.monotonic() + timeout
        while self.logins() < count:
            self.check_alive()
            if time.monotonic() >= deadline:
                raise Aborted("the till did not log in again within %d s" % timeout)
            time.sleep(0.2)

    def ask_page(self, timeout):
        """Asks the page what it has seen, again every few seconds until one
        load answers (a push may find the link or the page not there yet);
        the load that answered."""
        deadline = time.monotonic() + timeout
        while True:
            self.check_alive()
            self.probes += 1
            probe = "r%d" % self.probes
            self.office.push('{"c":"soak","a":"report","id":"%s"}' % probe)
            until = min(deadline, time.monotonic() + PROBE_SECONDS)
            while probe not in self.answers:
                left = until - time.monotonic()
                if left <= 0:
                    break
                self.office.wait("page-reports", self.report_cursor + 1, left)
                self.read_reports()
            if probe in self.answers:
                return self.answers[probe]
            if time.monotonic() >= deadline:
                raise Aborted("the page did not answer within %d s" % timeout)

    def ready(self, timeout):
        """Waits until the till is linked and a page load answers."""
        self.load = self.ask_page(timeout)

    def push_segment(self, count):
        self.segment_seqs = []
        for size in split_evenly(count, -(-count // self.args.chunk) if count else 0):
            seqs = self.ledger.take(size)
            data = b"".join(encode_pack(push_text(s, ITEM).encode("gbk")) for s in seqs)
            sent = self.office.push(data, raw=True) == 1
            self.ledger.record_push(seqs, sent)
            if sent:
                self.segment_seqs.extend(seqs)

    def checkpoint(self):
        """Asks the page again (behind every push of the segment, so all of
        them have been handled) and notes what it missed."""
        load = self.ask_page(ANSWER_TIMEOUT)
        if load != self.load:
            self.faults.append("the page reloaded while pushes were under way")
            return
        missing = self.ledger.missing_in_load(load, self.segment_seqs)
        if missing:
            self.faults.append("segment ended with %d pushes missing in the page, first %d"
                               % (len(missing), missing[0]))

    def disrupt(self, kind):
        if kind == "kill":
            self.kill_browser()
            back = time.monotonic()
            self.ready(RELOAD_TIMEOUT)
            self.back_after["kill"].append(time.monotonic() - back)
            return
        logins = self.logins()
        if kind == "tcp":
            self.office.tcp_stop()
            time.sleep(self.args.down_seconds)
            self.office.tcp_start()
        else:
            self.read_reports()
            self.logins_before = logins
            self.office.stop()
            time.sleep(self.args.down_seconds)
            self.start_office()
        back = time.monotonic()
        self.done[kind] += 1
        self.wait_logins(logins + 1, RELINK_TIMEOUT)
        self.ready(RELINK_TIMEOUT)
        self.back_after["restart"].append(time.monotonic() - back)

    def kill_browser(self):
        pid_file = self.folder.profile_path / PID_FILE
        try:
            pid = int(pid_file.read_text().strip())
            os.kill(pid, signal.SIGKILL)
        except (OSError, ValueError) as error:
            raise Aborted("cannot kill the browser (%s): %s" % (pid_file, error))
        self.h.wait_until(lambda: not Path("/proc/%d" % pid).exists(), 10)
        self.done["kill"] += 1

    # ---- the whole run ------------------------------------------------------------
    def run(self):
        args = self.args
        events = disruptions(args.restarts, args.kills, args.process_every)
        shares = split_evenly(args.pushes, len(events) + 1)
        set_seconds = args.minutes * 60
        self.start_office()
        self.start_program()
        self.began = time.monotonic()
        self.ready(START_TIMEOUT)
        self.stats["start"] = self.read_stats()
        print("soak: start %s" % describe_stats(self.stats["start"]), flush=True)
        limit = self.began + deadline_seconds(set_seconds)
        slot = set_seconds / len(shares)
        for index, share in enumerate(shares):
            if time.monotonic() > limit:
                self.faults.append("stopped at the time limit after %d of %d segments"
                                   % (index, len(shares)))
                break
            began = time.monotonic()
            self.push_segment(share)
            self.checkpoint()
            # Until the page has handled them all: the rate is the till's.
            self.push_seconds += time.monotonic() - began
            self.progress(index, len(shares))
            wait = self.began + slot * (index + 1) - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            if index < len(events):
                self.disrupt(events[index])
        self.elapsed = time.monotonic() - self.began
        self.stats["end"] = self.read_stats()
        print("soak: end   %s" % describe_stats(self.stats["end"]), flush=True)

    def progress(self, index, total):
        step = max(1, total // 10)
        if (index + 1) % step == 0 or index + 1 == total:
            figures = self.ledger.figures()
            print("soak: %3d/%d segments, %.0f s, %d sent, %d reached, restarts %d, kills %d, %s"
                  % (index + 1, total, time.monotonic() - self.began, figures["sent"],
                     figures["reached"], self.done["tcp"] + self.done["process"],
                     self.done["kill"], describe_stats(self.read_stats())), flush=True)

    def finish(self):
        """Ends the program through its tray, then reads its whole log."""
        if self.began is not None and not self.elapsed:
            self.elapsed = time.monotonic() - self.began
        ended = False
        if self.program and self.program.alive():
            ended = self.program.exit_through_tray() is not None
            if not ended:
                self.program.kill()
        if self.args.engine == "chromium":
            self.h.wait_until(lambda: not self.folder.browser_processes(), BROWSER_GONE_TIMEOUT, poll=0.5)
            self.browsers_left = self.folder.browser_processes()
        lines = []
        if self.folder.log_dir.exists():
            for path in sorted(self.folder.log_dir.glob("*.txt")):
                lines.extend(self.h.parse_log(path.read_bytes()))
        self.ledger.record_log(line.message for line in lines)
        self.ended_in_order = ended and self.h.ended_in_order(lines)
        if self.office:
            self.office.stop()

    def verdict(self):
        figures = self.ledger.figures()
        faults = list(self.faults) + Ledger.faults(figures)
        args = self.args
        restarts = self.done["tcp"] + self.done["process"]
        if restarts != args.restarts or self.done["kill"] != args.kills:
            faults.append("%d of %d restarts and %d of %d kills were done"
                          % (restarts, args.restarts, self.done["kill"], args.kills))
        if self.final_logins != restarts + 1:
            faults.append("%d logins for %d restarts" % (self.final_logins, restarts))
        if len(self.loads) != self.done["kill"] + 1:
            faults.append("%d page loads for %d browser kills" % (len(self.loads), self.done["kill"]))
        if not self.ended_in_order:
            faults.append("the program did not end in order through its tray")
        if self.browsers_left:
            faults.append("browser processes left after the exit: %s" % self.browsers_left)
        return figures, faults


def main(argv):
    args = parse_args(argv)
    prepare_environment(args)
    import lumo_harness
    import office
    if not (Path(os.environ["LUMO_BIN"]) / "Tarnlumo.exe").exists():
        print("soak: no Tarnlumo.exe in %s (build first: bash scripts/build.sh x86_64)"
              % os.environ["LUMO_BIN"], file=sys.stderr)
        return 2
    soak = Soak(args, lumo_harness, office)
    try:
        soak.run()
    except Aborted as error:
        soak.faults.append(str(error))
    except OSError as error:  # the simulator's control port, or a file of the run
        soak.faults.append("the soak itself failed: %s" % error)
    finally:
        try:
            soak.final_logins = soak.logins() if soak.office else 0
        except OSError:
            pass
        soak.finish()
    figures, faults = soak.verdict()
    print("\n" + summary(soak, figures, faults), flush=True)
    return 0 if not faults else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
