"""Start-up while the back-office server is down: the program waits, hidden,
and goes on by itself once the server answers."""

import time

import pytest

from lumo_harness import ended_in_order
from office import free_port

pytestmark = pytest.mark.slow

START_TIMEOUT = 60


def test_start_waits_for_the_server_and_goes_on_when_it_comes_up(make_run):
    run = make_run("startup_wait")
    port = free_port()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": port}, "local": {"index": 1}})
    program = run.start_program()
    assert run.folder.wait_log(lambda l: l.category == "版本号", START_TIMEOUT)
    time.sleep(7)
    assert program.alive()
    assert [l.category for l in run.folder.log()] == ["版本号"]
    assert run.ctl.main()["visible"] == "0"
    office = run.start_office(web_port=port)
    came_up = time.monotonic()
    url = run.folder.wait_log(lambda l: l.category == "页面地址", 20)
    assert url and url.message == "http://127.0.0.1:%d/client/app/lumo/" % port
    # Checked in 3 s steps: the next check after the server came up is soon.
    assert time.monotonic() - came_up < 10
    assert program.wait_main_visible(30)
    assert office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    assert office.wait("received", 1, 30), "no login"
    assert program.exit_through_tray() is not None
    assert ended_in_order(run.folder.log()), run.folder.log()[-4:]
