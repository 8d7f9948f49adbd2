"""The reference page as a shop sees it, rendered by a real browser through the
Chromium-backed engine: its colours and text on the screen at the window's
place, a pushed sale item showing up, script errors reaching the log and the
page, and no browser left behind however the program ends (tray exit,
TerminateProcess, a killed Wine process).

The page is the reference page plus one small script that raises an uncaught
error on demand (message channel "e2e", action "raise"), so the error report
can be seen on screen in the page's own error band too.

Runs with LUMO_ENGINE=chromium, e.g.
    LUMO_ENGINE=chromium /usr/bin/python3 -m pytest tests/e2e/test_chromium_render.py"""

import json
import shutil
import time
from pathlib import Path

import pytest

from lumo_harness import CHROMIUM, ENV, engine, wait_until
from pixels import capture
from reference_page import (AD_BLUE, ERROR_AMBER, HEADER_RED, STATUS_DARK, TEXT_WHITE, error_band,
                            header_band, main_end, sale_items_area, sale_row_area, shows_page,
                            side_column, status_band, text_lines, text_runs)

REPO = Path(__file__).resolve().parents[2]
REFERENCE_PAGE = REPO / "tools" / "backoffice" / "page"
SHOTS = REPO / "build" / "e2e-shots"
START_TIMEOUT = 90
RENDER_TIMEOUT = 30
# The keeper script ends the browser once the heartbeat is 3 s old; it then
# gives the browser 5 s to go after SIGTERM.
BROWSER_GONE_TIMEOUT = 12
# Left in the profile folder when the engine asks the browser's keeper to stop it.
STOP_FILE = "lumo-browser.stop"
SCREEN = {"left": 0, "top": 0, "width": 1280, "height": 800}

FAULT_JS = """// Test hook: raises an uncaught error from a timer on demand.
(function () {
  var show = window.clientJS2;
  window.clientJS2 = function (message) {
    show(message);
    if (message && message.c === "e2e" && message.a === "raise") {
      setTimeout(function () {
        throw new Error(message.data.text); // e2e-raise-line
      }, 0);
    }
  };
})();
"""
FAULT_LINE = next(i for i, t in enumerate(FAULT_JS.splitlines(), 1) if "e2e-raise-line" in t)

pytestmark = [
    pytest.mark.slow,
    pytest.mark.skipif(engine() != CHROMIUM,
                       reason="Chromium rendering: run with LUMO_ENGINE=chromium (engine now: %s)"
                       % engine()),
]


def make_page(folder):
    """The reference page with the fault hook loaded after its own script."""
    shutil.copytree(REFERENCE_PAGE, folder)
    (folder / "fault.js").write_text(FAULT_JS, encoding="utf-8")
    index = folder / "index.html"
    html = index.read_text(encoding="utf-8")
    assert '<script src="app.js"></script>' in html
    index.write_text(html.replace('<script src="app.js"></script>',
                                  '<script src="app.js"></script>\n<script src="fault.js"></script>'),
                     encoding="utf-8")


class Shop:
    pass


@pytest.fixture(scope="module")
def shop(make_run, tmp_path_factory):
    run = make_run("render")
    run.page_dir = tmp_path_factory.mktemp("render") / "page"
    make_page(run.page_dir)
    s = Shop()
    s.run, s.folder, s.ctl = run, run.folder, run.ctl
    s.office = run.start_office()
    s.folder.write_config({"server": {"ip": "127.0.0.1", "webport": s.office.web_port},
                           "local": {"index": 1}})
    s.program = run.start_program()
    s.probe = s.office.wait_report(lambda r: True, START_TIMEOUT, kind="serverjs")
    return s


def window_rect(s):
    main = s.ctl.main()
    assert main.get("found") == "1" and main.get("visible") == "1", main
    return tuple(int(main[k]) for k in ("left", "top", "right", "bottom"))


def wait_screen(condition, timeout=RENDER_TIMEOUT):
    """Captures until condition(screen) holds; the last capture and the result."""
    last = [None]

    def check():
        last[0] = capture(ENV)
        return condition(last[0])
    ok = wait_until(check, timeout, poll=0.5)
    return last[0], ok


def push(s, message):
    before = len(s.office.reports("message"))
    s.office.push(json.dumps(message, ensure_ascii=False))
    assert s.office.wait_report(lambda r: r["msg"] == message, 20, kind="message"), message
    return before


def test_page_loads_with_serverjs(shop):
    assert shop.probe, "the page never reported its serverJS replies"
    assert shop.probe["available"] is True
    assert shop.probe["replies"]["appname"] == "lumo"
    assert {k: shop.probe["replies"][k] for k in SCREEN} == SCREEN
    assert shop.folder.browser_processes(), "no browser runs for the program folder's profile"


def test_page_colours_and_text_show_at_the_window_place(shop):
    assert shop.program.wait_main_visible(30)
    rect = window_rect(shop)
    screen, ok = wait_screen(lambda sc: shows_page(sc, rect))
    SHOTS.mkdir(parents=True, exist_ok=True)
    screen.save_png(SHOTS / "chromium_page.png")
    assert ok, "the reference page's colours are not on the screen (see chromium_page.png)"
    left, top, right, bottom = rect
    assert screen.pixel(left + 8, top + 8) == HEADER_RED
    assert screen.pixel(right - 8, main_end(rect) + 4) == STATUS_DARK
    # The shop name and the clock are white text on the red band.
    header_text = screen.share(TEXT_WHITE, header_band(rect))
    assert 0.005 < header_text < 0.4, header_text
    # The advertisement box in the right-hand column is blue, with white text.
    assert screen.share(AD_BLUE, side_column(rect)) > 0.03
    # No error has been shown yet: the error band is not displayed.
    assert screen.share(ERROR_AMBER, rect) < 0.001


