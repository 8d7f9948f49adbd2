"""What headless Chromium costs by itself, without Wine and without our
engine: the browser the engine starts (same switches), driven over DevTools
the way the engine drives it (view size, transparent background, a PNG
screencast acknowledged at once), the page's changes made with
Runtime.evaluate. Its CPU and its push-to-frame-arrival times are the floor
under the program's figures: no engine on top of this browser can beat them."""

import base64
import os
import queue
import shutil
import subprocess
import tempfile
import time
import uuid

import kiosk
import png_pixel
import proc_cpu
from displays import TAG_VARIABLE, tagged_or
from scenarios import PROBE_X, PROBE_Y, START_COLOUR, probe_colour

HEADLESS_SWITCHES = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--disable-quic", "--disable-auto-reload",
                     "--no-default-browser-check", "--mute-audio",
                     "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0"]
PORT_TIMEOUT = 30


class HeadlessFloor:
    def __init__(self, browser, env, page_dir):
        self.server = kiosk.FeedServer(page_dir)
        self.browser, self.env = browser, env
        self.tag = uuid.uuid4().hex
        self.account = proc_cpu.CpuAccount(tagged_or(lambda stat, environ: False)(self.tag))
        self.profile = tempfile.mkdtemp(prefix="lumo-floor-")
        self.frames = queue.Queue()
        self.process = self.client = self.started = None

    def start(self):
        self.server.start()
        env = dict(self.env, **{TAG_VARIABLE: self.tag})
        self.started = time.monotonic()
        self.process = subprocess.Popen([self.browser] + HEADLESS_SWITCHES +
                                        ["--user-data-dir=" + self.profile, "about:blank"],
                                        env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        import devtools_client
        self.client = devtools_client.DevToolsClient(self._port())
        self.client.on_event = self._on_event
        for method in ("Page.enable", "Runtime.enable"):
            self.client.call(method)
        self.client.call("Emulation.setDeviceMetricsOverride",
                         {"width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
        self.client.call("Emulation.setDefaultBackgroundColorOverride",
                         {"color": {"r": 0, "g": 0, "b": 0, "a": 0}})
        self.client.call("Page.startScreencast", {"format": "png", "everyNthFrame": 1})
        self.client.call("Page.navigate", {"url": self.server.url.split("?")[0]})
        return self

    def _port(self):
        deadline = time.monotonic() + PORT_TIMEOUT
        path = os.path.join(self.profile, "DevToolsActivePort")
        while time.monotonic() < deadline:
            try:
                with open(path) as f:
                    return int(f.readline())
            except (OSError, ValueError):
                time.sleep(0.02)
        raise RuntimeError("headless browser opened no debugging port")

    def _on_event(self, method, params):
        if method == "Page.screencastFrame":
            arrived = time.monotonic()
            self.client.post("Page.screencastFrameAck", {"sessionId": params["sessionId"]})
            self.frames.put((arrived, params["data"]))

    def _wait_colour(self, colour, timeout, tolerance=0):
        deadline = time.monotonic() + timeout
        while True:
            try:
                arrived, data = self.frames.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                return None
            rgba = png_pixel.pixel(base64.b64decode(data), PROBE_X, PROBE_Y)
            if all(abs(a - b) <= tolerance for a, b in zip(rgba, colour)):
                return arrived

    def wait_first_frame(self, timeout):
        seen = self._wait_colour(START_COLOUR, timeout, 2)
        return None if seen is None else seen - self.started

    def wait_shown(self, seq, timeout):
        return self._wait_colour(probe_colour(seq), timeout)

    def ready(self):
        pass

    def drain(self):
        while not self.frames.empty():
            self.frames.get_nowait()

    def push(self, seq):
        self.client.post("Runtime.evaluate", {"expression": "clientJS2(%s)" % (
            '{"c":"bench","a":"set","s":%d}' % seq)})

    def stop(self):
        if self.client:
            self.client.close()
        kiosk.stop_process_group(self.process)
        self.server.stop()
        shutil.rmtree(self.profile, ignore_errors=True)
