import json
import os
import socket
import subprocess
import sys
import threading
import time

import pytest

from peers import Control, Till, frame, http_get, http_post

SCRIPT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "backoffice.py")


@pytest.fixture
def control(office):
    return Control(office.ports["control"])


def later(seconds, action):
    timer = threading.Timer(seconds, action)
    timer.start()
    return timer


def test_wait_times_out_with_ok_false_after_about_the_time_out(control):
    started = time.monotonic()
    reply = control.wait("received", 1, timeout=0.3)
    elapsed = time.monotonic() - started
    assert reply == {"ok": False, "what": "received", "count": 0, "wanted": 1}
    assert 0.25 <= elapsed < 2.0


def test_wait_returns_as_soon_as_the_count_is_reached(office, control):
    till = Till(office.tcp.port)
    timer = later(0.2, lambda: till.send(frame(b"one") + frame(b"two")))
    started = time.monotonic()
    reply = control.wait("received", 2, timeout=10)
    assert reply["ok"] is True and reply["count"] == 2
    assert time.monotonic() - started < 5
    timer.join()
    till.close()


def test_wait_for_connections_and_page_reports(office, control):
    timer = later(0.1, lambda: http_post(office.ports["web"], "/page/report", b'{"kind":"loaded"}'))
    assert control.wait("page-reports", 1)["ok"]
    timer.join()
    tills = []
    timer = later(0.1, lambda: tills.extend(Till(office.tcp.port) for _ in range(2)))
    assert control.wait("connections", 2)["count"] == 2
    timer.join()
    assert control.wait("accepted", 2)["ok"]


@pytest.mark.parametrize("query", ["what=nothing&count=1", "what=received&count=x", "what=received&timeout=soon"])
def test_bad_wait_is_refused(control, query):
    status, reply = control.request("GET", "/wait?" + query)
    assert status == 400 and "wait" in reply["error"]


def test_wait_ends_when_the_simulator_stops(office, control):
    result = {}
    waiter = threading.Thread(target=lambda: result.update(control.wait("received", 1, timeout=30)))
    waiter.start()
    time.sleep(0.2)
    started = time.monotonic()
    office.stop()
    waiter.join(5)
    assert not waiter.is_alive()
    assert result["ok"] is False
    assert time.monotonic() - started < 3


def test_reset_clears_records_but_keeps_live_connections(office, control):
    till = Till(office.tcp.port)
    till.send(frame(b"x"))
    http_get(office.ports["web"], "/")
    http_post(office.ports["web"], "/page/report", b"{}")
    assert control.wait("received", 1)["ok"]
    control.post("/reset")
    assert control.get("/received") == []
    assert control.get("/requests") == []
    assert control.get("/page-reports") == []
    assert control.get("/connections")["count"] == 1
    assert control.get("/connections")["total"] == 0
    till.close()


def test_timeline_notes_each_event_in_order_with_its_wall_clock_time(office, control):
    before = time.time()
    http_get(office.ports["web"], "/client/app/lumo/")
    till = Till(office.tcp.port)
    assert control.wait("connections", 1)["ok"]
    till.send(frame(b"login"))
    assert control.wait("received", 1)["ok"]
    http_post(office.ports["web"], "/page/report", b'{"kind": "loaded"}')
    till.close()
    timeline = control.get("/timeline")
    # Taken after the timeline was read: the server notes the closed
    # connection on its own thread, maybe after the close returned.
    after = time.time()
    whats = [(e["what"], e["detail"]) for e in timeline]
    assert whats[:4] == [("request", "GET /client/app/lumo/"), ("connection-opened", ""),
                         ("received", "conn 1"), ("request", "POST /page/report")]
    assert ("report", "loaded") in whats
    times = [e["at"] for e in timeline]
    assert times == sorted(times)
    assert before <= times[0] and times[-1] <= after
    # The records themselves carry no time.
    assert control.get("/page-reports") == [{"kind": "loaded"}]
    control.post("/reset")
    assert control.get("/timeline") == []


def test_unknown_control_paths_are_404(control):
    assert control.request("GET", "/nothing")[0] == 404
    assert control.request("POST", "/nothing")[0] == 404


