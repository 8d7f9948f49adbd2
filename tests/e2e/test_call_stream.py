"""A page that calls serverJS in a steady stream (a few calls per timer tick)
while the back office pushes a message every 50 ms, each push's handler
calling serverJS once more: every push reaches the page, in order, and every
call gets the reply to its own question, with either engine. With the
Chromium engine, also after its browser was killed three times while the
page was in the middle of its start-up calls."""

import json
import os
import signal
import time

import pytest

from lumo_harness import CHROMIUM, MAIN_TITLE, engine, wait_until

START_TIMEOUT = 90
RECOVERY_TIMEOUT = 20
SUMMARY_TIMEOUT = 30
PUSHES = 60
PUSH_GAP_SECONDS = 0.05
KILLS = 3
PID_FILE = "lumo-browser.pid"

pytestmark = pytest.mark.slow


def start_shop(make_run, name):
    run = make_run(name, page="stream")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    run.start_program()
    loaded = office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    assert loaded, "the stream page never loaded"
    # The first answers are the yardstick of every later one: they must be
    # the program's own.
    assert loaded["expected"]["appname"] == "lumo"
    assert loaded["expected"]["runpath"] == run.folder.win_dir
    assert (loaded["expected"]["width"], loaded["expected"]["height"]) == (1280, 800)
    assert loaded["expected"]["title"] == MAIN_TITLE
    return run, office


def close(run):
    run.close()
    run.program = run.office = None


def push_stream_and_summarise(office):
    """Pushes PUSHES numbered messages 50 ms apart, then "end"; the page's summary."""
    summaries = len(office.reports("summary"))
    for n in range(PUSHES):
        office.push(json.dumps({"c": "stream", "a": "n", "data": {"n": n}}))
        time.sleep(PUSH_GAP_SECONDS)
    office.push(json.dumps({"c": "stream", "a": "end"}))
    assert wait_until(lambda: len(office.reports("summary")) > summaries, SUMMARY_TIMEOUT), \
        "the page never answered the end of the stream: a call or a push stalled"
    return office.reports("summary")[summaries]


def assert_every_call_answered_by_its_own_reply(summary):
    assert summary["pushes"] == list(range(PUSHES)), "pushes lost or out of order"
    assert summary["pushCalls"] == PUSHES
    assert summary["pushWrong"] == 0, summary["samples"]
    assert summary["wrong"] == 0, summary["samples"]
    # The page kept calling while the pushes came in, so both ran interleaved.
    assert summary["calls"] - summary["callsAtFirstPush"] >= 3 * PUSHES // 2, summary
    print("stream: %d page calls, %d push calls, 0 wrong" % (summary["calls"],
                                                            summary["pushCalls"]))


def test_stream_of_calls_and_pushes(make_run):
    run, office = start_shop(make_run, "call_stream")
    try:
        assert office.wait("received", 1, 30), "no login: the link did not start"
        assert_every_call_answered_by_its_own_reply(push_stream_and_summarise(office))
    finally:
        # One program at a time on the wineserver: the next case starts its own.
        close(run)


def browser_pid(folder):
    try:
        return int((folder.profile_path / PID_FILE).read_text().strip())
    except (OSError, ValueError):
        return None


def script_fetches(office):
    return sum(1 for r in office.requests() if r.get("path", "").endswith("/stream.js"))


@pytest.mark.skipif(engine() != CHROMIUM,
                    reason="the browser's death: run with LUMO_ENGINE=chromium (engine now: %s)"
                    % engine())
def test_browser_killed_during_start_up_calls_then_every_push_completes(make_run):
    run, office = start_shop(make_run, "call_stream_kill")
    try:
        kill_during_start_up_then_stream(run, office)
    finally:
        close(run)


def kill_during_start_up_then_stream(run, office):
    assert office.wait("received", 1, 30), "no login: the link did not start"
    fetches = script_fetches(office)
    for round_number in range(KILLS):
        pid = browser_pid(run.folder)
        assert pid, "round %d: no browser runs for the program folder" % round_number
        os.kill(pid, signal.SIGKILL)
        # The next browser's page is killed in turn as soon as it has fetched
        # its script, that is while it makes its start-up calls, with a push
        # on its way; after the last kill the page is left to live.
        assert wait_until(lambda: script_fetches(office) > fetches, RECOVERY_TIMEOUT), \
            "round %d: the page was not fetched again" % round_number
        fetches = script_fetches(office)
        office.push(json.dumps({"c": "stream", "a": "n", "data": {"n": -1}}))
    # Only a page that lives answers a ping: the last one is up.
    pongs = len(office.reports("pong"))

    def pinged():
        office.push(json.dumps({"c": "stream", "a": "ping"}))
        return wait_until(lambda: len(office.reports("pong")) > pongs, 1)
    assert wait_until(pinged, RECOVERY_TIMEOUT), "the page did not come back after the last kill"
    summary = push_stream_and_summarise(office)
    # A push sent while the page had not yet defined its handler may miss it;
    # every push after the page's start is there.
    summary["pushes"] = [n for n in summary["pushes"] if n >= 0]
    summary["pushCalls"] = len(summary["pushes"])
    assert_every_call_answered_by_its_own_reply(summary)
