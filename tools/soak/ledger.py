"""The soak's accounting: which sequence numbers were pushed, which reached the
page (from the page's reports, one page load after another) and which the
program logged, and what follows from the three.

Every push carries a sequence number. A push counts as sent only when the
simulator wrote all of its bytes to a live link; a page report lists what
one page load saw so far as rising runs [first, last] plus the numbers that
came late (not above the last one seen: a repeat, or out of order)."""

import json
import re

# The program logs each push it relays as `OnHandle data:<text>`.
LOGGED_PUSH = re.compile(r'^OnHandle data:\{"c":"soak","a":"p","s":(\d+)[,}]')


def push_text(seq, body):
    """The text of push `seq`; `body` is the data it carries (code page 936 text)."""
    return json.dumps({"c": "soak", "a": "p", "s": seq, "data": body}, ensure_ascii=False,
                      separators=(",", ":"))


class ReportError(ValueError):
    """A page report that does not hold what the page sends."""


def seqs_of_report(report):
    """The sequence numbers a page report lists, in the order the page saw
    them within each part: every run's numbers, then the late ones."""
    ranges, late = report.get("ranges"), report.get("late")
    if not isinstance(ranges, list) or not isinstance(late, list):
        raise ReportError("report without ranges and late lists: %r" % (report,))
    seqs = []
    previous = None
    for run in ranges:
        if (not isinstance(run, list) or len(run) != 2 or not all(isinstance(n, int) for n in run)
                or run[0] > run[1] or (previous is not None and run[0] <= previous)):
            raise ReportError("runs must be rising [first, last] pairs: %r" % (run,))
        seqs.extend(range(run[0], run[1] + 1))
        previous = run[1]
    if not all(isinstance(n, int) for n in late):
        raise ReportError("late numbers must be integers: %r" % (late,))
    return seqs + late


class Ledger:
    def __init__(self):
        self.sent = set()
        self.unsent = set()  # pushed while the simulator had no live link to write to
        self.next_seq = 1
        self._loads = {}  # page load -> its latest report
        self._load_order = []
        self.logged = []

    # ---- pushes ----------------------------------------------------------
    def take(self, count):
        """The next `count` sequence numbers."""
        seqs = list(range(self.next_seq, self.next_seq + count))
        self.next_seq += count
        return seqs

    def record_push(self, seqs, sent):
        (self.sent if sent else self.unsent).update(seqs)

    # ---- what reached the page --------------------------------------------
    def record_report(self, report):
        """Keeps the latest report of its page load: a load's reports each
        list all it has seen, so a later one replaces an earlier one."""
        seqs_of_report(report)  # refuses a malformed one before it replaces a good one
        load = report.get("load")
        known = self._loads.get(load)
        if known is not None and report.get("count", 0) < known.get("count", 0):
            return  # an older report that arrived late
        if load not in self._loads:
            self._load_order.append(load)
        self._loads[load] = report

    def missing_in_load(self, load, seqs):
        """Those of `seqs` that the latest report of `load` does not list."""
        report = self._loads.get(load)
        seen = set(seqs_of_report(report)) if report else set()
        return [s for s in seqs if s not in seen]

    def page_loads(self):
        return len(self._load_order)

    def reached(self):
        """Every number that reached the page, once per time it did."""
        seqs = []
        for load in self._load_order:
            seqs.extend(seqs_of_report(self._loads[load]))
        return seqs

    def page_errors(self):
        return [e for load in self._load_order for e in self._loads[load].get("errors", [])]

    # ---- what the program logged -------------------------------------------
    def record_log(self, messages):
        """Takes the messages of every log line; keeps the pushes' numbers."""
        for message in messages:
            match = LOGGED_PUSH.match(message)
            if match:
                self.logged.append(int(match.group(1)))

    # ---- the verdict --------------------------------------------------------
    def figures(self):
        reached = self.reached()
        reached_set, logged_set = set(reached), set(self.logged)
        expected = self.sent
        return {
            "pushed": self.next_seq - 1,
            "sent": len(self.sent),
            "unsent": len(self.unsent),
            "reached": len(reached_set & expected),
            "lost": len(expected - reached_set),
            "repeated": len(reached) - len(reached_set),
            # Came when a higher number had already come: out of order, or again.
            "late": sum(len(self._loads[load]["late"]) for load in self._load_order),
            # Numbers the page saw that were never sent at all, or only
            # written to a link that fell meanwhile.
            "unexpected": len(reached_set - expected - self.unsent),
            "logged": len(logged_set & expected),
            "log_lost": len(reached_set - logged_set),
            "log_repeated": len(self.logged) - len(logged_set),
            "log_unexpected": len(logged_set - expected - self.unsent),
            "page_loads": self.page_loads(),
            "page_errors": len(self.page_errors()),
        }

    @staticmethod
    def faults(figures):
        """What is wrong with a set of figures, in words; empty when nothing is."""
        checks = [
            (figures["sent"] + figures["unsent"] == figures["pushed"], "pushes counted twice or not at all"),
            (figures["unsent"] == 0, "%(unsent)d pushes found no live link (the link fell by itself)"),
            (figures["lost"] == 0, "%(lost)d sent pushes never reached the page"),
            (figures["repeated"] == 0, "%(repeated)d pushes reached the page more than once"),
            (figures["late"] == 0, "%(late)d pushes reached the page after a higher number"),
            (figures["unexpected"] == 0, "the page saw %(unexpected)d pushes that were never sent"),
            (figures["log_lost"] == 0, "%(log_lost)d pushes reached the page without their log line"),
            (figures["logged"] == figures["sent"], "%(logged)d of %(sent)d sent pushes were logged"),
            (figures["log_repeated"] == 0, "%(log_repeated)d pushes were logged more than once"),
            (figures["log_unexpected"] == 0, "%(log_unexpected)d logged pushes were never sent"),
            (figures["page_errors"] == 0, "the page reported %(page_errors)d script errors"),
        ]
        return [text % figures for ok, text in checks if not ok]
