"""A fatal error while the log writer is stuck holding the log's file lock
(the fault-test build stops it there for good): the run still ends within the
program's bound, and its last lines, the shutdown's own among them, are in
the log; the restarted copy runs normally."""

import shutil
import time

import pytest

from lumo_harness import CHROMIUM, ended_in_order, engine, split_runs, wait_until

START_TIMEOUT = 60
# The program's own bound is 10 s; Wine needs a little more to reap the process.
FATAL_EXIT_SECONDS = 14
FATAL_BOUND_SECONDS = 10
RESTART_LOAD_SECONDS = 60
FATAL = "错误提示"
RESTART = "重启"

pytestmark = [pytest.mark.slow, pytest.mark.usefixtures("no_copy_left"),
              pytest.mark.skipif(engine() == CHROMIUM, reason="runs with the headless engine")]


def test_a_fatal_error_with_the_log_writer_stuck_holding_the_lock_ends_in_time_logged(
        make_run, faults_exe):
    run = make_run("stuck-log-writer", page="recorder")
    shutil.copy2(faults_exe, run.folder.path / "Tarnlumo.exe")
    # The writer sticks at the first line it writes once the page has loaded
    # (the fatal line itself, at the latest); every line after it waits in
    # the queue.
    (run.folder.path / "fault.txt").write_text("log-writer-locked stuck\npage-loaded access\n")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()

    def loads():
        return len(office.reports("loaded"))
    assert wait_until(lambda: loads() >= 1, START_TIMEOUT), "the page never loaded"
    started = time.monotonic()
    code = program.wait_exit(FATAL_EXIT_SECONDS)
    assert code is not None, "the failing run did not end within %d s" % FATAL_EXIT_SECONDS
    assert code != 0
    ended_after = time.monotonic() - started
    # The restarted copy (fault.txt is gone) loads the page again.
    assert wait_until(lambda: loads() >= 2, RESTART_LOAD_SECONDS), "no restarted copy loaded"
    first = split_runs(run.folder.log())[0]
    categories = [line.category for line in first]
    assert FATAL in categories, first
    assert ended_in_order(first), first[-4:]
    assert RESTART in categories[categories.index(FATAL):], first
    # By the log's own clock too: the last line is written within the bound
    # of the fatal one (whole seconds, so one more for the rounding).
    fatal_line = first[categories.index(FATAL)]
    assert first[-1].seconds() - fatal_line.seconds() <= FATAL_BOUND_SECONDS + 1, first
    print("stuck-writer fatal run ended %.1f s after the page loaded" % ended_after)
    if run.ctl.main().get("found") == "1":
        run.ctl.run("tray", "exit")
    assert run.ctl.wait("main", "gone", 30)
