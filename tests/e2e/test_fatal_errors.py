"""Fatal errors in the real program: the fault-test build (bin/faults/Tarnlumo.exe)
raises a real one at the place fault.txt names, on each kind of thread. Each
run must end within the bound with the fatal line and the shutdown lines last
in its log, free the instance lock, and, unless restarting is off or capped,
be replaced by a new copy that loads the page again."""

import shutil
import subprocess
import time

import pytest

from lumo_harness import (CHROMIUM, E2E_FOLDER, Program, ended_in_order, engine, split_runs,
                          wait_until)

START_TIMEOUT = 60
# The program's own bound is 10 s; Wine needs a little more to reap the process.
FATAL_EXIT_SECONDS = 14
RESTART_LOAD_SECONDS = 60
FATAL = "错误提示"
RESTART = "重启"

# The fatal path is the program's own and the same with either engine; the
# headless one keeps these many starts quick.
pytestmark = [pytest.mark.slow,
              pytest.mark.skipif(engine() == CHROMIUM, reason="runs with the headless engine")]


@pytest.fixture(scope="module")
def faults_exe(bin_dir):
    exe = bin_dir / "faults" / "Tarnlumo.exe"
    if not exe.exists():
        pytest.skip("no fault-test build at %s" % exe)
    return exe


class FaultRun:
    def __init__(self, run, faults_exe, fault, config_local=None):
        self.run, self.folder, self.ctl = run, run.folder, run.ctl
        shutil.copy2(faults_exe, self.folder.path / "Tarnlumo.exe")
        (self.folder.path / "fault.txt").write_text(fault + "\n")
        self.office = run.start_office()
        local = {"index": 1}
        local.update(config_local or {})
        self.folder.write_config({"server": {"ip": "127.0.0.1", "webport": self.office.web_port},
                                  "local": local})
        self.program = run.start_program()

    def loads(self):
        return len(self.office.reports("loaded"))

    def wait_loads(self, count, timeout):
        return wait_until(lambda: self.loads() >= count, timeout)

    def runs(self):
        return split_runs(self.folder.log())

    def end_everything(self):
        """Ends whichever copy holds the main window now."""
        if self.ctl.main().get("found") == "1":
            self.ctl.run("tray", "exit")
        self.ctl.wait("main", "gone", 30)


@pytest.fixture(autouse=True)
def no_copy_left(ctl):
    """A failed case may leave a restarted copy running, which nothing tracks:
    end it, so it cannot hold the instance lock for the cases after it."""
    yield
    if ctl.main().get("found") == "1":
        ctl.run("tray", "exit")
    if not ctl.wait("main", "gone", 20):
        subprocess.run(["pkill", "-f", E2E_FOLDER + ".fatal-"], check=False)


def assert_ended_after_fatal(lines):
    categories = [line.category for line in lines]
    assert FATAL in categories, lines
    assert ended_in_order(lines), lines[-4:]
    fatal_at = categories.index(FATAL)
    assert categories[fatal_at:].count("开始销毁") == 1, lines[fatal_at:]


def fail_and_restart(make_run, faults_exe, name, fault, trigger=None):
    run = FaultRun(make_run(name, page="recorder"), faults_exe, fault)
    assert run.wait_loads(1, START_TIMEOUT), "the page never loaded"
    if trigger:
        trigger(run)
    started = time.monotonic()
    code = run.program.wait_exit(FATAL_EXIT_SECONDS)
    assert code is not None, "the failing run did not end within %d s" % FATAL_EXIT_SECONDS
    assert code != 0
    assert run.wait_loads(2, RESTART_LOAD_SECONDS), "the restarted copy never loaded the page"
    runs = run.runs()
    assert len(runs) == 2, [r[0] for r in runs]
    assert_ended_after_fatal(runs[0])
    assert [l.message for l in runs[0] if l.category == RESTART][0].startswith("新进程 pid:")
    assert FATAL not in [l.category for l in runs[1]]
    # The restarted copy logs in on the link like any start.
    assert wait_until(lambda: any(l.message.startswith("OnConnect:") for l in run.runs()[1]), 30)
    run.end_everything()
    return run, runs, time.monotonic() - started


# (fault.txt line, what makes the faulty code run after the page loaded)
THREAD_FAULTS = {
    "gui-thread": ("page-loaded access", None),
    "watchdog": ("watchdog access", None),
    "socket-worker": ("socket-worker terminate", None),
    "log-writer": ("log-writer access", None),
    "update-handoff": ("update-handoff check", lambda run: run.ctl.run("tray", "update")),
}


