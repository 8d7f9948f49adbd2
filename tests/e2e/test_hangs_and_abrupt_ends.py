"""Hangs and abrupt ends of the real program. A push whose page handler never
returns hangs the GUI thread: that is a fatal error, and a new copy shows the
page again. A program ended from outside (a signal to its Wine process, or
TerminateProcess from another Windows process) is started again by its
watcher; an end the program or its operator wanted (the tray's exit, the
page's close, a stand-down as an installer gives it) starts nothing, nor does
any end with [local] restart=0 or beyond the restart cap."""

import json
import os
import shutil
import signal
import subprocess
import time

import pytest

from lumo_harness import CHROMIUM, Program, ended_in_order, engine, split_runs, wait_until

START_TIMEOUT = 60
# From the push that hangs the page to the new copy's page load.
HANG_RESTART_SECONDS = 45
# From the abrupt end to the new copy's page load.
ABRUPT_RESTART_SECONDS = 15
# Long enough for a watcher that wrongly restarts to have shown a new copy.
NOTHING_FOLLOWS_SECONDS = 10
# How long the watcher of the fault-test build waits before it looks at the program.
WATCHER_PAUSE_SECONDS = 4
FATAL = "错误提示"
RESTART = "重启"
HANG_CODE = "code:258 msg:GUI thread not answering since "

# Start-up, the watcher and the hang watch are the program's own and the same
# with either engine; only the headless one runs a page script on the GUI
# thread as the real engine does (the Chromium one bounds each script call).
pytestmark = [pytest.mark.slow, pytest.mark.usefixtures("no_copy_left"),
              pytest.mark.skipif(engine() == CHROMIUM, reason="runs with the headless engine")]


class Shop:
    def __init__(self, make_run, name, local=None, scripts_unbounded=False):
        self.run = make_run(name, page="recorder")
        self.folder, self.ctl = self.run.folder, self.run.ctl
        if scripts_unbounded:
            # The headless engine stops a script after 10 s; the real one never does.
            (self.folder.path / "node_script_limit_ms.txt").write_text("0")
        self.office = self.run.start_office()
        settings = {"index": 1}
        settings.update(local or {})
        self.folder.write_config({"server": {"ip": "127.0.0.1", "webport": self.office.web_port},
                                  "local": settings})
        self.program = self.run.start_program()
        assert self.wait_loads(1, START_TIMEOUT), "the page never loaded"

    def loads(self):
        return len(self.office.reports("loaded"))

    def wait_loads(self, count, timeout):
        return wait_until(lambda: self.loads() >= count, timeout)

    def runs(self):
        return split_runs(self.folder.log())

    def windows_pid(self):
        return int(self.ctl.main()["pid"])

    def wait_logged_in(self, run_index):
        return wait_until(lambda: len(self.runs()) > run_index and any(
            l.message.startswith("OnConnect:") for l in self.runs()[run_index]), 30)

    def watchers(self):
        """Command lines of this folder's live watcher processes (Wine shows a
        process's Windows command line)."""
        found = subprocess.run(["pgrep", "-af", "--", "%s.*--watch" % self.folder.name],
                               capture_output=True, text=True)
        return [line for line in found.stdout.splitlines() if self.folder.name in line]

    def nothing_follows(self, loads):
        time.sleep(NOTHING_FOLLOWS_SECONDS)
        return (self.loads() == loads and self.ctl.main().get("found") == "0"
                and not self.watchers())


def end_through_tray(shop):
    shop.ctl.run("tray", "exit")
    assert shop.ctl.wait("main", "gone", 30)


def restart_lines(run):
    return [l.message for l in run if l.category == RESTART]


