"""The render benchmark's own arithmetic: /proc stat parsing, the CPU
accounting across processes that come and go, and the percentiles."""

import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import proc_cpu  # noqa: E402
from figures import percentile, ratio, table, verdict  # noqa: E402
from proc_cpu import ProcStat, closure, ticks_of_unreaped, window_ticks  # noqa: E402


def stat_line(pid, name, ppid, utime, stime, cutime, cstime, rss):
    fields = ["S", str(ppid)] + ["0"] * 9 + [str(utime), str(stime), str(cutime), str(cstime)]
    fields += ["20", "0", "1", "0", "0", "0", str(rss)] + ["0"] * 20
    return "%d (%s) %s" % (pid, name, " ".join(fields))


def test_parse_stat_reads_times_parent_and_rss_behind_a_tricky_name():
    stat = proc_cpu.parse_stat(stat_line(42, "we (ird) name", 7, 11, 5, 100, 3, 999))
    assert (stat.pid, stat.name, stat.ppid) == (42, "we (ird) name", 7)
    assert (stat.own_ticks, stat.child_ticks, stat.total_ticks) == (16, 103, 119)
    assert stat.rss_pages == 999


def test_parse_stat_of_this_process_matches_os_times():
    busy_until = time.process_time() + 0.2
    while time.process_time() < busy_until:
        pass
    stat = proc_cpu.read_stat(os.getpid())
    assert stat.ppid == os.getppid()
    times = os.times()
    own = (times.user + times.system) * proc_cpu.CLOCK_TICKS
    assert abs(stat.own_ticks - own) <= 3


def test_closure_takes_descendants_only():
    parents = {1: 0, 10: 1, 11: 10, 12: 11, 20: 1, 21: 20}
    assert closure({10}, parents) == {10, 11, 12}
    assert closure({21, 11}, parents) == {21, 11, 12}


def s(pid, ppid, own, child=0):
    return ProcStat(pid, "p%d" % pid, ppid, own, child, 1)


def test_a_reaped_child_moves_its_time_to_the_parent_and_counts_once():
    first = {1: 100, 2: 40}                      # parent 1, child 2 at window start
    before = {1: s(1, 0, 100), 2: s(2, 1, 40)}
    # The child used 10 more ticks, ended and was reaped: its 50 are in the
    # parent's child time; the parent used 5 itself.
    now = {1: s(1, 0, 105, 50)}
    gone = ticks_of_unreaped(before, now)
    assert gone == 0
    assert window_ticks(first, now, gone) == 15


def test_an_unreaped_process_keeps_what_it_used_until_last_seen():
    first = {5: 30}
    before = {5: s(5, 1, 38)}                   # its parent (1) is not tracked
    now = {}
    gone = ticks_of_unreaped(before, now)
    assert window_ticks(first, now, gone) == 8


def test_a_process_born_in_the_window_counts_whole():
    first = {1: 10, 9: 0}
    now = {1: s(1, 0, 12), 9: s(9, 1, 7)}
    assert window_ticks(first, now, 0) == 9


def test_account_counts_a_shell_loops_short_lived_children():
    # A shell forks four busy children one after the other, waits for each,
    # then idles: the children never live across two samples, yet their time
    # must be counted (it is in the shell's child time once they are reaped).
    busy = "i=0; while [ $i -lt 60000 ]; do i=$((i+1)); done"
    loop = subprocess.Popen(["/bin/sh", "-c", "sleep 0.3; for n in 1 2 3 4; do /bin/sh -c '%s';"
                             " done; echo done; sleep 5" % busy], stdout=subprocess.PIPE, text=True)
    try:
        account = proc_cpu.CpuAccount(lambda stats: {loop.pid}).start()
        assert loop.stdout.readline().strip() == "done"
        account.sample()
        reaped = proc_cpu.read_stat(loop.pid).child_ticks
        assert reaped >= 5, "the busy children took too little time to measure"
        assert account.ticks() >= reaped
        assert account.ticks() <= reaped + 5
    finally:
        loop.kill()
        loop.wait()


def test_percentiles_are_nearest_rank():
    samples = list(range(1, 201))               # 1..200
    assert percentile(samples, 50) == 100
    assert percentile(samples, 95) == 190
    assert percentile([7], 95) == 7
    assert percentile([], 50) is None
    assert percentile([5, 1, 3], 50) == 3


def test_ratio_and_verdict():
    assert ratio(3.0, 2.0) == 1.5
    assert ratio(1.0, 0) is None and ratio(None, 1) is None
    assert verdict(1.5, 1.5) == "met" and verdict(1.6, 1.5) == "NOT met" and verdict(None, 1) == "-"


def test_table_aligns_columns():
    text = table([["a", "1.00", "2"], ["longer", "10.00", "3"]], ["what", "x", "y"])
    lines = text.splitlines()
    assert len(lines) == 4 and len({len(l) for l in lines}) == 1


def test_png_pixel_reads_every_row_filter():
    import struct as st
    import zlib as z
    from png_pixel import pixel
    width, height = 5, 5
    rows = [[(x * 40 + y, y * 50, (x + y) * 20, 255 - y) for x in range(width)] for y in range(height)]
    raw = b""
    previous = bytes(width * 4)
    for y, row in enumerate(rows):
        line = bytes(v for p in row for v in p)
        kind = y % 5  # None, Sub, Up, Average, Paeth
        filtered = bytearray(len(line))
        for i in range(len(line)):
            left = line[i - 4] if i >= 4 else 0
            up, corner = previous[i], previous[i - 4] if i >= 4 else 0
            guess = [0, left, up, (left + up) >> 1, _paeth_for_test(left, up, corner)][kind]
            filtered[i] = (line[i] - guess) & 0xFF
        raw += bytes([kind]) + bytes(filtered)
        previous = line

    def chunk(kind, body):
        return st.pack(">I", len(body)) + kind + body + st.pack(">I", z.crc32(kind + body))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", st.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", z.compress(raw)) + chunk(b"IEND", b""))
    for y in range(height):
        for x in range(width):
            assert pixel(png, x, y) == rows[y][x], (x, y)


def _paeth_for_test(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)
