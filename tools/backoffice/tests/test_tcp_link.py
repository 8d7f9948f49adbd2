import socket
import time

import pytest

from peers import Control, Till, frame


@pytest.fixture
def control(office):
    return Control(office.ports["control"])


def connect_tills(office, control, count):
    tills = [Till(office.tcp.port) for _ in range(count)]
    assert control.wait("connections", count)["ok"]
    return tills


def test_login_split_inside_its_header_is_recorded_whole(office, control):
    till = connect_tills(office, control, 1)[0]
    login = "login|lumo|收银台01".encode("gbk")
    data = frame(login)
    for piece in (data[:1], data[1:3], data[3:6], data[6:]):
        till.send(piece)
        time.sleep(0.02)  # separate segments
    assert control.wait("received", 1)["ok"]
    [entry] = control.get("/received")
    assert entry["hex"] == login.hex()
    assert entry["text"] == "login|lumo|收银台01"
    assert entry["flag"] == 0 and entry["length"] == len(login)
    till.close()


def test_many_packs_in_one_segment_keep_their_order_per_connection(office, control):
    first, second = connect_tills(office, control, 2)
    first.send(b"".join(frame(b"a%d" % i) for i in range(20)))
    second.send(frame(b"from-second"))
    assert control.wait("received", 21)["ok"]
    received = control.get("/received")
    ids = sorted({e["conn"] for e in received})
    assert len(ids) == 2
    from_first = [e["text"] for e in received if e["text"] != "from-second"]
    assert from_first == ["a%d" % i for i in range(20)]
    assert len({e["conn"] for e in received if e["text"] != "from-second"}) == 1


def test_push_reaches_every_connected_till_as_one_pack(office, control):
    tills = connect_tills(office, control, 3)
    message = '{"c":"sale","a":"item","data":{"name":"苹果"}}'.encode("gbk")
    assert control.post("/push", message) == {"sent": 3}
    for till in tills:
        assert till.read_pack() == (0, message)


def test_push_with_flag_sets_the_high_header_bits(office, control):
    till = connect_tills(office, control, 1)[0]
    control.post("/push?flag=5", b"x")
    assert till.read_pack() == (5, b"x")
    status, reply = control.request("POST", "/push?flag=1024", b"x")
    assert status == 400 and "flag" in reply["error"]


def test_raw_push_sends_bytes_unchanged_even_a_split_frame(office, control):
    till = connect_tills(office, control, 1)[0]
    data = frame(b"abcdef")
    control.post("/push?raw=1", data[:3])
    control.post("/push?raw=1", data[3:] + b"\x01")
    assert till.read_raw(len(data) + 1) == data + b"\x01"


def test_push_to_one_connection_only(office, control):
    first, second = connect_tills(office, control, 2)
    ids = control.get("/connections")["ids"]
    assert control.post("/push?conn=%d" % ids[1], b"only") == {"sent": 1}
    second.sock.settimeout(2)
    assert second.read_pack() == (0, b"only")
    first.sock.settimeout(0.2)
    with pytest.raises(socket.timeout):
        first.read_raw(1)


def test_push_with_nobody_connected_sends_to_none(office, control):
    assert control.post("/push", b"{}") == {"sent": 0}


def test_drop_closes_every_till_and_counts_stay_exact(office, control):
    tills = connect_tills(office, control, 2)
    assert control.post("/drop") == {"dropped": 2}
    assert all(t.closed_by_peer() for t in tills)
    assert control.get("/connections")["count"] == 0
    again = Till(office.tcp.port)
    assert control.wait("connections", 1)["ok"]
    assert control.get("/connections")["total"] == 3
    again.close()


def test_tcp_stop_refuses_connections_and_start_listens_on_the_same_port(office, control):
    till = connect_tills(office, control, 1)[0]
    port = office.tcp.port
    assert control.post("/tcp/stop") == {"stopped": True}
    assert till.closed_by_peer()
    with pytest.raises(ConnectionRefusedError):
        Till(port)
    assert control.get("/connections")["listening"] is False
    assert control.post("/tcp/stop") == {"stopped": False}
    assert control.post("/tcp/start") == {"port": port}
    back = Till(port)
    assert control.wait("connections", 1)["ok"]
    back.send(frame(b"after restart"))
    assert control.wait("received", 1)["ok"]
    assert control.get("/received")[0]["text"] == "after restart"


def test_oversized_pack_closes_the_connection_and_is_reported(office, control):
    till = connect_tills(office, control, 1)[0]
    till.send(frame(b"ok") + (0x300001).to_bytes(4, "little"))
    assert till.closed_by_peer()
    reply = control.get("/connections")
    assert reply["count"] == 0
    assert "exceeds" in reply["errors"][0]["reason"]
    assert [e["text"] for e in control.get("/received")] == ["ok"]


def test_till_closing_its_end_is_noticed(office, control):
    till = connect_tills(office, control, 1)[0]
    till.close()
    deadline = time.monotonic() + 5
    while control.get("/connections")["count"] != 0:
        assert time.monotonic() < deadline
        time.sleep(0.02)


def test_push_too_long_for_a_header_is_refused_and_nothing_is_sent(office, control):
    till = connect_tills(office, control, 1)[0]
    status, reply = control.request("POST", "/push", b"x" * 0x400000)
    assert status == 400 and "does not fit" in reply["error"]
    control.post("/push", b"next")
    assert till.read_pack() == (0, b"next")


def test_push_above_the_till_limit_but_encodable_is_sent_for_refusal_tests(office, control):
    till = connect_tills(office, control, 1)[0]
    body = b"y" * 0x300001
    assert control.post("/push", body) == {"sent": 1}
    assert till.read_pack() == (0, body)
