"""status.json and lumocheck --status with the real program: one run followed
from its start (server down) through the page load, pushes, a link that goes
down and comes back, to its end; a file read many times while a burst of
pushes rewrites it; and the status a restarted copy writes after a fatal
error. The cases share the run and go in file order."""

import datetime
import json
import subprocess
import time

import pytest

from lumo_harness import CHROMIUM, ENV, REPO, WINE_RUN, engine, program_bin, wait_until
from office import Office, free_port

START_TIMEOUT = 60
CHANGE_TIMEOUT = 20
VERSION = (REPO / "resources" / "version.txt").read_text().split()[0]
KEYS = ["version", "pid", "started", "state", "link", "link_since", "last_push", "pushes_today",
        "restarts_10min", "last_restart_reason", "fatal_error", "screen", "window_visible",
        "window_x", "window_y", "window_width", "window_height", "written"]

pytestmark = [pytest.mark.slow,
              pytest.mark.skipif(engine() == CHROMIUM, reason="the status file is the same for both engines")]


def status_of(folder):
    """The status file as JSON; None while there is none."""
    path = folder.path / "status.json"
    return json.loads(path.read_bytes().decode("utf-8")) if path.exists() else None


def wait_status(folder, predicate, timeout=CHANGE_TIMEOUT):
    def matching():
        status = status_of(folder)
        return status if status and predicate(status) else None
    return wait_until(matching, timeout)


def parse_time(text):
    return datetime.datetime.fromisoformat(text)


def age_seconds(text):
    return (datetime.datetime.now(datetime.timezone.utc) - parse_time(text)).total_seconds()


def lumocheck_status(win_dir):
    exe = program_bin() / "lumocheck.exe"
    done = subprocess.run([str(WINE_RUN), str(exe), "--status", win_dir], env=ENV,
                          capture_output=True, timeout=60)
    lines = done.stdout.decode("gbk", "replace").splitlines()
    return done.returncode, dict(line.split("=", 1) for line in lines if "=" in line)


class Till:
    pass


@pytest.fixture(scope="module")
def till(make_run):
    run = make_run("status", page="recorder")
    t = Till()
    t.run, t.folder, t.ctl = run, run.folder, run.ctl
    t.web_port = free_port()
    t.folder.write_config({"server": {"ip": "127.0.0.1", "webport": t.web_port},
                           "local": {"index": 1}})
    t.program = run.start_program()
    return t


def test_while_waiting_for_the_server_the_status_says_so(till):
    status = wait_status(till.folder, lambda s: s["state"] == "waiting_for_server", START_TIMEOUT)
    assert status, status_of(till.folder)
    assert list(status) == KEYS
    assert status["version"] == VERSION
    assert status["pid"] > 0
    assert age_seconds(status["started"]) < START_TIMEOUT
    assert age_seconds(status["written"]) < CHANGE_TIMEOUT
    assert status["link"] == "none" and status["link_since"] == ""
    assert status["last_push"] == "" and status["pushes_today"] == 0
    assert status["restarts_10min"] == 0 and status["last_restart_reason"] == ""
    assert status["window_visible"] is False and status["screen"] == 0
    code, out = lumocheck_status(till.folder.win_dir)
    assert code == 1, out
    assert out["state"] == "waiting_for_server"
    assert out["result"] == "fail" and "not loaded" in out["reason"], out


def test_after_the_page_loaded_and_the_link_came_up_lumocheck_says_ok(till):
    till.office = Office(till.run.page_dir, web_port=till.web_port).start()
    till.run.office = till.office  # stopped with the run
    status = wait_status(till.folder, lambda s: s["state"] == "page_loaded" and s["link"] == "up",
                         START_TIMEOUT)
    assert status, status_of(till.folder)
    assert age_seconds(status["link_since"]) < START_TIMEOUT
    assert status["screen"] == 1 and status["window_visible"] is True
    assert status["window_width"] > 0 and status["window_height"] > 0
    code, out = lumocheck_status(till.folder.win_dir)
    assert code == 0, out
    assert out["result"] == "ok" and "reason" not in out
    assert [key for key in out if key in KEYS] == KEYS
    assert out["state"] == "page_loaded" and out["link"] == "up"
    assert 0 <= int(out["age_seconds"]) < CHANGE_TIMEOUT


