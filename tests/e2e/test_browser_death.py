"""The browser behind the Chromium engine dies while the program runs (killed
three times in a row, as a crash or the system would): each time the engine
starts a new one, the reference page loads again, its serverJS calls work,
and a push from the back office reaches it; after the tray exit no browser
of the program folder is left.

Runs with LUMO_ENGINE=chromium, e.g.
    LUMO_ENGINE=chromium /usr/bin/python3 -m pytest tests/e2e/test_browser_death.py"""

import json
import os
import signal
import time
from pathlib import Path

import pytest

from lumo_harness import CHROMIUM, engine, wait_until

REPO = Path(__file__).resolve().parents[2]
REFERENCE_PAGE = REPO / "tools" / "backoffice" / "page"
START_TIMEOUT = 90
RECOVERY_TIMEOUT = 10
PUSH_TIMEOUT = 10
KILLS = 3
# The keeper script writes the browser's Linux pid here, in the profile folder.
PID_FILE = "lumo-browser.pid"
# The keeper ends the browser once the heartbeat is 3 s old, then gives it 5 s.
BROWSER_GONE_TIMEOUT = 12

pytestmark = [
    pytest.mark.slow,
    pytest.mark.skipif(engine() != CHROMIUM,
                       reason="the browser's death: run with LUMO_ENGINE=chromium (engine now: %s)"
                       % engine()),
]


def browser_pid(folder):
    """The Linux pid of the folder's browser, or None while none is written."""
    try:
        return int((folder.profile_path / PID_FILE).read_text().strip())
    except (OSError, ValueError):
        return None


def alive(pid):
    return Path("/proc/%d" % pid).exists()


def test_the_page_comes_back_after_each_browser_death(make_run):
    run = make_run("browser_death")
    run.page_dir = REFERENCE_PAGE
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    assert office.wait_report(lambda r: r["available"], START_TIMEOUT, kind="serverjs")
    assert office.wait("received", 1, 30), "no login: the link did not start"

    recoveries = []
    for round_number in range(KILLS):
        pid = browser_pid(run.folder)
        assert pid and alive(pid), "no browser runs for the program folder"
        loads = len(office.reports("loaded"))
        probes = len(office.reports("serverjs"))
        os.kill(pid, signal.SIGKILL)
        killed = time.monotonic()
        assert wait_until(lambda: len(office.reports("loaded")) > loads, RECOVERY_TIMEOUT), \
            "round %d: the page did not load again within %d s" % (round_number, RECOVERY_TIMEOUT)
        recoveries.append(time.monotonic() - killed)
        assert program.alive()
        # The new page reached the program's bound function again...
        probe = wait_until(lambda: office.reports("serverjs")[probes:], 5)
        assert probe and probe[0]["available"] and probe[0]["replies"]["appname"] == "lumo"
        # ...and the program's pushes reach it.
        message = {"c": "ad", "a": "show", "data": {"text": "第 %d 次" % round_number}}
        office.push(json.dumps(message, ensure_ascii=False))
        assert office.wait_report(lambda r: r["msg"] == message, PUSH_TIMEOUT, kind="message"), \
            "round %d: the push did not reach the new page" % round_number
        new_pid = browser_pid(run.folder)
        assert new_pid != pid and alive(new_pid)
    print("browser killed -> page loaded again: %s s"
          % ", ".join("%.1f" % seconds for seconds in recoveries))

    assert program.exit_through_tray() is not None, "the program did not end"
    gone = wait_until(lambda: not run.folder.browser_processes(), BROWSER_GONE_TIMEOUT, poll=0.5)
    assert gone, "browser left after the tray exit: %s" % run.folder.browser_processes()
