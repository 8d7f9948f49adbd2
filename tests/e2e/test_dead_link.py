"""The back office's host vanishes without closing the connection (power
loss, a cable, a NAT that forgot the flow): its TCP port is black-holed with
an iptables DROP on loopback, both ways. The till sends nothing after its
login, so only keep-alive can tell: OnClose comes within 30 s, and once the
port is reachable again the watchdog reconnects and a push reaches the page.
Needs iptables and the right to change the rules (root); skipped otherwise."""

import json
import os
import re
import shutil
import subprocess
import time

import pytest

from lumo_harness import ended_in_order, wait_until

pytestmark = pytest.mark.slow

START_TIMEOUT = 60
DETECT_WITHIN_SECONDS = 30
RECONNECT_TIMEOUT = 30
# The program's keep-alive: probes after this many idle seconds.
KEEP_ALIVE_IDLE_SECONDS = 5
TIMER = re.compile(r"timer:\(keepalive,([0-9.]+)(ms|sec|min)")


def iptables(*args):
    return subprocess.run(["iptables", "-w", "5"] + list(args), capture_output=True, text=True,
                          timeout=30)


def rights_problem():
    """Why the test cannot change the firewall, or None."""
    if shutil.which("iptables") is None:
        return "iptables is not installed (scripts/setup.sh installs it)"
    if os.geteuid() != 0:
        return "changing iptables rules needs root"
    listed = iptables("-L", "INPUT", "-n")
    if listed.returncode != 0:
        return "iptables refuses: %s" % listed.stderr.strip()
    return None


class BlackHole:
    """DROP rules for every packet to or from a loopback TCP port."""

    def __init__(self, port):
        self.rules = [["INPUT", "-i", "lo", "-p", "tcp", "--dport", str(port), "-j", "DROP"],
                      ["INPUT", "-i", "lo", "-p", "tcp", "--sport", str(port), "-j", "DROP"]]
        self.active = []

    def __enter__(self):
        for rule in self.rules:
            done = iptables("-I", *rule)
            assert done.returncode == 0, done.stderr
            self.active.append(rule)
        return self

    def lift(self):
        while self.active:
            iptables("-D", *self.active.pop())

    def __exit__(self, *exc):
        self.lift()


def keep_alive_timer_seconds(tcp_port):
    """The time left on the keep-alive timer of the till's connection to the
    port (the Linux side of the Wine socket), or None."""
    shown = subprocess.run(["ss", "-tnoH", "state", "established", "( dport = :%d )" % tcp_port],
                           capture_output=True, text=True, timeout=30).stdout
    found = TIMER.search(shown)
    if not found:
        return None
    value, unit = float(found.group(1)), found.group(2)
    return value / 1000 if unit == "ms" else value * 60 if unit == "min" else value


def test_a_silent_dead_server_is_noticed_within_30_s_and_the_link_comes_back(make_run):
    problem = rights_problem()
    if problem:
        pytest.skip(problem)
    run = make_run("dead_link", page="recorder")
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    assert office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded"), "the page never loaded"
    assert office.wait("received", 1, 30), "no login"
    timer = wait_until(lambda: keep_alive_timer_seconds(office.tcp_port), 10)
    assert timer is not None and timer <= KEEP_ALIVE_IDLE_SECONDS, timer

    closes = len([l for l in run.folder.lines("客户通信") if l.message.startswith("OnClose")])
    connects = len([l for l in run.folder.lines("客户通信") if l.message.startswith("OnConnect")])
    with BlackHole(office.tcp_port) as hole:
        started = time.monotonic()
        closed = wait_until(lambda: len([l for l in run.folder.lines("客户通信")
                                         if l.message.startswith("OnClose")]) > closes,
                            DETECT_WITHIN_SECONDS + 30)
        took = time.monotonic() - started
        assert closed, "no OnClose within %d s of the server vanishing" % (DETECT_WITHIN_SECONDS + 30)
        assert took <= DETECT_WITHIN_SECONDS, "the dead link was noticed after %.1f s" % took
        print("dead link noticed after %.1f s" % took)
        # Told apart from a close in order (code 0): the system's time-out error.
        last_close = [l for l in run.folder.lines("客户通信") if l.message.startswith("OnClose")][-1]
        assert last_close.message != "OnClose code:0", last_close
        hole.lift()
    # The watchdog reconnects (within its connect time-out and one round) and logs in again.
    assert wait_until(lambda: len([l for l in run.folder.lines("客户通信")
                                   if l.message.startswith("OnConnect")]) > connects,
                      RECONNECT_TIMEOUT), "no reconnect after the server came back"
    assert wait_until(lambda: office.connections()["total"] >= 2, RECONNECT_TIMEOUT)
    mark = {"c": "mark", "a": "n", "data": {"after": "dead link"}}
    deadline = time.monotonic() + RECONNECT_TIMEOUT
    while True:
        # Sent to every connection the simulator holds, the dead one included.
        office.push(json.dumps(mark))
        if office.wait_report(lambda r: r["msg"] == mark, 3, kind="message"):
            break
        assert time.monotonic() < deadline, "a push after the reconnect never reached the page"

    assert program.exit_through_tray() is not None
    assert ended_in_order(run.folder.log()), run.folder.log()[-4:]
