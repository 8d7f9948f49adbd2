"""One running program with the recorder page (pages/recorder): what server
pushes, script errors, the link's life and the update hand-off do while a shop
is open. The cases share the run and go in file order; the last one ends the
program through the page's "close" command."""

import datetime
import json
import subprocess
import time
from pathlib import Path

import pytest

from lumo_harness import CHROMIUM, MAIN_TITLE, ended_in_order, engine, screenshot, wait_until
from office import Office, PortBusy

START_TIMEOUT = 60
MESSAGE_TIMEOUT = 20
RECORDER_JS = Path(__file__).resolve().parent / "pages" / "recorder" / "recorder.js"
SHOTS = Path(__file__).resolve().parents[2] / "build" / "e2e-shots"

pytestmark = pytest.mark.slow


def month_shift(day, months):
    """(year, month) `months` before day's month."""
    index = day.year * 12 + day.month - 1 - months
    return index // 12, index % 12 + 1


def old_log_names(day):
    """Log names the first "conn" deletes (key True) or keeps (key False)."""
    y2, m2 = month_shift(day, 2)
    y1, m1 = month_shift(day, 1)
    return {
        "%04d%02d15.txt" % (y2, m2): True,
        "%04d%02d28.txt" % (y1, m1): False,
        "%04d%02d01.txt" % (day.year - 1, day.month): False,
        "notes.txt": False,
        "2024ab01.txt": False,
    }


class Shop:
    pass


@pytest.fixture(scope="module")
def shop(make_run):
    run = make_run("link", page="recorder")
    s = Shop()
    s.run, s.folder, s.ctl = run, run.folder, run.ctl
    s.office = run.start_office()
    s.folder.write_config({"server": {"ip": "127.0.0.1", "webport": s.office.web_port},
                           "local": {"index": 1}})
    s.folder.log_dir.mkdir(parents=True)
    s.old_logs = old_log_names(datetime.date.today())
    for name in s.old_logs:
        (s.folder.log_dir / name).write_bytes(b"old\r\n")
    s.program = run.start_program()
    s.loaded = s.office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    s.marks = 0
    return s


def messages(s):
    return [r["msg"] for r in s.office.reports("message")]


def push_and_mark(s, *texts):
    """Pushes the texts, then a marker; returns the messages the page got
    between the start and the marker (the marker excluded)."""
    s.marks += 1
    mark = {"c": "mark", "a": "n", "data": {"n": s.marks}}
    before = len(messages(s))
    for text in texts:
        s.office.push(text)
    s.office.push(json.dumps(mark))
    assert s.office.wait_report(lambda r: r["msg"] == mark, MESSAGE_TIMEOUT, kind="message"), \
        "marker %d never reached the page" % s.marks
    got = messages(s)[before:]
    return got[:got.index(mark)]


def errors_in_page(s):
    return [m["data"] for m in messages(s) if isinstance(m, dict) and m.get("c") == "sys"
            and m.get("a") == "error"]


def test_page_loads_with_serverjs_and_logs_in(shop):
    assert shop.loaded, "the recorder page never loaded"
    replies = shop.loaded["serverjs"]["replies"]
    assert replies["appname"] == "lumo"
    assert replies["runpath"] == shop.folder.win_dir
    assert (replies["width"], replies["height"], replies["title"]) == (1280, 800, MAIN_TITLE)
    assert shop.office.wait("received", 1, 30)
    assert shop.office.received()[0]["text"].startswith('{"c":"sys","a":"login"')
    # Start-up handed the update off hidden, with the run folder's data file.
    assert shop.folder.update_calls()[0] == [
        shop.folder.win_dir + "TarnUpdate.dat", "POS背屏", MAIN_TITLE, "hide", "(null)", "temp",
        "(null)", "a", "Tarnlumo.exe"]


def test_messages_reach_the_page_in_order(shop):
    sent = [{"c": "sale", "a": "item", "data": {"name": "商品%d" % i, "qty": i}} for i in range(40)]
    got = push_and_mark(shop, *[json.dumps(m, ensure_ascii=False) for m in sent])
    assert got == sent
    logged = [l.message for l in shop.folder.lines("客户通信") if l.message.startswith("OnHandle data:")]
    assert "OnHandle data:" + json.dumps(sent[7], ensure_ascii=False) in logged


def test_non_json_is_neither_logged_nor_passed_on(shop):
    got = push_and_mark(shop, "this is not json", '{"c":"sale",', '{"c":"sale","a":}')
    assert got == []
    assert not [l for l in shop.folder.log() if "this is not json" in l.message]


def test_other_case_channel_is_not_a_system_message(shop):
    calls = len(shop.folder.update_calls())
    got = push_and_mark(shop, '{"C":"sys","a":"update"}')
    assert got == [{"C": "sys", "a": "update"}]
    time.sleep(2)
    assert len(shop.folder.update_calls()) == calls
    assert len(shop.office.reports("loaded")) == 1


