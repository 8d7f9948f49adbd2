"""A new resolution of the customer's monitor, for real: on an X server whose
screen can change size (the dummy video driver, started by the test command
on a display of its own with a Wine prefix of its own), `xrandr -s` changes
the mode; Wine then reports the new monitor size but, unlike Windows, sends no
message, so the test sends the display-change message itself. The window must
cover the whole new screen, and the page must be painted at that size without
being loaded again. Skipped on a display whose size cannot change (Xvfb)."""

import subprocess

import pytest

from lumo_harness import ENV, REPO, wait_until
from pixels import capture

START_TIMEOUT = 60
SETTLE_SECONDS = 10
SHOTS = REPO / "build" / "e2e-shots"
BLACK = (0, 0, 0)


def xrandr(*args):
    return subprocess.run(["xrandr", *args], env=ENV, capture_output=True, text=True, timeout=20)


def display_can_change_size():
    try:
        listed = xrandr()
    except (OSError, subprocess.TimeoutExpired):
        return False
    return listed.returncode == 0 and " 1024x768 " in listed.stdout


pytestmark = pytest.mark.skipif(not display_can_change_size(),
                                reason="the display's size cannot change (Xvfb)")


@pytest.fixture
def screen_size():
    """Sets the X screen's size; puts 1280x800 back after the case."""
    def set_size(width, height):
        assert xrandr("-s", "%dx%d" % (width, height)).returncode == 0
    yield set_size
    set_size(1280, 800)


def covers(ctl, width, height):
    main = ctl.main()
    return (main.get("visible"), main.get("left"), main.get("top"), main.get("width"),
            main.get("height")) == ("1", "0", "0", str(width), str(height))


def page_fills_screen(width, height):
    screen = capture(ENV, SHOTS / ("resolution-%dx%d.png" % (width, height)))
    return (screen.width, screen.height) == (width, height) and \
        screen.share(BLACK, (0, 0, width, height)) < 0.05


def test_a_new_resolution_resizes_the_window_and_the_page(make_run, screen_size):
    SHOTS.mkdir(parents=True, exist_ok=True)
    run = make_run("resolution", page="recorder")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    try:
        assert office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
        assert wait_until(lambda: covers(run.ctl, 1280, 800), SETTLE_SECONDS), run.ctl.main()
        for width, height in ((1024, 768), (800, 600), (1280, 800)):
            screen_size(width, height)
            run.ctl.run("display-change")
            assert wait_until(lambda: covers(run.ctl, width, height), SETTLE_SECONDS), \
                (width, height, run.ctl.main())
            assert wait_until(lambda: page_fills_screen(width, height), SETTLE_SECONDS), \
                "the page does not fill the %dx%d screen" % (width, height)
        assert len(office.reports("loaded")) == 1, "the page was loaded again"
        lines = [l.message for l in run.folder.log() if l.category == "选择"]
        assert lines == ["屏幕1变化,窗口移到 (x:0 y:0 w:1024 h:768) 屏幕数:1",
                         "屏幕1变化,窗口移到 (x:0 y:0 w:800 h:600) 屏幕数:1",
                         "屏幕1变化,窗口移到 (x:0 y:0 w:1280 h:800) 屏幕数:1"], lines
    finally:
        program.stop()
