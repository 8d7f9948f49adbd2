"""The restart guards in the real program: [local] maxmemorymb exceeded, and
[local] dailyrestart reached, each end the run through the normal shutdown
and start a new copy that loads the page again. The fault-test build
(bin/faults/Tarnlumo.exe) gives the seams: guard-test.txt in the program
folder shortens the check to a second and shifts the local clock,
allocate.txt makes the run really commit and write that many MB."""

import json
import re
import time

import pytest

from lumo_harness import CHROMIUM, ended_in_order, engine, split_runs, wait_until

START_TIMEOUT = 60
# The guard looks every second here; the orderly shutdown and Wine's reaping
# of the process take a few more.
RESTART_EXIT_SECONDS = 30
RESTART_LOAD_SECONDS = 60
# Checks a restarted copy is watched for, to see it does not restart again.
QUIET_SECONDS = 5
RESTART = "重启"
FATAL = "错误提示"
# Far above what the program holds (about 40 MB under Wine), far below what
# the run is made to hold.
LIMIT_MB = 200
ALLOCATE_MB = 320
# The shifted clock reaches the daily time this long after the program starts:
# start-up and the first page load take a few seconds under Wine.
DAILY_LEAD_SECONDS = 20

pytestmark = [pytest.mark.slow, pytest.mark.usefixtures("no_copy_left"),
              pytest.mark.skipif(engine() == CHROMIUM, reason="runs with the headless engine")]


class GuardRun:
    def __init__(self, run, faults_exe, local, seams, allocate_mb=0):
        self.run, self.folder, self.ctl = run, run.folder, run.ctl
        (self.folder.path / "Tarnlumo.exe").write_bytes(faults_exe.read_bytes())
        (self.folder.path / "guard-test.txt").write_text(seams)
        if allocate_mb:
            (self.folder.path / "allocate.txt").write_text("%d\n" % allocate_mb)
        self.office = run.start_office()
        config_local = {"index": 1}
        config_local.update(local)
        self.folder.write_config({"server": {"ip": "127.0.0.1", "webport": self.office.web_port},
                                  "local": config_local})
        self.program = run.start_program()

    def loads(self):
        return len(self.office.reports("loaded"))

    def runs(self):
        return split_runs(self.folder.log())

    def status(self):
        path = self.folder.path / "status.json"
        try:
            return json.loads(path.read_text(encoding="utf-8"))
        except (OSError, ValueError):
            return None


def restarted_in_order(run, reason_pattern):
    """The first run ended with exit code 0 through the shutdown after one
    "重启" line matching reason_pattern; the second loaded the page, restarts
    no more and is the process that line named. The match of the reason."""
    code = run.program.wait_exit(RESTART_EXIT_SECONDS)
    assert code == 0, "the first run did not end in order (exit code %r)" % code
    assert wait_until(lambda: run.loads() >= 2, RESTART_LOAD_SECONDS), \
        "the restarted copy never loaded the page"
    first = run.runs()[0]
    assert ended_in_order(first), first[-4:]
    assert FATAL not in [line.category for line in first], first
    restarts = [line.message for line in first if line.category == RESTART]
    assert len(restarts) == 1, restarts
    match = re.fullmatch(reason_pattern + r",新进程 pid:(\d+)", restarts[0])
    assert match, restarts[0]
    # The restart came after the page had loaded, and before the shutdown.
    categories = [line.category for line in first]
    assert categories.index(RESTART) < categories.index("开始销毁")
    new_pid = int(match.groups()[-1])
    assert wait_until(lambda: (run.status() or {}).get("pid") == new_pid, 30), run.status()
    # A planned restart is not one of the capped restarts after fatal errors.
    assert run.status()["restarts_10min"] == 0, run.status()
    # The copy started by the guard does not restart again.
    time.sleep(QUIET_SECONDS)
    runs = run.runs()
    assert len(runs) == 2, [r[0] for r in runs]
    assert RESTART not in [line.category for line in runs[1]], runs[1]
    assert run.loads() == 2
    assert run.ctl.main().get("found") == "1"
    return match


def test_private_memory_over_the_limit_restarts_in_order(make_run, faults_exe):
    run = GuardRun(make_run("guard-memory", page="recorder"), faults_exe,
                   {"maxmemorymb": LIMIT_MB}, "check-ms 1000\n", allocate_mb=ALLOCATE_MB)
    assert wait_until(lambda: run.loads() >= 1, START_TIMEOUT), "the page never loaded"
    match = restarted_in_order(
        run, r"reason:memory private:(\d+)MB limit:%dMB" % LIMIT_MB)
    assert int(match.group(1)) >= ALLOCATE_MB, match.group(0)


def test_the_daily_time_restarts_in_order_once(make_run, faults_exe):
    anchor = int(time.time())
    lead = DAILY_LEAD_SECONDS
    shown_at = 3 * 3600 + 30 * 60 - lead  # the clock shows 03:30 minus the lead at the anchor
    shown = "%02d:%02d:%02d" % (shown_at // 3600, shown_at // 60 % 60, shown_at % 60)
    run = GuardRun(make_run("guard-daily", page="recorder"), faults_exe,
                   {"dailyrestart": "03:30"}, "check-ms 1000\nclock %s %d\n" % (shown, anchor))
    assert wait_until(lambda: run.loads() >= 1, START_TIMEOUT), "the page never loaded"
    assert time.time() < anchor + lead, "start-up took longer than the lead; nothing to test"
    assert run.loads() == 1 and run.program.alive(), "restarted before the time"
    restarted_in_order(run, r"reason:daily at:03:30")
    # Not before the time on the shifted clock (whole seconds of the real one).
    assert time.time() >= anchor + lead - 1


def test_bad_values_are_logged_and_the_program_runs(make_run, faults_exe):
    run = GuardRun(make_run("guard-bad", page="recorder"), faults_exe,
                   {"maxmemorymb": "lots", "dailyrestart": "25:00"}, "check-ms 1000\n")
    assert wait_until(lambda: run.loads() >= 1, START_TIMEOUT), "the page never loaded"
    time.sleep(QUIET_SECONDS)
    lines = run.folder.lines(RESTART)
    messages = sorted(line.message for line in lines)
    assert len(messages) == 2, messages
    assert messages[0].startswith("dailyrestart=25:00 "), messages
    assert messages[0].endswith("每日重启关闭"), messages
    assert messages[1].startswith("maxmemorymb=lots "), messages
    assert re.search(r"按默认 (1400|4096)MB$", messages[1]), messages
    assert run.program.alive() and run.loads() == 1
    assert run.program.exit_through_tray() == 0
