"""One measured scenario: a display (the program under Wine, or the kiosk
browser) showing one page kind, from its start to its end. It gives the
start-up time to the first frame showing the page, the CPU share and
resident memory of every process it started over a fixed window, and for the
pushed page the time from each push to the first screen frame showing it."""

import os
import random
import shutil
import subprocess
import time
from pathlib import Path

import proc_cpu
from figures import percentile

HERE = Path(__file__).resolve().parent
PAGE_SOURCE = HERE / "pages" / "index.html"
# Where the probe square sits on the screen (page and window start at 0, 0).
PROBE_X, PROBE_Y = 20, 20
START_COLOUR = (0x00, 0xA0, 0xE0)
START_TIMEOUT = 60
FRAME_TIMEOUT = 3.0
SAMPLE_SECONDS = 0.5
# After the first frame the page still loads its fonts and the till logs in.
SETTLE_SECONDS = 4.0
# The pushed page's CPU window gets this many pushes a second, about a
# cashier scanning steadily.
PUSHES_PER_SECOND = 5
# Pushes measured one at a time get a pause of this range between them.
PUSH_GAP_SECONDS = (0.03, 0.09)


def make_page_dir(root, kind):
    folder = Path(root) / kind
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    shutil.copy2(PAGE_SOURCE, folder / "index.html")
    (folder / "kind.js").write_text('window.BENCH_KIND = "%s";\n' % kind, encoding="utf-8")
    return folder


def probe_colour(seq):
    """The probe square's colour after push `seq` (the page's probeColour)."""
    return 16 + seq % 224, 32 + (seq // 224) % 192, 200


def close_to(expected, tolerance=2):
    return lambda rgb: all(abs(a - b) <= tolerance for a, b in zip(rgb, expected))


class Result:
    def __init__(self, name):
        self.name = name
        self.startup = None      # seconds from start to the first frame showing the page
        self.cpu = None          # per cent of one core
        self.rss_mb = None
        self.latencies_ms = []
        self.missed = 0          # pushes whose frame did not come within FRAME_TIMEOUT
        self.by_name = {}        # process name -> per cent of one core
        self.push_rate = None
        self.x_cpu = None        # the X server's share over the same window

    def median(self):
        return percentile(self.latencies_ms, 50)

    def p95(self):
        return percentile(self.latencies_ms, 95)


def measure_cpu(account, seconds, during=None, x_server=None):
    """CPU per cent and RSS of the account's processes over `seconds`, their
    shares by process name, and the X server's share over the same window;
    `during(t)` runs each time around (t: seconds into the window)."""
    accounts = [a for a in (account, x_server) if a is not None]
    for a in accounts:
        a.start()
    began = time.monotonic()
    next_sample = began + SAMPLE_SECONDS
    while True:
        now = time.monotonic()
        if now - began >= seconds:
            break
        if during:
            during(now - began)
        if now >= next_sample:
            for a in accounts:
                a.sample()
            next_sample += SAMPLE_SECONDS
        time.sleep(0.01)
    for a in accounts:
        a.sample()
    elapsed = time.monotonic() - began
    share = proc_cpu.core_share(account.ticks(), elapsed)
    names = {n: proc_cpu.core_share(t, elapsed) for n, t in account.by_name().items()}
    x_share = proc_cpu.core_share(x_server.ticks(), elapsed) if x_server else None
    return share, account.peak_rss_pages * proc_cpu.PAGE_BYTES / 1e6, names, x_share


class Pacer:
    """Calls push(seq) at a steady rate inside a CPU window."""

    def __init__(self, push, rate, first_seq):
        self.push, self.rate, self.seq, self.sent = push, rate, first_seq, 0

    def __call__(self, t):
        while self.sent < t * self.rate:
            self.push(self.seq)
            self.seq += 1
            self.sent += 1


def measure_latency(probe, display, count, first_seq):
    """Push-to-frame times (ms) of `count` pushes made one at a time. The
    frame is seen on the screen, or, for a display that has no screen of its
    own, where it says (wait_shown)."""
    latencies, missed = [], 0
    own_wait = getattr(display, "wait_shown", None)
    for seq in range(first_seq, first_seq + count):
        if hasattr(display, "drain"):
            display.drain()
        pushed = time.monotonic()
        display.push(seq)
        if own_wait:
            seen = own_wait(seq, FRAME_TIMEOUT)
        else:
            seen = probe.wait_for(PROBE_X, PROBE_Y, close_to(probe_colour(seq), 0), FRAME_TIMEOUT)
        if seen is None:
            missed += 1
        else:
            latencies.append((seen - pushed) * 1000.0)
        time.sleep(random.uniform(*PUSH_GAP_SECONDS))
    return latencies, missed


def wait_first_frame(probe, display):
    if hasattr(display, "wait_first_frame"):
        return display.wait_first_frame(START_TIMEOUT)
    seen = probe.wait_for(PROBE_X, PROBE_Y, close_to(START_COLOUR), START_TIMEOUT, poll=0.005)
    return None if seen is None else seen - display.started


def push_message(seq):
    return {"c": "bench", "a": "set", "s": seq}


def run_display(result, display, probe, kind, args, watch_startup=True, x_server=None):
    """Drives one started display through start-up, the CPU window and, for
    the pushed page, the latency run. `display` has started, account,
    push(seq) and ready()."""
    if watch_startup:
        result.startup = wait_first_frame(probe, display)
        if result.startup is None:
            raise RuntimeError("%s: the page never showed" % result.name)
    display.ready()
    time.sleep(SETTLE_SECONDS)
    pacer = None
    if kind == "push":
        pacer = Pacer(display.push, PUSHES_PER_SECOND, 100000)
        result.push_rate = PUSHES_PER_SECOND
    result.cpu, result.rss_mb, result.by_name, result.x_cpu = measure_cpu(
        display.account, args.seconds, pacer, x_server)
    if kind == "push" and args.pushes > 0:
        # Warm-up pushes first: the first ones pay for fonts and code paths.
        measure_latency(probe, display, 10, 0)
        result.latencies_ms, result.missed = measure_latency(probe, display, args.pushes, 10)
    return result
