import http.client
import json
import socket

import pytest

from backoffice import Backoffice
from peers import IO_TIMEOUT, Control, http_get, http_post


@pytest.fixture
def web(office):
    return office.ports["web"]


@pytest.fixture
def control(office):
    return Control(office.ports["control"])


def test_server_check_answers_ok(web):
    status, _, body = http_get(web, "/")
    assert (status, body) == (200, b"ok")


def test_server_check_status_can_be_made_to_fail(web, control):
    control.post("/config", b'{"root_status": 503}')
    assert http_get(web, "/")[0] == 503
    control.post("/reset?config=1")
    assert http_get(web, "/")[0] == 200


def test_port_discovery_answers_the_real_tcp_port(office, web):
    status, headers, body = http_get(web, "/api100.php?fun=port&name=tcp")
    assert status == 200
    assert body == str(office.tcp.port).encode()
    assert headers["Content-Type"].startswith("text/plain")


@pytest.mark.parametrize("answer", ["8100", "0", "abc", ""])
def test_port_answer_override_is_served_verbatim(web, control, answer):
    assert control.post("/config", json.dumps({"tcp_port_answer": answer}).encode())["tcp_port_answer"] == answer
    assert http_get(web, "/api100.php?fun=port&name=tcp")[2] == answer.encode()


def test_port_answer_override_can_be_undone_with_null(office, web, control):
    control.post("/config", b'{"tcp_port_answer": 8100}')
    assert http_get(web, "/api100.php?fun=port&name=tcp")[2] == b"8100"
    control.post("/config", b'{"tcp_port_answer": null}')
    assert http_get(web, "/api100.php?fun=port&name=tcp")[2] == str(office.tcp.port).encode()


@pytest.mark.parametrize("body", [b"not json", b'{"root_status": 99}', b'{"nope": 1}', b"[]"])
def test_bad_config_is_refused_and_changes_nothing(control, body):
    before = control.get("/config")
    status, reply = control.request("POST", "/config", body)
    assert status == 400 and reply["error"]
    assert control.get("/config") == before


def test_other_discovery_questions_are_unknown(web):
    assert http_get(web, "/api100.php?fun=port&name=udp")[0] == 404
    assert http_get(web, "/api100.php")[0] == 404


def test_reference_page_is_served_as_utf8(web):
    status, headers, body = http_get(web, "/client/app/lumo/")
    assert status == 200
    assert headers["Content-Type"] == "text/html; charset=utf-8"
    page = body.decode("utf-8")
    assert '<meta charset="utf-8">' in page and '<script src="app.js"></script>' in page
    for asset, kind in (("app.js", "application/javascript"), ("style.css", "text/css")):
        status, headers, body = http_get(web, "/client/app/lumo/" + asset)
        assert status == 200 and headers["Content-Type"].startswith(kind) and body


def test_page_url_without_slash_redirects_to_the_folder(web):
    # urllib follows the redirect; the final body is the page itself.
    status, _, body = http_get(web, "/client/app/lumo")
    assert status == 200 and b"app.js" in body


@pytest.mark.parametrize("path", ["/client/app/lumo/../../../../etc/passwd", "/client/app/lumo/%2e%2e/x",
                                  "/client/app/lumo/..%2f..%2fbackoffice.py", "/client/app/lumo/missing.js"])
def test_nothing_outside_the_page_folder_is_served(web, path):
    raw = socket.create_connection(("127.0.0.1", web), timeout=IO_TIMEOUT)
    raw.sendall(("GET %s HTTP/1.0\r\n\r\n" % path).encode())
    reply = b""
    while True:
        chunk = raw.recv(4096)
        if not chunk:
            break
        reply += chunk
    raw.close()
    assert reply.startswith(b"HTTP/1.0 404")


def test_page_dir_replaces_the_reference_page(tmp_path):
    (tmp_path / "index.html").write_text("<p>own page 页</p>", encoding="utf-8")
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "t.js").write_text("var x = 1;")
    (tmp_path / "图 1.txt").write_text("named", encoding="utf-8")
    office = Backoffice(page_dir=str(tmp_path))
    office.start()
    try:
        web = office.ports["web"]
        assert http_get(web, "/client/app/lumo/")[2] == "<p>own page 页</p>".encode()
        assert http_get(web, "/client/app/lumo/sub/t.js")[2] == b"var x = 1;"
        assert http_get(web, "/client/app/lumo/app.js")[0] == 404
        assert http_get(web, "/client/app/lumo/%E5%9B%BE%201.txt")[2] == b"named"
    finally:
        office.stop()


def test_page_reports_are_recorded_in_order(web, control):
    for seq in range(1, 4):
        report = {"kind": "message", "msg": {"c": "sale", "data": {"name": "苹果"}}, "seq": seq}
        assert http_post(web, "/page/report", json.dumps(report, ensure_ascii=False).encode())[0] == 200
    reports = control.get("/page-reports")
    assert [r["seq"] for r in reports] == [1, 2, 3]
    assert reports[0]["msg"]["data"]["name"] == "苹果"


def test_a_report_that_is_not_json_is_refused_but_the_request_is_recorded(web, control):
    assert http_post(web, "/page/report", b"{broken")[0] == 400
    assert control.get("/page-reports") == []
    [request] = control.get("/requests")
    assert (request["method"], request["path"], request["body"]) == ("POST", "/page/report", "{broken")


def test_cross_origin_report_preflight_is_allowed(web):
    raw = socket.create_connection(("127.0.0.1", web), timeout=IO_TIMEOUT)
    raw.sendall(b"OPTIONS /page/report HTTP/1.0\r\nOrigin: http://other\r\n\r\n")
    reply = raw.recv(4096)
    raw.close()
    assert reply.startswith(b"HTTP/1.0 204") and b"Access-Control-Allow-Origin: *" in reply


def test_every_request_is_recorded_with_its_headers(web, control):
    http_get(web, "/", headers={"User-Agent": "till/1", "Cookie": "a=1"})
    http_get(web, "/api100.php?fun=port&name=tcp")
    requests = control.get("/requests")
    assert [(r["method"], r["path"]) for r in requests] == [("GET", "/"), ("GET", "/api100.php?fun=port&name=tcp")]
    assert requests[0]["headers"]["User-Agent"] == "till/1"
    assert requests[0]["headers"]["Cookie"] == "a=1"
    assert all(r["service"] == "web" for r in requests)


def test_report_port_is_a_second_web_listener():
    office = Backoffice(report_port=0)
    office.start()
    try:
        port = office.ports["report"]
        assert port not in (0, office.ports["web"])
        assert http_post(port, "/page/report", b'{"kind":"loaded"}')[0] == 200
        assert Control(office.ports["control"]).get("/page-reports") == [{"kind": "loaded"}]
        assert office.ready_line().endswith(" report=%d" % port)
    finally:
        office.stop()


def test_goto_redirects_wherever_it_is_told(web):
    connection = http.client.HTTPConnection("127.0.0.1", web, timeout=IO_TIMEOUT)
    connection.request("GET", "/goto?to=http%3A%2F%2F127.0.0.1%3A9%2Fx.html")
    response = connection.getresponse()
    assert response.status == 302
    assert response.getheader("Location") == "http://127.0.0.1:9/x.html"
    connection.close()
