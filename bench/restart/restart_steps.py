"""The restart benchmark's own arithmetic: which processes of a program folder
live when (from /proc samples), and the steps of one restart put together from
those, the simulator's timeline and the program's log.

Every time here is wall-clock seconds (time.time()); a step's figure is its
time after the event that caused the restart."""

import datetime
import os
import re

WATCH_MARKER = "--watch"
RESTART_MARKER = "--restarted-after"
PAGE_PATH = "/client/app/lumo/"
LOG_LINE = re.compile(r"^(\d\d):(\d\d):(\d\d)->\[(.*?)\] ")

# The steps, in the order a restart passes them; each names where it is read.
STEPS = [
    ("old ended", "proc"),
    ("new started", "proc"),
    ("log opened", "log"),
    ("server checked", "simulator"),
    ("page requested", "simulator"),
    ("page loaded", "simulator"),
    ("link connected", "simulator"),
]


class ProcessLife:
    """One process seen in /proc: when it was first and last seen alive."""

    def __init__(self, pid, command_line, first_seen):
        self.pid = pid
        self.command_line = command_line
        self.first_seen = first_seen
        self.last_seen = first_seen
        self.ended = None  # the first sample that no longer found it

    def is_program(self):
        """The program itself, not its watcher nor a browser it started."""
        return WATCH_MARKER not in self.command_line.split() and self.command_line.lower().split(
            " ", 1)[0].endswith("tarnlumo.exe")

    def __repr__(self):
        return "ProcessLife(%d, %r, %.3f, %r)" % (self.pid, self.command_line, self.first_seen,
                                                  self.ended)


def command_line_of(raw):
    """/proc/PID/cmdline bytes as one text, arguments joined by spaces."""
    return raw.rstrip(b"\0").replace(b"\0", b" ").decode("utf-8", "replace")


class ProcessBook:
    """Processes whose command line holds a marker text (the program folder),
    kept from samples of the process table."""

    def __init__(self, marker):
        self.marker = marker.lower()
        self.lives = {}  # pid -> ProcessLife (the newest with that pid)
        self.gone = []  # ended lives

    def sample(self, table, now):
        """table: {pid: command line} of every live process at time `now`."""
        for pid, command_line in table.items():
            if self.marker not in command_line.lower().replace("\\", "/"):
                continue
            life = self.lives.get(pid)
            if life is None or life.command_line != command_line:
                if life is not None:
                    self._end(life, now)
                life = self.lives[pid] = ProcessLife(pid, command_line, now)
            life.last_seen = now
        for pid in [p for p, life in self.lives.items() if p not in table]:
            self._end(self.lives.pop(pid), now)

    def _end(self, life, now):
        life.ended = now
        self.gone.append(life)

    def all(self):
        return sorted(self.gone + list(self.lives.values()), key=lambda life: life.first_seen)


def read_process_table(proc="/proc"):
    """{pid: command line} of the live processes (those readable)."""
    table = {}
    for name in os.listdir(proc):
        if not name.isdigit():
            continue
        try:
            with open(os.path.join(proc, name, "cmdline"), "rb") as handle:
                raw = handle.read()
        except OSError:
            continue
        if raw:
            table[int(name)] = command_line_of(raw)
    return table


def first_after(entries, event, predicate):
    """The time of the first timeline entry after `event` that matches (the
    event itself may be an entry: the load a fault follows)."""
    for entry in entries:
        if entry["at"] > event and predicate(entry):
            return entry["at"]
    return None


def log_times(lines, day_start):
    """[(wall-clock seconds, category)] of log lines "HH:MM:SS->[category] ...";
    the log has whole seconds only, so each time is the start of its second."""
    found = []
    for line in lines:
        match = LOG_LINE.match(line)
        if match:
            h, m, s, category = match.groups()
            found.append((day_start + int(h) * 3600 + int(m) * 60 + int(s), category))
    return found


def local_day_start(at):
    """Wall-clock seconds of the local midnight before `at` (the log's clock)."""
    moment = datetime.datetime.fromtimestamp(at)
    return moment.replace(hour=0, minute=0, second=0, microsecond=0).timestamp()


def reconstruct(event, old_pid, processes, timeline, log_lines):
    """{step: seconds after the event, or None when not seen}.

    old_pid: the program process the restart replaces; processes: ProcessLife
    list; timeline: the simulator's entries; log_lines: the log's raw lines."""
    steps = dict.fromkeys(name for name, _ in STEPS)
    old = [p for p in processes if p.pid == old_pid and p.is_program()]
    if old and old[-1].ended is not None:
        steps["old ended"] = old[-1].ended - event
    # The new copy may start before the event is over (the failing process
    # starts it itself), so any program process but the old one counts.
    new = [p for p in processes if p.is_program() and p.pid != old_pid and
           (p.ended is None or p.ended >= event) and p.first_seen >= event - 5]
    if new:
        steps["new started"] = new[0].first_seen - event
    day_start = local_day_start(event)
    # A log line of second s was written in [s, s + 1): the first "版本号"
    # whose second can lie after the event.
    opened = [t for t, category in log_times(log_lines, day_start)
              if category == "版本号" and t + 1 > event]
    if opened:
        steps["log opened"] = max(opened[0] - event, 0.0)
    found = {
        "server checked": lambda e: e["what"] == "request" and e["detail"] == "GET /",
        "page requested": lambda e: e["what"] == "request" and e["detail"] == "GET " + PAGE_PATH,
        "page loaded": lambda e: e["what"] == "report" and e["detail"] == "loaded",
    }
    for name, predicate in found.items():
        at = first_after(timeline, event, predicate)
        if at is not None:
            steps[name] = at - event
    # The new copy's link starts after its page loaded; a connection before
    # that is the old copy's.
    if steps["page loaded"] is not None:
        at = first_after(timeline, event + steps["page loaded"],
                         lambda e: e["what"] == "connection-opened")
        if at is not None:
            steps["link connected"] = at - event
    return steps


def format_seconds(value):
    return "-" if value is None else "%.2f" % value