def test_a_push_is_counted_with_its_time(till):
    before = status_of(till.folder)["pushes_today"]
    for n in range(3):
        till.office.push(json.dumps({"c": "status", "a": "n", "data": {"n": n}}))
    status = wait_status(till.folder, lambda s: s["pushes_today"] == before + 3)
    assert status, status_of(till.folder)
    assert age_seconds(status["last_push"]) < CHANGE_TIMEOUT


def test_the_file_is_never_seen_half_written(till):
    """A reader polls the file as fast as it can while a burst of pushes makes
    the program rewrite it again and again: every read is one whole status."""
    before = status_of(till.folder)["pushes_today"]
    burst = 300
    counts, reads = set(), 0
    sent = 0
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        if sent < burst:
            till.office.push(json.dumps({"c": "status", "a": "burst", "data": {"n": sent}}))
            sent += 1
        data = (till.folder.path / "status.json").read_bytes()
        reads += 1
        status = json.loads(data.decode("utf-8"))  # raises on a partial file
        assert list(status) == KEYS
        counts.add(status["pushes_today"])
        if sent == burst and status["pushes_today"] == before + burst:
            break
    assert before + burst in counts, "the last push of the burst was never written"
    # The reads saw the file change several times (a burst is written at most
    # four times a second), so they raced real writes.
    assert len(counts) >= 3, (reads, sorted(counts))
    print("status.json read %d times during the burst, %d different counts seen" % (
        reads, len(counts)))


def test_while_the_link_is_down_the_status_and_lumocheck_say_so(till):
    till.office.tcp_stop()
    status = wait_status(till.folder, lambda s: s["link"] == "down")
    assert status, status_of(till.folder)
    assert status["state"] == "page_loaded"
    assert age_seconds(status["link_since"]) < CHANGE_TIMEOUT
    code, out = lumocheck_status(till.folder.win_dir)
    assert code == 1, out
    assert out["result"] == "fail" and "link" in out["reason"] and "down" in out["reason"], out
    till.office.tcp_start()
    assert wait_status(till.folder, lambda s: s["link"] == "up", START_TIMEOUT)
    assert lumocheck_status(till.folder.win_dir)[0] == 0


def test_an_old_status_is_stale(till, tmp_path):
    """A copy of the good status whose time is 5 minutes old, as a program that
    stopped writing would leave it."""
    status = status_of(till.folder)
    old = parse_time(status["written"]) - datetime.timedelta(minutes=5)
    status["written"] = old.isoformat()
    stale = till.folder.path.parent / "status-stale"
    stale.mkdir(exist_ok=True)
    (stale / "status.json").write_text(json.dumps(status), encoding="utf-8")
    code, out = lumocheck_status("C:\\%s\\status-stale\\" % till.folder.path.parent.name)
    assert code == 1, out
    assert out["result"] == "fail" and out["reason"].startswith("stale"), out
    assert 290 <= int(out["age_seconds"]) <= 300 + CHANGE_TIMEOUT
    # Without any file there is nothing to trust either.
    (stale / "status.json").unlink()
    code, out = lumocheck_status("C:\\%s\\status-stale\\" % till.folder.path.parent.name)
    assert code == 1 and out["result"] == "fail", out


def test_an_orderly_end_leaves_shutting_down(till):
    assert till.program.exit_through_tray() is not None
    status = status_of(till.folder)
    assert status["state"] == "shutting_down", status
    assert status["fatal_error"] == ""
    assert lumocheck_status(till.folder.win_dir)[0] == 1
