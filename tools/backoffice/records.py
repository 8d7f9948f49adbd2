"""What the simulator saw, shared by its services and read through control.

One lock guards every record; one condition wakes the waiters of /wait
whenever a record grows, and again when the simulator closes so that no
waiter outlives it.

Beside the records, a timeline notes when each thing happened (wall-clock
seconds, so a tool can set it against its own clock and the till's log):
every web request, page report, TCP connection opened or closed and message
received. The records themselves stay as they were, without times.
"""

import threading
import time

# Longest a /wait request may block, so a mistyped time-out cannot pin a thread.
MAX_WAIT_SECONDS = 600.0
# Text of the till's messages is code page 936 (GB18030 is its superset).
TILL_TEXT_ENCODING = "gb18030"


def describe_body(body):
    return {"text": body.decode(TILL_TEXT_ENCODING, errors="replace"), "hex": body.hex(), "length": len(body)}


class Recorder:
    def __init__(self, clock=time.monotonic, wall_clock=time.time):
        self._clock = clock
        self._wall_clock = wall_clock
        self._timeline = []
        self._cond = threading.Condition()
        self._closed = False
        self._received = []
        self._requests = []
        self._reports = []
        self._errors = []
        self._live_connections = 0
        self._accepted = 0

    # --- writers -----------------------------------------------------------
    def add_received(self, conn_id, flag, body):
        entry = {"conn": conn_id, "flag": flag}
        entry.update(describe_body(body))
        self._append(self._received, entry, ("received", "conn %d" % conn_id))

    def add_request(self, service, method, path, headers, body):
        entry = {"service": service, "method": method, "path": path, "headers": headers}
        entry["body"] = body.decode("utf-8", errors="replace")
        self._append(self._requests, entry, ("request", "%s %s" % (method, path)))

    def add_report(self, report):
        kind = report.get("kind") if isinstance(report, dict) else None
        self._append(self._reports, report, ("report", str(kind)))

    def add_connection_error(self, conn_id, reason):
        self._append(self._errors, {"conn": conn_id, "reason": reason})

    def connection_opened(self):
        with self._cond:
            self._live_connections += 1
            self._accepted += 1
            self._note("connection-opened", "")
            self._cond.notify_all()

    def connection_closed(self):
        with self._cond:
            self._live_connections -= 1
            self._note("connection-closed", "")
            self._cond.notify_all()

    def reset(self):
        """Forgets what was seen; live connections stay and stay counted."""
        with self._cond:
            self._received.clear()
            self._requests.clear()
            self._reports.clear()
            self._errors.clear()
            self._timeline.clear()
            self._accepted = 0
            self._cond.notify_all()

    def close(self):
        with self._cond:
            self._closed = True
            self._cond.notify_all()

    # --- readers -----------------------------------------------------------
    def received(self):
        return self._snapshot(self._received)

    def requests(self):
        return self._snapshot(self._requests)

    def reports(self):
        return self._snapshot(self._reports)

    def timeline(self):
        """[{"at": seconds, "what": ..., "detail": ...}] in the order they happened."""
        return self._snapshot(self._timeline)

    def connections(self):
        with self._cond:
            return {
                "count": self._live_connections,
                "total": self._accepted,
                "errors": list(self._errors),
            }

    def count(self, what):
        """Current size of a waitable record, or None for an unknown name."""
        counters = {
            "connections": lambda: self._live_connections,
            "accepted": lambda: self._accepted,
            "received": lambda: len(self._received),
            "page-reports": lambda: len(self._reports),
            "requests": lambda: len(self._requests),
        }
        counter = counters.get(what)
        if counter is None:
            return None
        with self._cond:
            return counter()

    def wait_for(self, what, count, timeout):
        """Blocks until the record `what` reaches `count`; returns (ok, current)."""
        timeout = max(0.0, min(float(timeout), MAX_WAIT_SECONDS))
        deadline = self._clock() + timeout
        with self._cond:
            while True:
                current = self.count(what)
                if current >= count:
                    return True, current
                left = deadline - self._clock()
                if left <= 0 or self._closed:
                    return False, current
                self._cond.wait(left)

    # --- helpers -----------------------------------------------------------
    def _append(self, records, entry, note=None):
        with self._cond:
            records.append(entry)
            if note:
                self._note(*note)
            self._cond.notify_all()

    def _note(self, what, detail):
        """Called with the lock held."""
        self._timeline.append({"at": self._wall_clock(), "what": what, "detail": detail})

    def _snapshot(self, records):
        with self._cond:
            return list(records)
