"""The reference page in a real browser, talking to a real simulator."""

import shutil
import subprocess

import pytest

from backoffice import Backoffice
from peers import Control
from test_page_in_engine import PAGE_DIR

BROWSER = shutil.which("chromium")
BROWSER_SECONDS = 60
BROWSER_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--virtual-time-budget=4000", "--dump-dom"]
DEMO = """
clientJS2({"c":"sale","a":"item","data":{"name":"苹果","qty":2,"price":"3.50"}});
clientJS2({"c":"sale","a":"total","data":{"total":"7.00"}});
clientJS2({"c":"ad","a":"show","data":{"text":"会员日"}});
"""

pytestmark = pytest.mark.skipif(BROWSER is None, reason="needs chromium")


def browse(url, profile):
    done = subprocess.run([BROWSER] + BROWSER_FLAGS + ["--user-data-dir=" + str(profile), url],
                          capture_output=True, timeout=BROWSER_SECONDS)
    return done.stdout.decode("utf-8")


def test_browser_loads_the_served_page_and_its_reports_arrive(office, tmp_path):
    url = "http://127.0.0.1:%d/client/app/lumo/" % office.ports["web"]
    dom = browse(url, tmp_path / "profile")
    control = Control(office.ports["control"])
    assert control.wait("page-reports", 2)["ok"]
    loaded, probe = control.get("/page-reports")[:2]
    assert loaded == {"kind": "loaded", "href": url, "loads": 1}
    assert probe == {"kind": "serverjs", "available": False, "replies": {}, "types": {}}
    assert '<span id="sale-total" class="sale-total">0.00</span>' in dom
    paths = [r["path"] for r in control.get("/requests") if r["method"] == "GET"]
    assert paths[0] == "/client/app/lumo/"
    assert {"/client/app/lumo/style.css", "/client/app/lumo/app.js"} <= set(paths)


def test_pushed_style_messages_render_and_report_in_order_in_a_browser(tmp_path):
    page = tmp_path / "page"
    shutil.copytree(PAGE_DIR, page)
    (page / "demo.js").write_text(DEMO, encoding="utf-8")
    index = (page / "index.html").read_text(encoding="utf-8")
    (page / "index.html").write_text(index.replace('<script src="app.js"></script>',
                                                   '<script src="app.js"></script><script src="demo.js"></script>'),
                                     encoding="utf-8")
    office = Backoffice(page_dir=str(page))
    office.start()
    try:
        dom = browse("http://127.0.0.1:%d/client/app/lumo/" % office.ports["web"], tmp_path / "profile")
        control = Control(office.ports["control"])
        assert control.wait("page-reports", 5)["ok"]
        messages = [r for r in control.get("/page-reports") if r["kind"] == "message"]
    finally:
        office.stop()
    assert [m["seq"] for m in messages] == [1, 2, 3]
    assert messages[0]["msg"]["data"]["name"] == "苹果"
    assert ('<tr><td class="name">苹果</td> <td class="num">2</td> <td class="num">3.50</td> '
            '<td class="num">7.00</td></tr>') in dom
    assert '<span id="sale-total" class="sale-total">7.00</span>' in dom and "会员日" in dom
