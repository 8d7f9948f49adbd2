"""The restart benchmark's own arithmetic: process lives from /proc samples,
log times and the steps of a restart put together from all three sources."""

import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from restart_steps import (ProcessBook, ProcessLife, command_line_of, local_day_start,  # noqa: E402
                           log_times, read_process_table, reconstruct)

EXE = "C:\\lumo_bench\\run\\Tarnlumo.exe"


def test_command_line_joins_arguments_and_drops_the_last_nul():
    assert command_line_of(b"a.exe\0--watch\x0042\0") == "a.exe --watch 42"


def test_book_keeps_only_the_folder_s_processes_and_notes_starts_and_ends():
    book = ProcessBook("lumo_bench/run/")
    book.sample({1: EXE, 2: "/usr/bin/other", 3: "/x/drive_c/lumo_bench/run/profile chrome"}, 10.0)
    book.sample({1: EXE, 3: "/x/drive_c/lumo_bench/run/profile chrome"}, 10.5)
    book.sample({3: "/x/drive_c/lumo_bench/run/profile chrome", 4: EXE + " --restarted-after 1 9"},
                11.0)
    lives = {life.pid: life for life in book.all()}
    assert sorted(lives) == [1, 3, 4]
    assert (lives[1].first_seen, lives[1].last_seen, lives[1].ended) == (10.0, 10.5, 11.0)
    assert lives[3].ended is None and lives[4].first_seen == 11.0


def test_a_reused_pid_with_another_command_line_is_a_new_process():
    book = ProcessBook("lumo_bench/run/")
    book.sample({7: EXE}, 1.0)
    book.sample({7: EXE + " --watch 6"}, 2.0)
    lives = book.all()
    assert [(l.first_seen, l.ended) for l in lives] == [(1.0, 2.0), (2.0, None)]


def test_the_watcher_and_the_browser_are_not_the_program():
    assert ProcessLife(1, EXE, 0).is_program()
    assert ProcessLife(1, EXE + " --restarted-after 3 4", 0).is_program()
    assert not ProcessLife(1, EXE + " --watch 3", 0).is_program()
    assert not ProcessLife(1, "/usr/bin/chromium --user-data-dir=C:/lumo_bench/run/p", 0).is_program()


def test_read_process_table_finds_a_child_with_its_arguments():
    child = subprocess.Popen([sys.executable, "-c", "import time; time.sleep(30)", "marker-arg"])
    try:
        # Between fork and exec the child still shows its parent's command
        # line: look again until it has started, for a few seconds at most.
        deadline = time.monotonic() + 10
        table_now = read_process_table()
        while "marker-arg" not in table_now.get(child.pid, "") and time.monotonic() < deadline:
            time.sleep(0.05)
            table_now = read_process_table()
        assert "marker-arg" in table_now[child.pid]
        assert os.getpid() in table_now
    finally:
        child.kill()
        child.wait()


def test_log_times_reads_whole_seconds_and_skips_continuation_lines():
    lines = ["01:02:03->[版本号] 1.0 name:Tarnlumo.exe", "continued", "23:59:59->[销毁] "]
    assert log_times(lines, 1000) == [(1000 + 3723, "版本号"), (1000 + 86399, "销毁")]


def test_local_day_start_is_midnight_of_the_local_day():
    now = time.time()
    start = local_day_start(now)
    assert 0 <= now - start < 86400 + 3600
    assert time.localtime(start)[3:6] == (0, 0, 0)


def log_line(at, category):
    stamp = time.strftime("%H:%M:%S", time.localtime(at))
    return "%s->[%s] " % (stamp, category)


def test_reconstruct_puts_each_step_after_the_event():
    event = float(int(time.time())) + 0.25
    old = ProcessLife(100, EXE, event - 60)
    old.ended = event + 0.7
    watcher = ProcessLife(101, EXE + " --watch 100", event - 59)
    new = ProcessLife(102, EXE + " --restarted-after 100 5", event + 0.2)
    timeline = [
        {"at": event - 30, "what": "request", "detail": "GET /"},  # the old run's start
        {"at": event - 29, "what": "report", "detail": "loaded"},
        # The old copy's link, connecting just after the load the fault followed.
        {"at": event + 0.05, "what": "connection-opened", "detail": ""},
        {"at": event + 1.1, "what": "request", "detail": "GET /"},
        {"at": event + 1.3, "what": "request", "detail": "GET /client/app/lumo/"},
        {"at": event + 1.4, "what": "request", "detail": "GET /client/app/lumo/recorder.js"},
        {"at": event + 1.8, "what": "report", "detail": "loaded"},
        {"at": event + 1.9, "what": "connection-opened", "detail": ""},
    ]
    log = [log_line(event - 30, "版本号"), log_line(event + 1, "版本号"), "continued"]
    steps = reconstruct(event, 100, [old, watcher, new], timeline, log)
    assert abs(steps["old ended"] - 0.7) < 1e-6
    assert abs(steps["new started"] - 0.2) < 1e-6
    assert abs(steps["server checked"] - 1.1) < 1e-6
    assert abs(steps["page requested"] - 1.3) < 1e-6
    assert abs(steps["page loaded"] - 1.8) < 1e-6
    assert abs(steps["link connected"] - 1.9) < 1e-6
    # The second log line's whole second began 0.75 s after the event.
    assert abs(steps["log opened"] - 0.75) < 1e-6


def test_reconstruct_leaves_unseen_steps_empty():
    event = 5000.0
    old = ProcessLife(100, EXE, 1000)  # never seen to end
    steps = reconstruct(event, 100, [old], [{"at": 4000.0, "what": "report", "detail": "loaded"}], [])
    assert set(steps.values()) == {None}