def test_stop_is_prompt_and_leaves_no_thread_despite_silent_clients_and_tills(office):
    before = set(threading.enumerate())
    idle = socket.create_connection(("127.0.0.1", office.ports["control"]))
    idle_web = socket.create_connection(("127.0.0.1", office.ports["web"]))
    idle_web.sendall(b"GET / HTTP/1.0\r\n")  # headers never finished
    till = Till(office.tcp.port)
    assert Control(office.ports["control"]).wait("connections", 1)["ok"]
    time.sleep(0.1)
    started = time.monotonic()
    office.stop()
    assert time.monotonic() - started < 3
    assert [t for t in threading.enumerate() if t.is_alive() and t not in before] == []
    assert till.closed_by_peer()
    for client in (idle, idle_web):
        assert client.recv(1) == b""
        client.close()


def test_stop_frees_a_push_blocked_on_a_till_that_does_not_read(office):
    till = Till(office.tcp.port)
    control = Control(office.ports["control"])
    assert control.wait("connections", 1)["ok"]
    replies = []
    big = b"\0" * (15 * 1024 * 1024)  # more than loopback buffers hold
    pusher = threading.Thread(target=lambda: replies.append(control.request("POST", "/push?raw=1", big, 30)))
    pusher.start()
    time.sleep(0.5)
    started = time.monotonic()
    office.stop()
    pusher.join(5)
    assert not pusher.is_alive()
    assert time.monotonic() - started < 3
    assert replies == [(200, {"sent": 0})]
    till.close()


def test_tcp_cannot_be_restarted_once_the_simulator_stops(office):
    office.stop()
    with pytest.raises(OSError):
        office.tcp.start()


def run_cli(*args):
    return subprocess.run([sys.executable, SCRIPT] + list(args), capture_output=True, timeout=30)


def test_cli_push_received_and_drop(office):
    port = str(office.ports["control"])
    till = Till(office.tcp.port)
    assert Control(office.ports["control"]).wait("connections", 1)["ok"]
    done = run_cli("push", "--control", port, '{"c":"ad","a":"show","data":{"text":"九折"}}')
    assert done.returncode == 0 and json.loads(done.stdout) == {"sent": 1}
    # Without the UTF-8 marker the till reads code page 936, so that is what goes out.
    assert till.read_pack() == (0, '{"c":"ad","a":"show","data":{"text":"九折"}}'.encode("gbk"))
    marked = '{"char":"utf-8","t":"九折"}'
    assert run_cli("push", "--control", port, marked).returncode == 0
    assert till.read_pack() == (0, marked.encode("utf-8"))
    till.send(frame("登录".encode("gbk")))
    assert Control(office.ports["control"]).wait("received", 1)["ok"]
    done = run_cli("received", "--control", port)
    assert [e["text"] for e in json.loads(done.stdout)] == ["登录"]
    done = run_cli("drop", "--control", port)
    assert json.loads(done.stdout) == {"dropped": 1}
    assert till.closed_by_peer()


def test_cli_reports_an_unreachable_simulator_and_bad_text():
    done = run_cli("received", "--control", "1")
    assert done.returncode == 2 and b"backoffice:" in done.stderr


def test_cli_refuses_text_the_till_code_page_lacks(office):
    done = run_cli("push", "--control", str(office.ports["control"]), '{"t":"😀"}')
    assert done.returncode == 2 and b"gbk" in done.stderr


def test_web_side_stops_and_starts_again_on_its_port_while_tills_stay(office, control):
    till = Till(office.tcp.port)
    till.send(frame(b"before"))
    assert control.wait("received", 1)["ok"]
    web = office.ports["web"]
    assert control.post("/web/stop") == {"stopped": True}
    assert control.post("/web/stop") == {"stopped": False}
    with pytest.raises(OSError):
        socket.create_connection(("127.0.0.1", web), timeout=5).close()
    # The TCP side is untouched: the till still reaches it and gets pushes.
    till.send(frame(b"during"))
    assert control.wait("received", 2)["ok"]
    assert control.post("/push", b"hello")["sent"] == 1
    assert till.read_pack() == (0, b"hello")
    assert control.post("/web/start") == {"port": web}
    assert http_get(web, "/")[0] == 200
    assert control.get("/connections")["count"] == 1
    till.close()
