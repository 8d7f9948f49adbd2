"""Fatal errors in the real program: the fault-test build (bin/faults/Tarnlumo.exe)
raises a real one at the place fault.txt names, on each kind of thread. Each
run must end within the bound with the fatal line and the shutdown lines last
in its log, free the instance lock, and, unless restarting is off or capped,
be replaced by a new copy that loads the page again."""

import shutil
import time
from pathlib import Path

import pytest

from lumo_harness import (CHROMIUM, Program, ended_in_order, engine, split_runs,
                          wait_until)

START_TIMEOUT = 60
# The program's own bound is 10 s; Wine needs a little more to reap the process.
FATAL_EXIT_SECONDS = 14
RESTART_LOAD_SECONDS = 60
FATAL = "错误提示"
RESTART = "重启"

# The fatal path is the program's own and the same with either engine; the
# headless one keeps these many starts quick. What only the Chromium engine
# leaves behind (its browser and keeper) is tested with that engine.
pytestmark = [pytest.mark.slow, pytest.mark.usefixtures("no_copy_left")]
headless_only = pytest.mark.skipif(engine() == CHROMIUM, reason="runs with the headless engine")
chromium_only = pytest.mark.skipif(engine() != CHROMIUM, reason="runs with the Chromium engine")
# A browser asked to end gets 5 s before it is killed; a loaded machine adds to that.
OLD_BROWSER_GONE_SECONDS = 20
BROWSER_PID_FILE = "lumo-browser.pid"


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


def assert_ended_after_fatal(lines):
    categories = [line.category for line in lines]
    assert FATAL in categories, lines
    assert ended_in_order(lines), lines[-4:]
    fatal_at = categories.index(FATAL)
    assert categories[fatal_at:].count("开始销毁") == 1, lines[fatal_at:]


def fail_and_restart(make_run, faults_exe, name, fault, trigger=None, restarted=None):
    """`restarted(run, first)` checks the restarted copy while it runs; `first`
    is what it returned before the fault (with first=None)."""
    run = FaultRun(make_run(name, page="recorder"), faults_exe, fault)
    assert run.wait_loads(1, START_TIMEOUT), "the page never loaded"
    first = restarted(run, None) if restarted else None
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
    if restarted:
        restarted(run, first)
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


@headless_only
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


STACK_OVERFLOW = "code:-1073741571 msg:unhandled exception at "


@headless_only
@pytest.mark.parametrize("site", ["page-loaded", "watchdog"])
def test_a_stack_overflow_is_logged_and_restarted(make_run, faults_exe, site):
    """No stack is left on the failing thread (the GUI thread inside the
    engine's load-finished callback, or the link's watchdog): the fatal path's
    own thread logs it, restarts and shuts down all the same."""
    run, runs, _ = fail_and_restart(make_run, faults_exe, "fatal-overflow-" + site,
                                    site + " overflow")
    fatal = [l.message for l in runs[0] if l.category == FATAL]
    assert len(fatal) == 1 and fatal[0].startswith(STACK_OVERFLOW), fatal


# The program ends itself within 10 s of the fault; Wine reports the end of
# its process a little later.
BOUND_FROM_FAULT_SECONDS = 11


def fault_fired_at(run):
    """When the fault fired (the fault-test build notes it), in time.time() terms."""
    return int((run.folder.path / "fault-fired.txt").read_text().strip()) / 1000.0


