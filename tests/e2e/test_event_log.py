"""The Windows event log: Tarnlumo.exe carries the message table its event
source names, and the real program reports a library that does not load, a
fatal error and the restart after it. Wine keeps no event log: its
ReportEventA only traces, on the program's standard error with
WINEDEBUG=+eventlog, the call (type and event id, in a "fixme" line) and then
each insert text (in an "eventlog" line of the same thread), so the tests
read the events from there. The restarted copy's status.json is checked on
the same run."""

import json
import re
import shutil
import struct
import subprocess
import time

import pytest

import lumo_harness
from lumo_harness import CHROMIUM, REPO, engine, wait_until
from office import free_port

START_TIMEOUT = 60
FATAL_EXIT_SECONDS = 15
RESTART_LOAD_SECONDS = 60
EVENTLOG_ERROR, EVENTLOG_WARNING, EVENTLOG_INFORMATION = 1, 2, 4
MC_FILE = REPO / "resources" / "lumo_events.mc"
EVENT_HEADER = REPO / "app" / "event_report.h"
SEVERITY_BITS = {"Informational": 1, "Warning": 2, "Error": 3}
ENGLISH, CHINESE = 0x409, 0x804

pytestmark = [pytest.mark.slow, pytest.mark.usefixtures("no_copy_left"),
              pytest.mark.skipif(engine() == CHROMIUM, reason="events are the same for both engines")]


# ---- the message table ---------------------------------------------------------

def mc_messages():
    """{symbolic name: (event id, {language name: text})} from the .mc file."""
    messages, current, language, text = {}, {}, None, []
    for line in MC_FILE.read_text(encoding="utf-8").splitlines():
        if language is not None:
            if line == ".":
                current["texts"][language] = "\n".join(text) + "\n"
                language, text = None, []
            else:
                text.append(line)
            continue
        key, _, value = line.partition("=")
        if key == "MessageId":
            current = {"number": int(value), "texts": {}}
        elif key == "Severity":
            current["severity"] = SEVERITY_BITS[value]
        elif key == "SymbolicName":
            messages[value] = current
        elif key == "Language":
            language = value
    return {name: ((m["severity"] << 30) | m["number"], m["texts"]) for name, m in messages.items()}


def message_table(exe, language):
    """{event id: text} of the exe's message table resource in `language`."""
    pefile = pytest.importorskip("pefile")
    pe = pefile.PE(str(exe))
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_MESSAGETABLE"]:
            continue
        for entry in kind.directory.entries[0].directory.entries:
            if entry.id != language:
                continue
            data = pe.get_data(entry.data.struct.OffsetToData, entry.data.struct.Size)
            table, (blocks,) = {}, struct.unpack_from("<I", data)
            for b in range(blocks):
                low, high, at = struct.unpack_from("<III", data, 4 + 12 * b)
                for number in range(low, high + 1):
                    length, flags = struct.unpack_from("<HH", data, at)
                    raw = data[at + 4:at + length]
                    text = raw.decode("utf-16-le" if flags & 1 else "mbcs").rstrip("\0")
                    table[number] = text
                    at += length
            return table
    return {}


def test_the_program_carries_every_event_message_in_both_languages(bin_dir):
    messages = mc_messages()
    enum_names = re.findall(r"= (LUMO_EVENT_\w+),", EVENT_HEADER.read_text())
    assert enum_names and set(enum_names) <= set(messages), enum_names
    for program in [bin_dir / "Tarnlumo.exe", bin_dir / "faults" / "Tarnlumo.exe"]:
        english, chinese = message_table(program, ENGLISH), message_table(program, CHINESE)
        assert english and chinese, program
        for name, (event_id, texts) in messages.items():
            assert english.get(event_id) == texts["English"], (program, name)
            assert chinese.get(event_id) == texts["Chinese"], (program, name)
            assert "%1" in english[event_id], name


# ---- events the program reports ------------------------------------------------

CALL = re.compile(r"^([0-9a-f]+):fixme:advapi:ReportEventA \([0-9A-Fa-f]+,0x([0-9a-f]{4}),"
                  r"0x[0-9a-f]{4},0x([0-9a-f]{8}),")
INSERT = re.compile(r'^([0-9a-f]+):(?:err|warn|trace):eventlog:ReportEventW L"(.*)"$')


