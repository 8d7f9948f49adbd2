"""The first page load fails (the server has no page yet): the program logs
the failure, loads the page again 5 s later, starts the link on the first
success, and never starts a second link when the page loads again."""

import shutil
import time
from pathlib import Path

import pytest

from lumo_harness import ended_in_order

pytestmark = pytest.mark.slow

START_TIMEOUT = 60
RECORDER = Path(__file__).resolve().parent / "pages" / "recorder"


def test_failed_load_retries_after_five_seconds_and_links_once(make_run, tmp_path):
    run = make_run("load_retry")
    run.page_dir = tmp_path / "page"
    run.page_dir.mkdir()
    office = run.start_office()
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": office.web_port},
                             "local": {"index": 1}})
    program = run.start_program()
    failed = run.folder.wait_log(lambda l: l.category == "载入页面", START_TIMEOUT)
    assert failed and failed.message.startswith("失败 code:"), failed
    for page_file in RECORDER.iterdir():
        shutil.copy(page_file, run.page_dir / page_file.name)
    loaded = run.folder.wait_log(lambda l: l.category == "载入完成", 30)
    assert loaded, "the page was never loaded again"
    assert loaded.seconds() - failed.seconds() >= 4  # 5 s, at one-second resolution
    assert office.wait("received", 1, 30), "no login after the first successful load"

    loads = len(office.reports("loaded"))
    office.push('{"c":"sys","a":"update"}')  # reloads the page: a second successful load
    assert office.wait_report(lambda r: r["loads"] == loads + 1, START_TIMEOUT, kind="loaded")
    time.sleep(4)  # more than one watchdog round
    assert office.connections()["total"] == 1
    assert len(run.folder.lines("载入完成")) == 1
    assert len([r for r in office.received() if r["text"].startswith('{"c":"sys","a":"login"')]) == 1

    assert program.exit_through_tray() is not None
    assert ended_in_order(run.folder.log()), run.folder.log()[-4:]
