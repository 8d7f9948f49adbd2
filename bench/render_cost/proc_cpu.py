"""CPU time and resident memory of a set of Linux processes, read from /proc.

A process's time as /proc/<pid>/stat gives it: its own user and system time,
plus (cutime, cstime) the whole time of every child it has waited for. Summed
over the tracked processes alive at a moment, that total does not change when
a tracked child ends and its tracked parent reaps it (the child's time moves
into the parent's), so a short-lived helper forked and waited for between two
samples (a shell's `stat` or `sleep`) is counted too. A tracked process that
ends without a tracked parent to reap it keeps the time it had when last seen.
"""

import os

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
PAGE_BYTES = os.sysconf("SC_PAGE_SIZE")


class ProcStat:
    """The fields of one /proc/<pid>/stat line that the accounting needs."""

    def __init__(self, pid, name, ppid, own_ticks, child_ticks, rss_pages):
        self.pid, self.name, self.ppid = pid, name, ppid
        self.own_ticks, self.child_ticks, self.rss_pages = own_ticks, child_ticks, rss_pages

    @property
    def total_ticks(self):
        return self.own_ticks + self.child_ticks


def parse_stat(text):
    """A ProcStat from the text of /proc/<pid>/stat. The name sits in
    parentheses and may itself hold spaces and parentheses: the fields after
    it start behind the last ')'."""
    open_at, close_at = text.index("("), text.rindex(")")
    pid = int(text[:open_at])
    name = text[open_at + 1:close_at]
    fields = text[close_at + 2:].split()
    # fields[0] is field 3 (state): utime is field 14, rss field 24.
    ppid = int(fields[1])
    utime, stime, cutime, cstime = (int(fields[i]) for i in (11, 12, 13, 14))
    rss = int(fields[21])
    return ProcStat(pid, name, ppid, utime + stime, cutime + cstime, rss)


def read_stat(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return parse_stat(f.read())
    except (OSError, ValueError):
        return None


def read_environ(pid):
    return read_nul_separated(pid, "environ")


def read_cmdline(pid):
    return read_nul_separated(pid, "cmdline")


def read_nul_separated(pid, name):
    """The NUL-separated items of /proc/<pid>/<name>; [] when unreadable."""
    try:
        with open("/proc/%d/%s" % (pid, name), "rb") as f:
            return f.read().split(b"\0")
    except OSError:
        return []


def all_pids():
    return [int(name) for name in os.listdir("/proc") if name.isdigit()]


def closure(roots, parent_of):
    """Every pid in parent_of that is a root or descends from one."""
    tracked = set(roots)
    changed = True
    while changed:
        changed = False
        for pid, ppid in parent_of.items():
            if pid not in tracked and ppid in tracked:
                tracked.add(pid)
                changed = True
    return tracked


class CpuAccount:
    """Accumulates the CPU time of the processes a selector picks, between
    start() and each sample(). The selector gets {pid: ProcStat} of every
    process and returns the pids to track (their descendants are added)."""

    def __init__(self, selector):
        self.selector = selector
        self.first = {}     # pid -> total ticks when first seen in the window
        self.last = {}      # pid -> ProcStat when last seen
        self.gone_ticks = 0  # time of tracked processes that ended unreaped by a tracked parent
        self.peak_rss_pages = 0

    def _snapshot(self):
        stats = {}
        for pid in all_pids():
            stat = read_stat(pid)
            if stat:
                stats[pid] = stat
        roots = self.selector(stats)
        tracked = closure(roots, {pid: s.ppid for pid, s in stats.items()})
        return {pid: stats[pid] for pid in tracked if pid in stats}

    def start(self):
        self.last = self._snapshot()
        self.first = {pid: s.total_ticks for pid, s in self.last.items()}
        self.gone_ticks = 0
        self.peak_rss_pages = sum(s.rss_pages for s in self.last.values())
        return self

    def sample(self):
        now = self._snapshot()
        self.gone_ticks += ticks_of_unreaped(self.last, now)
        for pid, stat in now.items():
            self.first.setdefault(pid, 0)  # born in the window: all its time counts
        self.last = now
        self.peak_rss_pages = max(self.peak_rss_pages, sum(s.rss_pages for s in now.values()))
        return self

    def ticks(self):
        return window_ticks(self.first, self.last, self.gone_ticks)

    def rss_bytes(self):
        return sum(s.rss_pages for s in self.last.values()) * PAGE_BYTES

    def names(self):
        return sorted({s.name for s in self.last.values()})

    def by_name(self):
        """{process name: ticks in the window} of the processes alive now."""
        out = {}
        for pid, stat in self.last.items():
            out[stat.name] = out.get(stat.name, 0) + stat.total_ticks - self.first.get(pid, 0)
        return out


def ticks_of_unreaped(before, now):
    """Time taken along by the processes of `before` that are gone in `now`
    and whose parent is not a tracked process still alive (nobody tracked
    reaped them): what they had used in the window when last seen."""
    gone = 0
    for pid, stat in before.items():
        if pid not in now and stat.ppid not in now:
            gone += stat.total_ticks
    return gone


def window_ticks(first, last, gone_ticks):
    """Ticks used in the window: the growth of the alive processes' totals
    since they were first seen, plus what unreaped ones took along. A gone
    process's first-seen total is subtracted where its time ended up."""
    alive = sum(stat.total_ticks - first.get(pid, 0) for pid, stat in last.items())
    gone_first = sum(ticks for pid, ticks in first.items() if pid not in last)
    return alive + gone_ticks - gone_first


def core_share(ticks, seconds):
    """CPU share of one core, in per cent."""
    return 100.0 * ticks / CLOCK_TICKS / seconds if seconds > 0 else 0.0
