"""The Chromium engine drives its browser over a channel only its own user can
reach: another local process finds no port of the browser that answers the
DevTools protocol, and the pipe's FIFOs sit in a folder only the owner may
enter. With the developer-tools opt-in (LUMO_DEVTOOLS_PORT=1) the same scan
does find the browser's port, which shows that the scan looks where it must.

Runs with LUMO_ENGINE=chromium, e.g.
    LUMO_ENGINE=chromium /usr/bin/python3 -m pytest tests/e2e/test_devtools_channel.py"""

import os
import stat
import urllib.request
from pathlib import Path

import pytest

import lumo_harness
from lumo_harness import CHROMIUM, engine, wait_until

REPO = Path(__file__).resolve().parents[2]
REFERENCE_PAGE = REPO / "tools" / "backoffice" / "page"
START_TIMEOUT = 90
PID_FILE = "lumo-browser.pid"
PIPE_FOLDER = "lumo-devtools"
LISTENING = "0A"

pytestmark = [
    pytest.mark.slow,
    pytest.mark.skipif(engine() != CHROMIUM,
                       reason="the browser's channel: run with LUMO_ENGINE=chromium (engine now: %s)"
                       % engine()),
]


def process_tree(root):
    """The pid `root` and every process descended from it."""
    parents = {}
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            # The parent is the fourth field, after the name in parentheses.
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        parents[int(entry.name)] = int(fields[1])
    tree = {root}
    grew = True
    while grew:
        grew = False
        for pid, parent in parents.items():
            if parent in tree and pid not in tree:
                tree.add(pid)
                grew = True
    return tree


def socket_inodes(pids):
    inodes = set()
    for pid in pids:
        try:
            for fd in Path("/proc/%d/fd" % pid).iterdir():
                target = os.readlink(fd)
                if target.startswith("socket:["):
                    inodes.add(target[len("socket:["):-1])
        except OSError:
            continue  # a process that ended meanwhile
    return inodes


def listening_ports(inodes):
    """(address, port) of the TCP sockets in `inodes` that listen."""
    found = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        for line in Path(table).read_text().splitlines()[1:]:
            fields = line.split()
            local, state, inode = fields[1], fields[3], fields[9]
            if state == LISTENING and inode in inodes:
                found.append((local.split(":")[0], int(local.split(":")[1], 16)))
    return found


def answers_devtools(port):
    """True when the loopback port serves the DevTools protocol to anyone who asks."""
    try:
        with urllib.request.urlopen("http://127.0.0.1:%d/json/version" % port, timeout=5) as reply:
            return b"webSocketDebuggerUrl" in reply.read()
    except OSError:
        return False


def browser_pid(folder):
    """The Linux pid of the folder's browser, or None while none is written."""
    try:
        return int((folder.profile_path / PID_FILE).read_text().strip())
    except (OSError, ValueError):
        return None


def started_browser(make_run, name):
    run = make_run(name)
    run.page_dir = REFERENCE_PAGE
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    run.start_program()
    assert office.wait_report(lambda r: r["available"], START_TIMEOUT, kind="serverjs"), \
        "the page did not reach the program's bound function"
    pid = wait_until(lambda: browser_pid(run.folder), 10)
    assert pid, "no browser runs for the program folder"
    return run, pid


def devtools_ports(browser_pid):
    ports = listening_ports(socket_inodes(process_tree(browser_pid)))
    return [port for _, port in ports if answers_devtools(port)]


def test_no_other_process_can_drive_the_browser(make_run):
    run, pid = started_browser(make_run, "devtools_channel")
    try:
        # The page works (above), yet the browser offers no port that answers.
        assert devtools_ports(pid) == []
        # Its pipe is two FIFOs only the owner may open, in a folder only it may enter.
        folder = run.folder.profile_path / PIPE_FOLDER
        info = folder.stat()
        assert info.st_uid == os.getuid()
        assert stat.S_IMODE(info.st_mode) == 0o700
        for name in ("to-browser", "from-browser"):
            fifo = (folder / name).stat()
            assert stat.S_ISFIFO(fifo.st_mode)
            assert stat.S_IMODE(fifo.st_mode) == 0o600
            assert fifo.st_uid == os.getuid()
    finally:
        run.program.stop()  # one program at a time on the wineserver


def test_the_developer_tools_port_is_an_opt_in_the_scan_finds(make_run, monkeypatch):
    monkeypatch.setitem(lumo_harness.ENV, "LUMO_DEVTOOLS_PORT", "1")
    run, pid = started_browser(make_run, "devtools_port")
    try:
        assert len(devtools_ports(pid)) == 1
    finally:
        run.program.stop()