@pytest.mark.parametrize("thread", sorted(THREAD_FAULTS))
def test_a_fatal_error_on_any_thread_ends_the_run_in_order_and_restarts(make_run, faults_exe,
                                                                         thread):
    fault, trigger = THREAD_FAULTS[thread]
    run, runs, _ = fail_and_restart(make_run, faults_exe, "fatal-" + thread, fault, trigger)
    fatal = [l.message for l in runs[0] if l.category == FATAL]
    assert len(fatal) == 1, fatal
    expected = {"check": "code:99 msg:check failed", "terminate": "code:3 msg:terminate called",
                "access": "code:-1073741819 msg:unhandled exception at "}[fault.split()[1]]
    assert fatal[0].startswith(expected), fatal


def test_a_second_fatal_error_during_the_shutdown_ends_the_process_at_once(make_run, faults_exe):
    run = FaultRun(make_run("fatal-twice", page="recorder"), faults_exe,
                   "watchdog access\nshutdown access")
    assert run.wait_loads(1, START_TIMEOUT)
    assert run.program.wait_exit(FATAL_EXIT_SECONDS) not in (None, 0)
    first_run = run.runs()[0]
    fatal = [l for l in first_run if l.category == FATAL]
    assert len(fatal) == 2, first_run
    # Ended at once: the shutdown went no further than where it failed.
    assert "销毁" not in [l.category for l in first_run]
    assert run.wait_loads(2, RESTART_LOAD_SECONDS)
    run.end_everything()


def test_restarts_stop_after_three_within_ten_minutes(make_run, faults_exe):
    run = FaultRun(make_run("fatal-cap", page="recorder"), faults_exe, "page-loaded access keep")
    # The first run and three restarts each load the page and fail.
    assert run.wait_loads(4, 4 * RESTART_LOAD_SECONDS), "only %d loads" % run.loads()

    def fourth_failed():
        runs = run.runs()
        return len(runs) == 4 and ended_in_order(runs[-1])
    assert wait_until(fourth_failed, 4 * FATAL_EXIT_SECONDS)
    runs = run.runs()
    decisions = [[l.message for l in r if l.category == RESTART] for r in runs]
    assert [d[0].startswith("新进程 pid:") for d in decisions[:3]] == [True] * 3
    assert [d[0].split()[-1] for d in decisions[:3]] == ["10分钟内第1次", "10分钟内第2次",
                                                         "10分钟内第3次"]
    assert decisions[3] == ["10分钟内已重启3次,不再重启"]
    # It stays down.
    time.sleep(5)
    assert len(run.runs()) == 4
    assert run.ctl.main().get("found") == "0"


def test_restart_0_leaves_it_down_and_the_lock_free(make_run, faults_exe):
    run = FaultRun(make_run("fatal-norestart", page="recorder"), faults_exe,
                   "watchdog access", config_local={"restart": 0})
    assert run.wait_loads(1, START_TIMEOUT)
    assert run.program.wait_exit(FATAL_EXIT_SECONDS) not in (None, 0)
    runs = run.runs()
    assert_ended_after_fatal(runs[0])
    assert [l.message for l in runs[0] if l.category == RESTART] == ["已关闭(restart=0),不重启"]
    time.sleep(3)
    assert len(run.runs()) == 1 and run.loads() == 1
    # The lock is free: the next start (fault.txt is gone) runs normally.
    run.program = Program(run.folder, run.ctl).start()
    assert run.wait_loads(2, START_TIMEOUT)
    assert run.program.exit_through_tray() == 0


def test_an_update_hand_off_still_running_does_not_break_the_exit(make_run, bin_dir):
    run = make_run("exit-during-update", page="recorder")
    (run.folder.path / "common_update_delay_ms.txt").write_text("15000")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    assert office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    calls = len(run.folder.update_calls())
    run.ctl.run("tray", "update")
    assert wait_until(lambda: len(run.folder.update_calls()) > calls, 10)
    # The hand-off is inside common.dll for 15 s more; the exit must not
    # pull the library out from under it.
    assert program.exit_through_tray() == 0
    lines = run.folder.log()
    assert ended_in_order(lines), lines[-3:]
    assert FATAL not in [l.category for l in lines]