def test_a_push_that_never_returns_is_a_hang_the_program_comes_back_from(make_run):
    shop = Shop(make_run, "hang-spin", scripts_unbounded=True)
    assert shop.wait_logged_in(0)
    pushed = time.monotonic()
    shop.office.push(json.dumps({"c": "e2e", "a": "spin"}))
    # Later pushes leave their socket workers waiting on the hung GUI thread;
    # the fatal path must end the process all the same.
    time.sleep(3)
    shop.office.push(json.dumps({"c": "sale", "a": "item", "data": {"n": 1}}))
    assert shop.program.wait_exit(HANG_RESTART_SECONDS) not in (None, 0), "the hung run never ended"
    ended = time.monotonic() - pushed
    assert shop.wait_loads(2, pushed + HANG_RESTART_SECONDS - time.monotonic()), \
        "no new copy loaded the page within %d s of the push" % HANG_RESTART_SECONDS
    runs = shop.runs()
    assert len(runs) == 2, [r[0] for r in runs]
    fatal = [l.message for l in runs[0] if l.category == FATAL]
    assert len(fatal) == 1 and fatal[0].startswith(HANG_CODE), fatal
    # Not before the limit: the GUI thread answered until the push.
    assert ended >= 25, "ended %.0f s after the push" % ended
    assert restart_lines(runs[0])[0].startswith("新进程 pid:"), restart_lines(runs[0])
    # The shutdown steps ran without the hung thread.
    assert ended_in_order(runs[0]), runs[0][-4:]
    # The fatal path restarted: the watcher added no second copy.
    assert not any("意外结束" in m for m in restart_lines(runs[1])), restart_lines(runs[1])
    assert FATAL not in [l.category for l in runs[1]]
    end_through_tray(shop)


def abrupt_end(shop, how):
    """Ends the running copy from outside; returns its Windows pid."""
    pid = shop.windows_pid()
    if how == "sigkill":
        os.kill(shop.program.process.pid, signal.SIGKILL)
    else:
        assert shop.ctl.run("terminate")["killed"] == "1"
    return pid


@pytest.mark.parametrize("how, exit_code", [("sigkill", None), ("terminate", "9")])
def test_a_program_ended_from_outside_is_started_again_by_its_watcher(make_run, how, exit_code):
    shop = Shop(make_run, "abrupt-" + how)
    assert len(shop.watchers()) == 1, shop.watchers()
    pid = abrupt_end(shop, how)
    ended = time.monotonic()
    assert shop.wait_loads(2, ABRUPT_RESTART_SECONDS), \
        "no new copy loaded the page within %d s" % ABRUPT_RESTART_SECONDS
    took = time.monotonic() - ended
    runs = shop.runs()
    assert len(runs) == 2, [r[0] for r in runs]
    said = restart_lines(runs[1])
    assert len(said) == 1, said
    prefix = "上次运行 pid:%d 意外结束 code:" % pid
    assert said[0].startswith(prefix) and said[0].endswith(",看守进程已重启 10分钟内第1次"), said
    if exit_code:
        assert said[0][len(prefix):].startswith(exit_code + ","), said
    # The new copy runs normally: logs in, and is itself watched (the old
    # watcher ended after starting it).
    assert shop.wait_logged_in(1)
    assert len(shop.watchers()) == 1 and "--watch %d " % pid not in shop.watchers()[0], \
        shop.watchers()
    print("page back %.1f s after the end (%s)" % (took, how))
    end_through_tray(shop)
    assert shop.nothing_follows(2)


def test_exit_through_the_tray_or_the_page_starts_nothing(make_run):
    shop = Shop(make_run, "abrupt-normal-exits")
    assert shop.program.exit_through_tray() == 0
    assert shop.nothing_follows(1)
    shop.program = Program(shop.folder, shop.ctl).start()
    assert shop.wait_loads(2, START_TIMEOUT)
    assert shop.wait_logged_in(1)
    shop.office.push(json.dumps({"c": "e2e", "a": "serverjs",
                                 "data": {"id": "close", "arg": '{"c":"window","a":"close"}'}}))
    assert shop.program.wait_exit(30) == 0
    assert shop.nothing_follows(2)
    assert all(ended_in_order(run) for run in shop.runs())
    assert not [m for run in shop.runs() for m in restart_lines(run)]


def test_a_stand_down_as_an_installer_gives_it_keeps_a_hard_end_down(make_run):
    shop = Shop(make_run, "abrupt-stand-down")
    assert shop.ctl.run("stand-down")["stood_down"] == "1"
    assert shop.ctl.run("terminate")["killed"] == "1"
    assert shop.program.wait_exit(20) is not None
    assert shop.nothing_follows(1)


