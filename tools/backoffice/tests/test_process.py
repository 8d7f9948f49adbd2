import re
import signal
import socket
import subprocess
import sys

import pytest

from peers import Control, Till, frame, http_get
from test_control import SCRIPT

READY = re.compile(r"^backoffice ready web=(\d+) tcp=(\d+) control=(\d+)( report=(\d+))?$")
EXIT_SECONDS = 10


def launch(*extra):
    args = [sys.executable, SCRIPT, "--web-port", "0", "--tcp-port", "0", "--control-port", "0"] + list(extra)
    return subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def ready_ports(process):
    line = process.stdout.readline().strip()
    match = READY.match(line)
    assert match, "unexpected first line %r" % line
    return [int(g) if g else None for g in match.group(1, 2, 3, 5)]


@pytest.fixture
def process():
    child = launch()
    yield child
    if child.poll() is None:
        child.kill()
    child.wait(EXIT_SECONDS)
    child.stdout.close()
    child.stderr.close()


def test_ready_line_gives_real_ports_that_answer(process):
    web, tcp, control, report = ready_ports(process)
    assert report is None and 0 not in (web, tcp, control)
    assert http_get(web, "/")[2] == b"ok"
    assert http_get(web, "/api100.php?fun=port&name=tcp")[2] == str(tcp).encode()
    till = Till(tcp)
    till.send(frame(b"hello"))
    assert Control(control).wait("received", 1)["ok"]
    till.close()


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT])
def test_signal_stops_it_cleanly_even_with_a_till_connected(process, signum):
    _, tcp, control, _ = ready_ports(process)
    till = Till(tcp)
    assert Control(control).wait("connections", 1)["ok"]
    process.send_signal(signum)
    assert process.wait(EXIT_SECONDS) == 0
    assert till.closed_by_peer()
    assert process.stderr.read() == ""
    with pytest.raises(ConnectionRefusedError):
        Till(tcp)


def test_shutdown_request_replies_then_exits(process):
    _, _, control, _ = ready_ports(process)
    assert Control(control).post("/shutdown") == {"shutdown": True}
    assert process.wait(EXIT_SECONDS) == 0


def test_report_port_appears_in_the_ready_line():
    child = launch("--report-port", "0")
    try:
        web, _, control, report = ready_ports(child)
        assert report not in (None, web)
        Control(control).post("/shutdown")
        assert child.wait(EXIT_SECONDS) == 0
    finally:
        if child.poll() is None:
            child.kill()
        child.communicate(timeout=EXIT_SECONDS)


def test_a_taken_port_fails_at_once_with_nothing_left_listening():
    holder = socket.socket()
    holder.bind(("127.0.0.1", 0))
    holder.listen(1)
    taken = holder.getsockname()[1]
    free = socket.socket()
    free.bind(("127.0.0.1", 0))
    web = free.getsockname()[1]
    free.close()
    try:
        child = subprocess.run([sys.executable, SCRIPT, "--web-port", str(web), "--tcp-port", str(taken),
                                "--control-port", "0"], capture_output=True, text=True, timeout=EXIT_SECONDS)
    finally:
        holder.close()
    assert child.returncode == 1
    assert child.stdout == "" and "cannot listen" in child.stderr
    with pytest.raises(ConnectionRefusedError):
        socket.create_connection(("127.0.0.1", web), timeout=2)


def test_missing_page_dir_is_a_usage_error(tmp_path):
    child = subprocess.run([sys.executable, SCRIPT, "--web-port", "0", "--tcp-port", "0", "--control-port", "0",
                            "--page-dir", str(tmp_path / "absent")], capture_output=True, text=True,
                           timeout=EXIT_SECONDS)
    assert child.returncode == 2 and "--page-dir" in child.stderr
