"""The back-office simulator as a test peer: started as its own process on
ports the system chooses (or given ones), driven through its control port."""

import json
import os
import queue
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BACKOFFICE = REPO / "tools" / "backoffice" / "backoffice.py"
READY_TIMEOUT_SECONDS = 20
CONTROL_TIMEOUT_SECONDS = 30
UTF8_MARKER = '"char":"utf-8"'


class PortBusy(Exception):
    """The simulator could not listen on a port it was given."""


def message_bytes(text):
    """The bytes a till expects: code page 936, or UTF-8 when the message says so."""
    if isinstance(text, bytes):
        return text
    return text.encode("utf-8" if UTF8_MARKER in text else "gbk")


class Office:
    def __init__(self, page_dir=None, web_port=0, tcp_port=0):
        self.page_dir = page_dir
        self.requested = {"web": web_port, "tcp": tcp_port}
        self.ports = {}
        self.process = None

    # ---- life ------------------------------------------------------------
    def start(self):
        command = [sys.executable, str(BACKOFFICE), "--web-port", str(self.requested["web"]),
                   "--tcp-port", str(self.requested["tcp"]), "--control-port", "0"]
        if self.page_dir:
            command += ["--page-dir", str(self.page_dir)]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        line = self._ready_line()
        if not line.startswith("backoffice ready"):
            error = self.process.stderr.read() if self.process.poll() is not None else ""
            self.stop()
            raise PortBusy("simulator did not start: %r %s" % (line, error.strip()))
        self.ports = {key: int(value) for key, value in
                      (part.split("=") for part in line.split()[2:])}
        return self

    def _ready_line(self):
        lines = queue.Queue()
        threading.Thread(target=lambda: lines.put(self.process.stdout.readline()), daemon=True).start()
        try:
            return lines.get(timeout=READY_TIMEOUT_SECONDS).strip()
        except queue.Empty:
            return ""

    def stop(self):
        """Ends the simulator (asking first, then by signal); safe to repeat."""
        if not self.process or self.process.poll() is not None:
            return
        if "control" in self.ports:
            try:
                self._call("POST", "/shutdown", timeout=5)
            except (OSError, urllib.error.URLError):
                pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.terminate()
            self.process.wait(10)

    @property
    def web_port(self):
        return self.ports["web"]

    @property
    def tcp_port(self):
        return self.ports["tcp"]

    # ---- control interface ------------------------------------------------
    def _call(self, method, path, body=None, timeout=CONTROL_TIMEOUT_SECONDS):
        url = "http://127.0.0.1:%d%s" % (self.ports["control"], path)
        request = urllib.request.Request(url, data=body, method=method)
        with urllib.request.urlopen(request, timeout=timeout) as reply:
            return json.loads(reply.read().decode("utf-8"))

    def push(self, text, flag=None, raw=False):
        query = []
        if flag is not None:
            query.append("flag=%d" % flag)
        if raw:
            query.append("raw=1")
        path = "/push" + ("?" + "&".join(query) if query else "")
        return self._call("POST", path, message_bytes(text))["sent"]

    def drop(self):
        return self._call("POST", "/drop")["dropped"]

    def tcp_stop(self):
        return self._call("POST", "/tcp/stop")

    def tcp_start(self):
        return self._call("POST", "/tcp/start")

    def web_stop(self):
        """Closes the web side while the TCP side stays up (a web server restarting)."""
        return self._call("POST", "/web/stop")

    def web_start(self):
        return self._call("POST", "/web/start")

    def received(self):
        return self._call("GET", "/received")

    def connections(self):
        return self._call("GET", "/connections")

    def reports(self, kind=None):
        records = self._call("GET", "/page-reports")
        found = [self._report_body(record) for record in records]
        return [r for r in found if r is not None and (kind is None or r.get("kind") == kind)]

    @staticmethod
    def _report_body(record):
        body = record.get("body", record) if isinstance(record, dict) else record
        if isinstance(body, str):
            try:
                return json.loads(body)
            except ValueError:
                return None
        return body

    def requests(self):
        return self._call("GET", "/requests")

    def timeline(self):
        """When each request, report, connection and message happened (wall-clock seconds)."""
        return self._call("GET", "/timeline")

    def set_config(self, **settings):
        return self._call("POST", "/config", json.dumps(settings).encode("utf-8"))

    def wait(self, what, count, timeout):
        path = "/wait?what=%s&count=%d&timeout=%g" % (what, count, timeout)
        return self._call("GET", path, timeout=timeout + CONTROL_TIMEOUT_SECONDS)["ok"]

    def wait_report(self, predicate, timeout, kind=None):
        """The first page report (of `kind`) for which predicate holds, or None."""
        deadline = time.monotonic() + timeout
        while True:
            for report in self.reports(kind):
                if predicate(report):
                    return report
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.1)


def free_port():
    """A loopback port that nothing listens on right now."""
    import socket
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def environment_ready():
    return BACKOFFICE.exists() and os.access(sys.executable, os.X_OK)