def test_quotes_backslashes_and_line_breaks_reach_the_page(shop):
    text = '{"c":"t","a":"q",\r\n"data":{"s":"say \\"hi\\" C:\\\\pos\\\\ end","t":"a\\/b"}}'
    got = push_and_mark(shop, text)
    assert got == [json.loads(text)]
    assert got[0]["data"]["s"] == 'say "hi" C:\\pos\\ end'
    # The message's line break is written escaped: one push, one log line.
    logged = "OnHandle data:" + text.replace("\r", "\\r").replace("\n", "\\n")
    assert [l for l in shop.folder.lines("客户通信") if l.message == logged]


def test_utf8_marked_message_is_parsed_and_passed_as_received(shop):
    text = '{"c":"shop","a":"title","char":"utf-8","data":{"name":"价格"}}'
    raw = text.encode("utf-8")
    got = push_and_mark(shop, raw)
    # The page gets the received bytes themselves, read as code page 936.
    assert got == [json.loads(raw.decode("gbk"))]
    assert [l for l in shop.folder.lines("客户通信") if l.message == "OnHandle data:" + raw.decode("gbk")]


def test_empty_pack_closes_the_link_which_comes_back(shop):
    # The socket library refuses a pack of length 0 (bad length, 24) and
    # closes the connection; the watchdog connects again and logs in.
    logins = login_count(shop.office)
    lines = len(shop.folder.log())
    shop.office.push("")
    assert wait_until(lambda: login_count(shop.office) == logins + 1, 20), "no new login"
    closes = [l.message for l in shop.folder.lines("客户通信", lines) if l.message.startswith("OnClose")]
    assert closes == ["OnClose code:24"]
    assert push_and_mark(shop, '{"c":"x","a":"z"}') == [{"c": "x", "a": "z"}]


def test_conn_deletes_old_logs_once_per_run(shop):
    log_dir = shop.folder.log_dir
    push_and_mark(shop, '{"c":"sys","a":"conn"}')
    deleted = [n for n, gone in shop.old_logs.items() if gone]
    assert wait_until(lambda: not any((log_dir / n).exists() for n in deleted), 10), "old log kept"
    assert all((log_dir / n).exists() for n, gone in shop.old_logs.items() if not gone)
    assert shop.folder.log_path().exists()
    late = log_dir / deleted[0].replace("15.txt", "16.txt")
    late.write_bytes(b"old\r\n")
    assert push_and_mark(shop, '{"c":"sys","a":"conn"}') == [{"c": "sys", "a": "conn"}]
    time.sleep(2)
    assert late.exists(), "the clean-up ran twice in one run"


def test_update_reloads_the_page_hands_off_hidden_and_still_delivers(shop):
    calls = len(shop.folder.update_calls())
    loads = len(shop.office.reports("loaded"))
    shop.office.push('{"c":"sys","a":"update"}')
    assert shop.office.wait_report(lambda r: r["loads"] == loads + 1, START_TIMEOUT, kind="loaded")
    assert wait_until(lambda: len(shop.folder.update_calls()) == calls + 1, 10)
    assert shop.folder.update_calls()[-1][3] == "hide"
    assert shop.folder.update_calls()[-1][0] == shop.folder.win_dir + "TarnUpdate.dat"
    shop.office.push('{"c":"e2e","a":"dump"}')
    dump = shop.office.wait_report(lambda r: True, MESSAGE_TIMEOUT, kind="dump")
    assert dump, "the reloaded page did not answer"
    if engine() == CHROMIUM:
        # The program runs the reload, then the message. A real browser has
        # already begun the reload when the message runs, so whether the old
        # page kept it is the browser's timing, not the program's doing.
        return
    assert {"c": "sys", "a": "update"} in dump["stored"]


def test_tray_update_hands_off_visibly(shop):
    calls = len(shop.folder.update_calls())
    shop.ctl.run("tray", "update")
    assert wait_until(lambda: len(shop.folder.update_calls()) == calls + 1, 10)
    call = shop.folder.update_calls()[-1]
    assert call[3] == "" and call[1:3] == ["POS背屏", MAIN_TITLE] and call[8] == "Tarnlumo.exe"


def console_case(shop, action, text):
    """Makes the page raise `text` through `action`; the new reports and log lines."""
    errors, lines = len(errors_in_page(shop)), len(shop.folder.log())
    push_and_mark(shop, json.dumps({"c": "e2e", "a": action, "data": {"text": text}}))
    if action != "warn":
        wait_until(lambda: len(errors_in_page(shop)) > errors, MESSAGE_TIMEOUT)
    else:
        time.sleep(2)
    return errors_in_page(shop)[errors:], shop.folder.lines("控制台消息", lines)