def test_pushed_sale_item_appears_on_screen(shop):
    rect = window_rect(shop)
    area = sale_items_area(rect)
    before = capture(ENV)
    push(shop, {"c": "sale", "a": "clear"})
    push(shop, {"c": "sale", "a": "item", "data": {"name": "苹果", "qty": 2, "price": "3.50"}})
    # The list was cleared first, so exactly one line of text is the new item.
    def item_drawn(screen):
        return screen.region(area) != before.region(area) and text_lines(screen, area) == 1
    screen, ok = wait_screen(item_drawn)
    screen.save_png(SHOTS / "chromium_sale.png")
    assert ok, "the sale line did not appear in %s (see chromium_sale.png)" % (area,)
    assert shows_page(screen, rect)


def test_sale_rows_line_up_in_columns_with_the_amounts_at_the_right(shop):
    rect = window_rect(shop)
    push(shop, {"c": "sale", "a": "clear"})
    push(shop, {"c": "sale", "a": "item", "data": {"name": "苹果", "qty": 2, "price": "3.50"}})
    push(shop, {"c": "sale", "a": "item", "data": {"name": "牛奶", "qty": 10, "price": "12.80"}})
    rows = [sale_row_area(rect, 0), sale_row_area(rect, 1)]
    # Four cells in each row: name, quantity, unit price, amount.
    screen, ok = wait_screen(lambda sc: all(len(text_runs(sc, row)) == 4 for row in rows))
    screen.save_png(SHOTS / "chromium_columns.png")
    assert ok, "the sale rows are not four cells each: %s (see chromium_columns.png)" % (
        [text_runs(screen, row) for row in rows],)
    first, second = (text_runs(screen, row) for row in rows)
    # The names start at the same place; every number ends at its column's
    # right edge, whatever its width ("2" and "10", "3.50" and "12.80").
    assert abs(first[0][0] - second[0][0]) <= 1, (first, second)
    for cell in (1, 2, 3):
        assert abs(first[cell][1] - second[cell][1]) <= 1, (cell, first, second)
    assert second[1][1] - second[1][0] > first[1][1] - first[1][0], "10 is not wider than 2"
    # The amounts end at the sale column's right edge.
    assert rows[0][2] - 6 <= first[3][1] <= rows[0][2], (first, rows[0])


def test_script_error_reaches_the_log_the_page_and_the_screen(shop):
    lines = len(shop.folder.log())
    rect = window_rect(shop)
    push(shop, {"c": "e2e", "a": "raise", "data": {"text": "boom 出错"}})

    def error_report(r):
        msg = r["msg"]
        return isinstance(msg, dict) and msg.get("c") == "sys" and msg.get("a") == "error"
    report = shop.office.wait_report(error_report, 20, kind="message")
    assert report, "no sys/error message reached the page"
    data = report["msg"]["data"]
    assert sorted(data) == ["level", "line", "msg", "sname"]
    assert "boom 出错" in data["msg"] and data["level"] >= 3
    assert data["sname"].endswith("/fault.js") and data["line"] == FAULT_LINE
    logged = shop.folder.wait_log(lambda l: l.category == "控制台消息", 10, lines)
    assert logged, "the error was not logged"
    assert "boom 出错" in logged.message and " line:%d fllow:" % FAULT_LINE in logged.message
    screen, ok = wait_screen(lambda sc: sc.share(ERROR_AMBER, error_band(rect)) > 0.6
                             and sc.share(STATUS_DARK, status_band(rect, True)) > 0.6)
    screen.save_png(SHOTS / "chromium_error.png")
    assert ok, "the page's error band did not show (see chromium_error.png)"


def wait_browser_gone(folder):
    gone = wait_until(lambda: not folder.browser_processes(), BROWSER_GONE_TIMEOUT, poll=0.5)
    return gone, folder.browser_processes()


def test_browser_ends_with_the_tray_exit(shop):
    assert shop.folder.browser_processes()
    assert shop.program.exit_through_tray() is not None, "the program did not end"
    gone, left = wait_browser_gone(shop.folder)
    assert gone, "browser still running after the tray exit: %s" % left
    # Ended by the program's own shutdown (the engine asked its keeper to stop
    # it), not only later by the keeper noticing a silent heartbeat.
    assert (shop.folder.profile_path / STOP_FILE).exists(), "the engine was not shut down"


def test_a_restart_starts_a_fresh_browser(shop):
    restart(shop)
    assert not (shop.folder.profile_path / STOP_FILE).exists()


def restart(s):
    """Starts the program again and waits until its browser shows the page."""
    loads = len(s.office.reports("loaded"))
    s.program = s.run.start_program()
    assert wait_until(lambda: len(s.office.reports("loaded")) > loads, START_TIMEOUT), \
        "the page did not load after the restart"
    assert s.folder.browser_processes(), "no browser after the restart"


def test_browser_ends_after_terminate_process(shop):
    assert shop.ctl.run("kill")["killed"] == "1"
    assert shop.program.wait_exit(20) is not None
    killed_at = time.monotonic()
    gone, left = wait_browser_gone(shop.folder)
    assert gone, "browser still running %.0f s after TerminateProcess: %s" % (
        time.monotonic() - killed_at, left)
    assert not (shop.folder.profile_path / STOP_FILE).exists()


def test_browser_ends_after_the_wine_process_is_killed(shop):
    restart(shop)
    shop.program.kill()
    gone, left = wait_browser_gone(shop.folder)
    assert gone, "browser still running after the Wine process was killed: %s" % left
    assert not (shop.folder.profile_path / STOP_FILE).exists()
