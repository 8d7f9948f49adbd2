"""The soak's accounting of pushes (sent, reached the page, logged) and the
layout of its run, without the program.

Run: /usr/bin/python3 -m pytest tools/soak/tests
"""

import json
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from ledger import Ledger, ReportError, push_text, seqs_of_report  # noqa: E402
from schedule import disruptions, split_evenly  # noqa: E402

ITEM = {"name": "苹果", "qty": 2}


def report(load, ranges, late=(), count=None):
    seqs = sum(b - a + 1 for a, b in ranges) + len(late)
    return {"kind": "soak", "load": load, "id": "r", "ranges": [list(r) for r in ranges],
            "late": list(late), "count": seqs if count is None else count, "errors": []}


def logged(*seqs):
    return ["OnHandle data:" + push_text(s, ITEM) for s in seqs]


def sent_ledger(count):
    ledger = Ledger()
    ledger.record_push(ledger.take(count), True)
    return ledger


def test_report_lists_runs_then_late_numbers_and_refuses_malformed_ones():
    assert seqs_of_report(report("a", [(1, 3), (5, 5)], late=[2, 9])) == [1, 2, 3, 5, 2, 9]
    for bad in ({"ranges": [[3, 1]], "late": []},          # a run backwards
                {"ranges": [[1, 4], [4, 6]], "late": []},  # runs overlapping
                {"ranges": [[1, 2], [0, 0]], "late": []},  # runs not rising
                {"ranges": [[1]], "late": []},
                {"ranges": [[1, "2"]], "late": []},
                {"ranges": [], "late": [1.5]},
                {"ranges": [[1, 2]]}):
        with pytest.raises(ReportError):
            seqs_of_report(bad)


def test_every_push_accounted_for_passes():
    ledger = sent_ledger(10)
    ledger.record_report(report("a", [(1, 4)]))
    ledger.record_report(report("a", [(1, 6)]))  # a later report of the same load
    ledger.record_report(report("b", [(7, 10)]))  # the page after a reload
    ledger.record_log(logged(*range(1, 11)) + ["OnConnect:127.0.0.1", 'OnHandle data:{"c":"x"}'])
    figures = ledger.figures()
    assert (figures["sent"], figures["reached"], figures["logged"], figures["page_loads"]) == (10, 10, 10, 2)
    assert Ledger.faults(figures) == []


def test_an_older_report_arriving_late_does_not_hide_what_a_newer_one_saw():
    ledger = sent_ledger(6)
    ledger.record_report(report("a", [(1, 6)]))
    ledger.record_report(report("a", [(1, 2)]))
    assert ledger.missing_in_load("a", range(1, 7)) == []
    assert ledger.missing_in_load("b", [5]) == [5]


@pytest.mark.parametrize("reports, log, fault", [
    # Lost between the link and the page, and lost with a reload.
    ([report("a", [(1, 4), (6, 10)])], range(1, 11), "1 sent pushes never reached the page"),
    ([report("a", [(1, 5)]), report("b", [(7, 10)])], range(1, 11), "1 sent pushes never"),
    # Repeated within one load and across a reload.
    ([report("a", [(1, 10)], late=[4])], range(1, 11), "1 pushes reached the page more than once"),
    ([report("a", [(1, 6)]), report("b", [(6, 10)])], range(1, 11), "more than once"),
    # Out of order within one load.
    ([report("a", [(1, 3), (5, 10)], late=[4])], range(1, 11), "1 pushes reached the page after a higher number"),
    # Seen by the page but never sent.
    ([report("a", [(1, 12)])], range(1, 11), "the page saw 2 pushes that were never sent"),
    # Reached the page without a log line; logged twice; logged but never sent.
    ([report("a", [(1, 10)])], [1, 2, 3, 5, 6, 7, 8, 9, 10], "1 pushes reached the page without their log line"),
    ([report("a", [(1, 10)])], list(range(1, 11)) + [3], "1 pushes were logged more than once"),
    ([report("a", [(1, 10)])], range(1, 12), "1 logged pushes were never sent"),
])
def test_each_kind_of_loss_or_excess_is_a_fault(reports, log, fault):
    ledger = sent_ledger(10)
    for r in reports:
        ledger.record_report(r)
    ledger.record_log(logged(*log))
    faults = Ledger.faults(ledger.figures())
    assert any(fault in f for f in faults), faults


def test_pushes_without_a_live_link_are_not_expected_but_are_a_fault():
    ledger = sent_ledger(4)
    ledger.record_push(ledger.take(2), False)  # 5 and 6
    ledger.record_report(report("a", [(1, 5)]))  # 5 came through before the link fell
    ledger.record_log(logged(1, 2, 3, 4, 5))
    figures = ledger.figures()
    assert (figures["pushed"], figures["sent"], figures["unsent"], figures["lost"]) == (6, 4, 2, 0)
    assert (figures["unexpected"], figures["log_unexpected"], figures["log_lost"]) == (0, 0, 0)
    assert Ledger.faults(figures) == ["2 pushes found no live link (the link fell by itself)"]


def test_push_text_is_what_the_log_reader_finds():
    text = push_text(12, ITEM)
    assert json.loads(text) == {"c": "soak", "a": "p", "s": 12, "data": ITEM}
    ledger = Ledger()
    ledger.record_log(["OnHandle data:" + text, "OnHandle data:" + push_text(3, {}),
                       "OnHandle dropped: " + text, "OnHandle data:" + text.replace('"s":12', '"s":"12"')])
    assert ledger.logged == [12, 3]


def test_run_layout():
    assert split_evenly(10, 3) == [4, 3, 3] and split_evenly(5, 0) == []
    events = disruptions(100, 10, 10)
    assert (events.count("tcp"), events.count("process"), events.count("kill")) == (90, 10, 10)
    kills = [i for i, e in enumerate(events) if e == "kill"]
    assert all(9 <= b - a <= 13 for a, b in zip(kills, kills[1:])), kills  # spread, not bunched
    assert disruptions(3, 0, 0) == ["tcp"] * 3
    assert disruptions(0, 2, 5) == ["kill", "kill"]
    assert disruptions(4, 1, 2) == ["tcp", "process", "kill", "tcp", "process"]
