"""The reference page run in Duktape (the engine of our headless page host)
against a DOM that holds exactly the subset the host offers."""

import hashlib
import json
import os
import re
import shutil
import subprocess

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE_DIR = os.path.join(os.path.dirname(HERE), "page")
DUKTAPE_DIR = "/usr/share/duktape"
RUN_SECONDS = 20

SERVERJS_STUB = """
var serverCalls = [];
var SERVER_REPLIES = {pcname: "收银台-01", appname: "lumo", runpath: "C:\\\\lumo\\\\", width: 1280, height: 800,
                      left: 1920, top: 0, title: "lumo"};
function serverJS(text) { serverCalls.push(text); return SERVER_REPLIES[JSON.parse(text).a]; }
"""


@pytest.fixture(scope="session")
def duk_run(request, tmp_path_factory):
    if not os.path.isfile(os.path.join(DUKTAPE_DIR, "duktape.c")) or shutil.which("cc") is None:
        pytest.skip("needs duktape-dev and a C compiler")
    source = os.path.join(HERE, "duk_run.c")
    with open(source, "rb") as handle:
        key = hashlib.sha256(handle.read()).hexdigest()[:16]
    cache = getattr(request.config, "cache", None)  # absent under -p no:cacheprovider
    folder = cache.mkdir("duktape-runner") if cache else tmp_path_factory.mktemp("duktape-runner")
    binary = os.path.join(str(folder), "duk_run-" + key)
    if not os.path.exists(binary):
        subprocess.run(["cc", "-O1", "-I", DUKTAPE_DIR, "-o", binary + ".tmp", source,
                        os.path.join(DUKTAPE_DIR, "duktape.c"), "-lm"], check=True, timeout=300)
        os.replace(binary + ".tmp", binary)
    return binary


@pytest.fixture
def run_page(duk_run, tmp_path):
    with open(os.path.join(PAGE_DIR, "index.html"), encoding="utf-8") as handle:
        ids = re.findall(r'\bid="([^"]+)"', handle.read())

    def run(before="", after="", stub=True):
        files = []
        for name, text in (("ids.js", "var PAGE_IDS = %s;" % json.dumps(ids)),
                           ("before.js", (SERVERJS_STUB if stub else "") + before),
                           ("after.js", after + "\nprint(harnessResult(%s));" % json.dumps(ids))):
            (tmp_path / name).write_text(text, encoding="utf-8")
            files.append(str(tmp_path / name))
        files[1:1] = [os.path.join(HERE, "dom_subset.js")]
        files.insert(3, os.path.join(PAGE_DIR, "app.js"))
        done = subprocess.run([duk_run] + files, capture_output=True, timeout=RUN_SECONDS)
        output = done.stdout.decode("utf-8")
        assert done.returncode == 0, output
        lines = output.strip().splitlines()
        result = json.loads(lines[-1])
        result["printed"] = lines[:-1]
        result["reports"] = [json.loads(r["body"]) for r in result["requests"]]
        return result

    return run


def test_load_reports_itself_and_the_serverjs_replies(run_page):
    result = run_page(after="runTimers(100); print(JSON.stringify(serverCalls));")
    calls = [json.loads(c) for c in json.loads(result["printed"][0])]
    assert calls[:3] == [{"c": "sys", "a": "pcname"}, {"c": "sys", "a": "appname"}, {"c": "sys", "a": "runpath"}]
    assert {c["a"] for c in calls if c["c"] == "window"} == {"width", "height", "left", "top", "title"}
    loaded, probe = result["reports"]
    assert loaded == {"kind": "loaded", "href": "http://127.0.0.1:8099/client/app/lumo/", "loads": 1}
    assert probe["available"] is True
    assert probe["replies"]["pcname"] == "收银台-01" and probe["replies"]["width"] == 1280
    assert probe["types"]["runpath"] == "string" and probe["types"]["left"] == "number"
    assert all(r["method"] == "POST" and r["url"] == "/page/report" and r["async"] for r in result["requests"])
    assert "收银台-01" in result["texts"]["status"] and "lumo" in result["texts"]["status"]


def test_reports_go_one_at_a_time_so_they_arrive_in_order(run_page):
    result = run_page(after="clientJS2({c: 'x'});")
    assert [r["kind"] for r in result["reports"]] == ["loaded"]  # the rest wait for the first to finish


def test_page_without_serverjs_still_loads(run_page):
    result = run_page(stub=False, after="runTimers(100);")
    assert result["reports"][1] == {"kind": "serverjs", "available": False, "replies": {}, "types": {}}
    assert result["console"] == []


def test_undefined_serverjs_replies_are_reported_as_null_with_their_type(run_page):
    result = run_page(before="SERVER_REPLIES = {};", after="runTimers(100);")
    probe = result["reports"][1]
    assert probe["replies"]["pcname"] is None and probe["types"]["pcname"] == "undefined"