def wine_text(escaped):
    """The text of Wine's debugstr_w: \\XXXX escapes for characters past ASCII."""
    out, i = [], 0
    simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
    while i < len(escaped):
        c = escaped[i]
        if c == "\\" and escaped[i + 1] in simple:
            out.append(simple[escaped[i + 1]])
            i += 2
        elif c == "\\":
            out.append(chr(int(escaped[i + 1:i + 5], 16)))
            i += 5
        else:
            out.append(c)
            i += 1
    return "".join(out)


def events(stderr_path):
    """[(type, event id, text)] in the order the program reported them."""
    found, pending = [], {}
    for line in stderr_path.read_bytes().decode("utf-8", "replace").splitlines():
        call = CALL.match(line)
        if call:
            pending[call.group(1)] = (int(call.group(2), 16), int(call.group(3), 16))
            continue
        insert = INSERT.match(line)
        if insert and insert.group(1) in pending:
            kind, event_id = pending.pop(insert.group(1))
            found.append((kind, event_id, wine_text(insert.group(2))))
    return found


@pytest.fixture
def traced():
    """The program's Wine traces its event log calls while the test runs."""
    lumo_harness.ENV["WINEDEBUG"] = "+eventlog"
    yield
    del lumo_harness.ENV["WINEDEBUG"]


def event_id(name):
    return mc_messages()[name][0]


def without_old_traces(run):
    """The run's folder without the standard error file an earlier test run of
    the same name appended to."""
    (run.folder.path.parent / (run.folder.name + ".stderr.txt")).unlink(missing_ok=True)
    return run


def test_a_library_that_does_not_load_is_an_error_event(make_run, traced):
    run = without_old_traces(make_run("events-library"))
    (run.folder.path / "common.dll").unlink()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": free_port()},
                             "local": {"index": 1}})
    program = run.start_program()
    line = run.folder.wait_log(lambda l: l.category == "库加载", START_TIMEOUT)
    assert line and line.message.startswith("common.dll 无法加载 error:126"), run.folder.log()
    assert wait_until(lambda: events(program.stderr_path), 10)
    program.kill()
    assert events(program.stderr_path) == [
        (EVENTLOG_ERROR, event_id("LUMO_EVENT_LIBRARY_LOAD"), line.message)]


def test_a_fatal_error_and_the_restart_are_events_and_in_the_status(make_run, faults_exe, traced):
    from test_status_file import wait_status
    run = without_old_traces(make_run("events-fatal", page="recorder"))
    shutil.copy2(faults_exe, run.folder.path / "Tarnlumo.exe")
    (run.folder.path / "fault.txt").write_text("page-loaded access\n")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    try:
        check_fatal_run(run, program)
    finally:
        # The restarted copy is nobody's child here: end it through its tray.
        if run.ctl.main().get("found") == "1":
            run.ctl.run("tray", "exit")
        assert run.ctl.wait("main", "gone", 30)
    assert wait_status(run.folder, lambda s: s["state"] == "shutting_down", 10)


def check_fatal_run(run, program):
    from test_status_file import KEYS, age_seconds, status_of, wait_status
    assert program.wait_exit(START_TIMEOUT + FATAL_EXIT_SECONDS) not in (None, 0)
    lines = run.folder.log()
    fatal = [l.message for l in lines if l.category == "错误提示"]
    restart = [l.message for l in lines if l.category == "重启"]
    assert len(fatal) == 1 and len(restart) == 1, lines
    assert fatal[0].startswith("code:-1073741819 msg:unhandled exception at ")
    assert events(program.stderr_path) == [
        (EVENTLOG_ERROR, event_id("LUMO_EVENT_FATAL_ERROR"), fatal[0]),
        (EVENTLOG_WARNING, event_id("LUMO_EVENT_RESTART"), restart[0])]
    # The restarted copy (the only one that counts a restart) names the error
    # as the reason of its restart: the failed copy's last status held it.
    status = wait_status(run.folder, lambda s: s["restarts_10min"] == 1 and
                         s["state"] == "page_loaded" and s["link"] == "up", RESTART_LOAD_SECONDS)
    assert status, status_of(run.folder)
    assert list(status) == KEYS
    assert status["restarts_10min"] == 1
    assert status["last_restart_reason"] == fatal[0]
    assert status["fatal_error"] == ""
    assert age_seconds(status["started"]) < RESTART_LOAD_SECONDS