@headless_only
@pytest.mark.parametrize("pause", [5, 12])
def test_a_fault_while_the_gui_thread_sleeps_ends_within_the_bound_with_the_log_complete(
        make_run, faults_exe, pause):
    """The GUI thread sleeps inside the page-load callback (as in a long
    script call) when the watchdog fails. The stop is counted from the fault,
    not from when the GUI thread is free again, and needs nothing from it:
    the run ends within the bound and its log is complete: the error, the
    restart decision, then the shutdown's two lines as the last ones."""
    run = FaultRun(make_run("fatal-gui-asleep-%d" % pause, page="recorder"), faults_exe,
                   "page-loaded pause%d\nwatchdog access" % pause)
    assert run.wait_loads(1, START_TIMEOUT), "the page never loaded"
    code = run.program.wait_exit(pause + FATAL_EXIT_SECONDS)
    ended = time.time()
    assert code not in (None, 0), "the failing run did not end"
    assert ended - fault_fired_at(run) <= BOUND_FROM_FAULT_SECONDS, \
        "ended %.1f s after the fault" % (ended - fault_fired_at(run))
    first = run.runs()[0]
    assert_ended_after_fatal(first)
    categories = [l.category for l in first]
    assert categories.index(FATAL) < categories.index(RESTART) < categories.index("开始销毁")
    assert [l.message for l in first if l.category == RESTART][0].startswith("新进程 pid:")
    assert run.wait_loads(2, RESTART_LOAD_SECONDS), "the restarted copy never loaded the page"
    run.end_everything()


@headless_only
def test_a_fatal_error_with_the_log_writer_stuck_holding_the_lock_ends_in_time_logged(
        make_run, faults_exe):
    """The fault-test build stops the log writer for good, holding the log's
    file lock, at the first line it writes once the page has loaded (the
    fatal line itself, at the latest); every line after it waits in the
    queue. The run still ends within the bound with its last lines, the
    shutdown's own among them, in the log."""
    _, runs, _ = fail_and_restart(make_run, faults_exe, "stuck-log-writer",
                                  "log-writer-locked stuck\npage-loaded access")
    first = runs[0]
    categories = [line.category for line in first]
    fatal_at = categories.index(FATAL)
    assert RESTART in categories[fatal_at:], first
    # By the log's own clock too: the last line is written within the bound
    # of the fatal one (whole seconds, so one more for the rounding).
    assert first[-1].seconds() - first[fatal_at].seconds() <= BOUND_FROM_FAULT_SECONDS, first


@headless_only
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


@headless_only
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


@headless_only
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


@headless_only
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


def process_alive(pid):
    """True while the process runs (a zombie nobody reaped has ended)."""
    try:
        stat = Path("/proc/%d/stat" % pid).read_text()
    except OSError:
        return False
    return stat.rsplit(")", 1)[1].split()[0] != "Z"


def browsers_and_keepers(folder):
    """(main browser pids, keeper pids) running for the folder's profile; a
    keeper's watcher, a subshell of the same script, is not counted apart."""
    processes = {}
    for line in folder.browser_processes():
        pid, command = line.split(" ", 1)
        processes[int(pid)] = command
    browsers = [pid for pid, command in processes.items()
                if "--remote-debugging-pipe" in command and "--type=" not in command]
    scripts = {pid for pid, command in processes.items() if "lumo-browser.sh" in command}

    def parent(pid):
        try:
            return int(Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            return 0
    keepers = [pid for pid in scripts if parent(pid) not in scripts]
    return sorted(browsers), sorted(keepers)


@chromium_only
def test_a_restart_with_the_chromium_engine_leaves_one_browser_for_the_profile(make_run,
                                                                               faults_exe):
    def restarted(run, first):
        folder = run.folder
        if first is None:
            pid = int((folder.profile_path / BROWSER_PID_FILE).read_text().split()[0])
            assert process_alive(pid)
            return pid
        # The restarted copy's first browser serves the page: an earlier browser
        # still holding the profile would take the new one's place and leave
        # it without a page, or an earlier keeper's clean-up remove its pipe.
        failed = [l for l in run.runs()[1] if l.category == "载入页面" and "失败" in l.message]
        assert not failed, failed
        # The first copy's browser is ended, not kept alive by the new copy's heartbeat.
        assert wait_until(lambda: not process_alive(first), OLD_BROWSER_GONE_SECONDS), \
            browsers_and_keepers(folder)
        browsers, keepers = browsers_and_keepers(folder)
        assert len(browsers) == 1 and len(keepers) == 1, folder.browser_processes()
        assert browsers[0] != first
        # The one left is the browser the restarted copy's keeper started.
        assert int((folder.profile_path / BROWSER_PID_FILE).read_text().split()[0]) == browsers[0]
        return None

    fail_and_restart(make_run, faults_exe, "fatal-chromium", "watchdog access",
                     restarted=restarted)