def test_sale_messages_are_shown_and_reported_in_order(run_page):
    after = """
    clientJS2({"c":"sale","a":"item","data":{"name":"苹果","qty":2,"price":"3.50"}});
    clientJS2({"c":"sale","a":"item","data":{"name":"牛奶","qty":1,"price":"12.80"}});
    clientJS2({"c":"sale","a":"total","data":{"total":"19.80","paid":"50","change":"30.2"}});
    clientJS2({"c":"ad","a":"show","data":{"text":"会员日"}});
    runTimers(100);
    """
    result = run_page(after=after)
    # One row per item, four cells: the name left, the numbers in cells of their own.
    assert result["saleRows"] == [["TD:name:苹果", "TD:num:2", "TD:num:3.50", "TD:num:7.00"],
                                  ["TD:name:牛奶", "TD:num:1", "TD:num:12.80", "TD:num:12.80"]]
    assert result["texts"]["sale-total"] == "19.80"
    assert result["texts"]["sale-pay"] == "实收 50.00  找零 30.20"
    assert result["texts"]["ad"] == "会员日"
    messages = [r for r in result["reports"] if r["kind"] == "message"]
    assert [m["seq"] for m in messages] == [1, 2, 3, 4]
    assert messages[0]["msg"] == {"c": "sale", "a": "item", "data": {"name": "苹果", "qty": 2, "price": "3.50"}}


def test_total_without_a_total_message_is_the_sum_and_clear_starts_over(run_page):
    result = run_page(after="""
    clientJS2({"c":"sale","a":"item","data":{"name":"a","qty":3,"price":"1.10"}});
    clientJS2({"c":"sale","a":"item","data":{"name":"b","qty":"x","price":"2"}});
    var before = document.getElementById("sale-total").textContent;
    clientJS2({"c":"sale","a":"clear"});
    print(before);
    """)
    assert result["printed"] == ["3.30"]
    assert result["saleRows"] == [] and result["texts"]["sale-total"] == "0.00"


def test_list_keeps_the_last_ten_newest_first_and_unknown_messages_raw(run_page):
    result = run_page(after="for (var n = 1; n <= 12; n++) { clientJS2({c: 'x', n: n}); }")
    lines = result["messageLines"]
    assert len(lines) == 10
    assert lines[0].startswith("#12 ") and lines[0].endswith('{"c":"x","n":12}')
    assert lines[-1].startswith("#3 ")
    assert "消息 12" in result["texts"]["status"]


def test_error_reports_are_shown_and_reported_like_any_message(run_page):
    result = run_page(after="""
    clientJS2({"c":"sys","a":"error","data":{"level":3,"line":12,"msg":"x is not defined","sname":"app.js"}});
    runTimers(100);
    """)
    assert result["errorClass"] == "error shown"
    assert "x is not defined" in result["texts"]["error"] and "app.js:12" in result["texts"]["error"]
    assert result["reports"][-1]["msg"]["data"]["line"] == 12


@pytest.mark.parametrize("call", ["clientJS2(null)", "clientJS2('text')", "clientJS2(7)", "clientJS2()",
                                  "clientJS2({c:'sale',a:'item',data:null})", "clientJS2({c:'sale',a:'item'})"])
def test_odd_messages_never_throw_and_are_still_reported(run_page, call):
    result = run_page(after=call + "; runTimers(100);")
    assert result["reports"][-1]["kind"] == "message" and result["reports"][-1]["seq"] == 1
    assert result["console"] == []


def test_failed_report_requests_do_not_stop_the_queue(run_page):
    result = run_page(before="harness.xhrMode = 'fail';", after="clientJS2({c:'a'}); clientJS2({c:'b'}); runTimers(100);")
    assert [r.get("seq") for r in result["reports"]] == [None, None, 1, 2]


def test_a_report_that_never_completes_is_given_up_after_five_seconds(run_page):
    result = run_page(before="harness.xhrMode = 'never';", after="""
    clientJS2({c:'a'});
    runTimers(4999); print(harness.requests.length);
    runTimers(1); print(harness.requests.length);
    runTimers(20000); print(harness.requests.length);
    """)
    assert result["printed"] == ["1", "2", "3"]


def test_clock_ticks_every_second(run_page):
    result = run_page(after="""
    document.getElementById("clock").textContent = "";
    runTimers(999); print(document.getElementById("clock").textContent === "");
    runTimers(1);
    """)
    assert result["printed"] == ["true"]
    assert re.fullmatch(r"\d\d:\d\d:\d\d", result["texts"]["clock"])


def test_load_count_is_kept_in_local_storage(run_page):
    result = run_page(before="localStorage.setItem('lumo.display.loads', '4');")
    assert result["reports"][0]["loads"] == 5
    assert result["storage"]["lumo.display.loads"] == "5"


def test_the_harness_itself_rejects_members_outside_the_subset(run_page):
    result = run_page(after="""
    try { document.getElementById("ad").insertBefore(null, null); print("allowed"); }
    catch (e) { print(e.message); }
    try { document.querySelector("#ad"); print("allowed"); } catch (e) { print(e.message); }
    """)
    assert result["printed"] == ["element.insertBefore is outside the DOM subset",
                                 "document.querySelector is outside the DOM subset"]