def test_the_monitor_missing_and_back_are_events_and_in_the_status(make_run, displays_exe, traced):
    from test_display_change import CASHIER, CUSTOMER, CUSTOMER_SMALLER, Till
    from test_status_file import status_of, wait_status
    till = Till(without_old_traces(make_run("events-monitor", page="recorder")), displays_exe)
    try:
        assert till.office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
        assert till.wait_covers(CUSTOMER), till.window()
        left, top, right, bottom = CUSTOMER
        assert wait_status(till.folder, lambda s: s["window_visible"] and s["screen"] == 2 and
                           (s["window_x"], s["window_y"], s["window_width"],
                            s["window_height"]) == (left, top, right - left, bottom - top))
        till.change(CASHIER)
        assert till.wait_hidden(), till.window()
        assert wait_status(till.folder, lambda s: not s["window_visible"]), status_of(till.folder)
        till.change(CASHIER, CUSTOMER_SMALLER)
        assert till.wait_covers(CUSTOMER_SMALLER), till.window()
        left, top, right, bottom = CUSTOMER_SMALLER
        assert wait_status(till.folder, lambda s: s["window_visible"] and
                           (s["window_x"], s["window_width"]) == (left, right - left))
    finally:
        till.program.stop()
    missing, back = till.choice_lines()
    assert events(till.program.stderr_path) == [
        (EVENTLOG_WARNING, event_id("LUMO_EVENT_MONITOR_MISSING"), missing),
        (EVENTLOG_INFORMATION, event_id("LUMO_EVENT_MONITOR_BACK"), back)]


def test_the_restart_cap_is_an_error_event_and_the_status_stays_down(make_run, faults_exe, traced):
    """A fault at every start: the first run and three restarts fail, the
    fourth failure leaves the program down. The restarted copies write to the
    standard error they inherited, so every event of the chain is there."""
    from test_status_file import lumocheck_status, status_of
    run = without_old_traces(make_run("events-cap", page="recorder"))
    shutil.copy2(faults_exe, run.folder.path / "Tarnlumo.exe")
    (run.folder.path / "fault.txt").write_text("page-loaded access keep\n")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()

    def chain_ended():
        return any(l.category == "重启" and "不再重启" in l.message for l in run.folder.log()) \
            and run.ctl.main().get("found") == "0"
    assert wait_until(chain_ended, 4 * (START_TIMEOUT + FATAL_EXIT_SECONDS)), run.folder.log()
    lines = run.folder.log()
    fatal = [l.message for l in lines if l.category == "错误提示"]
    restarts = [l.message for l in lines if l.category == "重启"]
    assert len(fatal) == 4 and len(restarts) == 4, lines
    expected = []
    for n in range(4):
        expected.append((EVENTLOG_ERROR, event_id("LUMO_EVENT_FATAL_ERROR"), fatal[n]))
        expected.append((EVENTLOG_WARNING, event_id("LUMO_EVENT_RESTART"), restarts[n]) if n < 3
                        else (EVENTLOG_ERROR, event_id("LUMO_EVENT_RESTART_CAP"), restarts[n]))
    assert wait_until(lambda: events(program.stderr_path) == expected, 10), \
        events(program.stderr_path)
    status = status_of(run.folder)
    assert status["state"] == "shutting_down" and status["fatal_error"] == fatal[3], status
    assert status["restarts_10min"] == 3 and status["last_restart_reason"] == fatal[2]
    code, out = lumocheck_status(run.folder.win_dir)
    assert code == 1 and "state shutting_down" in out["reason"], out


def test_refusals_are_one_warning_event_a_minute(make_run, traced):
    # A foreign page that keeps trying must not flood the event log.
    run = without_old_traces(make_run("events-refused", page="recorder"))
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    assert office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    assert office.wait("connections", 1, 20)
    for n in range(3):
        office.push(json.dumps({"c": "e2e", "a": "go",
                                "data": {"url": "http://127.0.0.1:9/away%d.html" % n}}))
    assert wait_until(lambda: len([l for l in run.folder.lines("WKE") if "refused" in l.message]) == 3,
                      20)
    refusals = [l.message for l in run.folder.lines("WKE") if "refused" in l.message]
    assert wait_until(lambda: events(program.stderr_path), 10)
    time.sleep(2)  # a second event, were there one, would be traced by now
    program.kill()
    assert events(program.stderr_path) == [
        (EVENTLOG_WARNING, event_id("LUMO_EVENT_REFUSED"), refusals[0])]