def start_without_server(make_run, faults_exe, name, fault):
    """The fault-test build with `fault`, and no server: start-up stops, after
    starting the watcher, waiting for one."""
    from office import free_port
    run = make_run(name)
    shutil.copy2(faults_exe, run.folder.path / "Tarnlumo.exe")
    (run.folder.path / "fault.txt").write_text(fault + "\n")
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": free_port()},
                             "local": {"index": 1}})
    return run, run.start_program()


def wait_for_server_wait(run):
    from test_status_file import status_of, wait_status
    assert wait_status(run.folder, lambda s: s["state"] == "waiting_for_server", START_TIMEOUT), \
        status_of(run.folder)


def assert_stayed_down(run):
    assert run.ctl.main().get("found") == "0"
    assert len(split_runs(run.folder.log())) == 1, run.folder.log()


def test_a_stand_down_before_the_watcher_started_keeps_a_hard_end_down(make_run, faults_exe):
    """An installer may find the window while the program is still starting:
    the start-up pauses before it starts its watcher, the stand-down comes
    then, and the watcher started afterwards still keeps the end down."""
    run, program = start_without_server(make_run, faults_exe, "abrupt-early-stand-down",
                                        "start-up pause8")
    assert run.folder.wait_log(lambda l: l.category == "版本号", START_TIMEOUT)
    assert run.ctl.run("stand-down")["stood_down"] == "1"
    wait_for_server_wait(run)
    assert run.ctl.run("terminate")["killed"] == "1"
    assert program.wait_exit(20) is not None
    time.sleep(NOTHING_FOLLOWS_SECONDS)
    assert_stayed_down(run)


def test_a_stand_down_before_the_watcher_looked_keeps_a_hard_end_down(make_run, faults_exe):
    """The watcher is a process of its own and takes a moment to start: the
    program is stood down and ended before its watcher looked at it, while
    another tool still holds the ended process (so its id can still be
    opened), and the watcher still knows that end was wanted."""
    run, program = start_without_server(make_run, faults_exe, "abrupt-stand-down-before-watcher",
                                        "watcher-start pause%d" % WATCHER_PAUSE_SECONDS)
    wait_for_server_wait(run)
    holder = run.ctl.hold(WATCHER_PAUSE_SECONDS + NOTHING_FOLLOWS_SECONDS)
    assert holder is not None
    try:
        assert run.ctl.run("stand-down")["stood_down"] == "1"
        os.kill(program.process.pid, signal.SIGKILL)
        assert program.wait_exit(20) is not None
        time.sleep(WATCHER_PAUSE_SECONDS + NOTHING_FOLLOWS_SECONDS)
    finally:
        holder.kill()
        holder.wait(30)
    assert_stayed_down(run)


def test_restart_0_keeps_an_abrupt_end_down(make_run):
    shop = Shop(make_run, "abrupt-restart0", local={"restart": 0})
    assert shop.watchers() == [], "restart=0 needs no watcher"
    assert shop.ctl.run("terminate")["killed"] == "1"
    assert shop.program.wait_exit(20) is not None
    assert shop.nothing_follows(1)
    assert len(shop.runs()) == 1


def test_abrupt_ends_stop_being_restarted_after_three_within_ten_minutes(make_run):
    shop = Shop(make_run, "abrupt-cap")
    for restart in range(1, 4):
        assert shop.wait_logged_in(restart - 1)
        pid = abrupt_end(shop, "terminate")
        assert shop.wait_loads(restart + 1, ABRUPT_RESTART_SECONDS), "restart %d" % restart
        said = restart_lines(shop.runs()[restart])
        assert said and said[0].endswith("10分钟内第%d次" % restart), said
    assert shop.wait_logged_in(3)
    pid = abrupt_end(shop, "terminate")
    assert shop.nothing_follows(4)
    runs = shop.runs()
    assert len(runs) == 4
    # The watcher says why the program stays down: nobody else can.
    assert restart_lines(runs[3])[-1] == \
        "上次运行 pid:%d 意外结束 code:9,10分钟内已重启3次,不再重启" % pid, runs[3][-3:]