def test_console_error_with_double_quote_reaches_log_and_page(shop):
    reports, lines = console_case(shop, "error", 'say "hi"')
    assert len(reports) == 1 and reports[0]["msg"] == 'say "hi"' and reports[0]["level"] == 3
    assert sorted(reports[0]) == ["level", "line", "msg", "sname"]
    assert len(lines) == 1
    assert lines[0].message.startswith('level:3 msg:say "hi" sname:')
    assert " line:%d fllow:" % reports[0]["line"] in lines[0].message


def test_backslash_apostrophe_becomes_a_double_quote(shop):
    reports, _ = console_case(shop, "error", "a\\'b")
    assert [r["msg"] for r in reports] == ['a"b']


def test_uncaught_error_reports_its_line_and_script(shop):
    reports, lines = console_case(shop, "uncaught", "boom")
    line = next(i for i, t in enumerate(RECORDER_JS.read_text().splitlines(), 1)
                if "e2e-uncaught-line" in t)
    assert len(reports) == 1 and "boom" in reports[0]["msg"]
    assert reports[0]["line"] == line
    assert reports[0]["sname"].endswith("recorder.js")
    assert len(lines) == 1


def test_warning_is_neither_logged_nor_sent(shop):
    reports, lines = console_case(shop, "warn", "only a warning")
    assert reports == [] and lines == []


def test_page_without_clientjs2_does_not_loop(shop):
    before = len(shop.folder.lines("控制台消息"))
    # No marker right behind the command: a page that runs the command at once
    # (a real browser does) would have no clientJS2 when the marker arrives.
    shop.office.push(json.dumps({"c": "e2e", "a": "unbind", "data": {"text": "gone", "ms": 3000}}))
    assert shop.office.wait_report(lambda r: True, MESSAGE_TIMEOUT, kind="rebound")
    added = len(shop.folder.lines("控制台消息")) - before
    time.sleep(2)
    assert 1 <= added <= 4, "%d console reports for one error" % added
    assert len(shop.folder.lines("控制台消息")) - before == added
    assert push_and_mark(shop, '{"c":"after","a":"unbind"}') == [{"c": "after", "a": "unbind"}]


def login_count(office):
    return sum(1 for r in office.received() if '"a":"login"' in r["text"])


def test_dropped_link_reconnects_and_logs_in_again(shop):
    logins = login_count(shop.office)
    lines = len(shop.folder.log())
    assert shop.office.drop() == 1
    assert wait_until(lambda: login_count(shop.office) == logins + 1, 20), "no new login"
    assert [l for l in shop.folder.lines("客户通信", lines) if l.message.startswith("OnClose code:")]
    assert push_and_mark(shop, '{"c":"x","a":"y"}') == [{"c": "x", "a": "y"}]


def test_restart_is_logged_about_every_three_seconds_while_tcp_is_down(shop):
    lines = len(shop.folder.log())
    logins = login_count(shop.office)
    shop.office.tcp_stop()
    time.sleep(13)
    shop.office.tcp_start()
    restarts = [l for l in shop.folder.lines("客户通信", lines) if l.message == "ReStart"]
    assert 3 <= len(restarts) <= 6, restarts
    gaps = [b.seconds() - a.seconds() for a, b in zip(restarts, restarts[1:])]
    assert all(2 <= g <= 5 for g in gaps), gaps
    assert wait_until(lambda: login_count(shop.office) == logins + 1, 20)


def test_server_restart_is_survived(shop):
    ports = dict(web_port=shop.office.web_port, tcp_port=shop.office.tcp_port)
    shop.office.stop()
    shop.office = wait_until(lambda: try_office(shop, ports), 20, poll=0.5)
    shop.run.office = shop.office
    assert shop.office, "could not start the simulator again on its ports"
    assert shop.office.wait("received", 1, 30), "no login to the restarted server"
    assert push_and_mark(shop, '{"c":"back","a":"again"}') == [{"c": "back", "a": "again"}]


def try_office(shop, ports):
    try:
        return Office(shop.run.page_dir, **ports).start()
    except PortBusy:
        return None


def test_screenshot_shows_the_window(shop):
    SHOTS.mkdir(parents=True, exist_ok=True)
    shot = screenshot(SHOTS / "link.png")
    deviation = subprocess.run(["convert", str(shot), "-crop", "1280x800+0+0", "-format",
                                "%[fx:standard_deviation]", "info:"], capture_output=True, text=True)
    assert float(deviation.stdout or 0) > 0, "the display shows one flat colour"


def test_page_close_command_ends_the_program_in_order(shop):
    shop.office.push(json.dumps({"c": "e2e", "a": "serverjs",
                                 "data": {"id": "close", "arg": '{"c":"window","a":"close"}'}}))
    assert shop.program.wait_exit(30) is not None, "the program did not end"
    assert ended_in_order(shop.folder.log()), shop.folder.log()[-4:]
