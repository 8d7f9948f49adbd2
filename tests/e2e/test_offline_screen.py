"""The web side of the back office goes down while its TCP side stays up (a
web server restarting) and a push makes the page reload: the reload fails, the
window shows the local screen (the built-in one, or the shop's offline.html)
instead of the engine's error page, the failures are logged and retried, the
page is back within 10 s of the web side answering again, and the link is not
started a second time. Runs with either engine (LUMO_ENGINE)."""

import json
import time
from pathlib import Path

import pytest

from lumo_harness import ENV, ended_in_order, engine, wait_until
from pixels import capture, hex_colour

pytestmark = pytest.mark.slow

START_TIMEOUT = 60
SHOTS = Path(__file__).resolve().parents[2] / "build" / "e2e-shots"
# The built-in local screen's background, and the one of the shop's own below.
BUILT_IN_BACKGROUND = "#1e2a38"
SHOP_BACKGROUND = "#2d6a4f"
SHOP_OFFLINE_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>本店稍后回来</title></head>
<body style="background:%s;color:#ffffff;margin:0;height:100vh">
<div>本店稍后回来</div></body></html>
""" % SHOP_BACKGROUND
# Captures of the local screen taken over more than one retry round (5 s):
# each one must show it, so an error page between retries would be seen.
STEADY_SECONDS = 7
BACK_WITHIN_SECONDS = 10


def window_rect(run):
    main = run.ctl.main()
    assert main.get("found") == "1" and main.get("visible") == "1", main
    return tuple(int(main[k]) for k in ("left", "top", "right", "bottom"))


def shows(colour, rect):
    return lambda screen: screen.share(hex_colour(colour), rect) > 0.6


def loads(office):
    return len(office.reports("loaded"))


@pytest.mark.parametrize("screen_kind", ["built_in", "shop_offline_html"])
def test_failed_reload_shows_the_local_screen_and_the_page_comes_back(make_run, screen_kind):
    run = make_run("offline_" + screen_kind, page="recorder")
    colour = BUILT_IN_BACKGROUND
    if screen_kind == "shop_offline_html":
        (run.folder.path / "offline.html").write_text(SHOP_OFFLINE_PAGE, encoding="utf-8")
        colour = SHOP_BACKGROUND
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    assert office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded"), "the page never loaded"
    assert office.wait("received", 1, 30), "no login"
    assert program.wait_main_visible(30)
    rect = window_rect(run)
    assert not shows(colour, rect)(capture(ENV)), "the page itself must not look like the local screen"

    office.web_stop()
    before = loads(office)
    office.push(json.dumps({"c": "sys", "a": "update"}))  # the page reloads itself
    failed = run.folder.wait_log(lambda l: l.category == "载入页面", 30)
    assert failed and failed.message.startswith("失败 code:"), failed

    SHOTS.mkdir(parents=True, exist_ok=True)
    shot = SHOTS / ("offline_%s_%s.png" % (screen_kind, engine()))
    assert wait_until(lambda: shows(colour, rect)(capture(ENV, shot)), 20, poll=0.5), \
        "the local screen did not come up (see %s)" % shot
    deadline = time.monotonic() + STEADY_SECONDS
    while time.monotonic() < deadline:
        assert shows(colour, rect)(capture(ENV, shot)), \
            "the local screen gave way to something else (see %s)" % shot
        time.sleep(0.3)

    # Retried every 5 s while the web side is down, each failure logged.
    retries = run.folder.lines("载入页面")
    assert len(retries) >= 2, retries
    assert all(l.message.startswith("失败 code:") for l in retries), retries
    assert retries[1].seconds() - retries[0].seconds() >= 4, retries

    failures_before = len(run.folder.lines("载入页面"))
    office.web_start()
    answered = time.monotonic()
    back = wait_until(lambda: loads(office) > before, BACK_WITHIN_SECONDS + 5)
    took = time.monotonic() - answered
    assert back and took <= BACK_WITHIN_SECONDS, "the page came back after %.1f s" % took
    print("%s, %s: the page came back %.1f s after the web side answered"
          % (engine(), screen_kind, took))
    assert wait_until(lambda: not shows(colour, rect)(capture(ENV)), 10), "the local screen stayed"

    time.sleep(4)  # more than one watchdog round
    assert office.connections()["total"] == 1, "a second link was started"
    assert len(run.folder.lines("载入完成")) == 1
    logins = [r for r in office.received() if r["text"].startswith('{"c":"sys","a":"login"')]
    assert len(logins) == 1, logins
    # At most the check under way when the web side came back failed; nothing after.
    assert len(run.folder.lines("载入页面")) <= failures_before + 1

    assert program.exit_through_tray() is not None
    assert ended_in_order(run.folder.log()), run.folder.log()[-4:]
