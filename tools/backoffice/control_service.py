"""The control interface: tests and page developers drive the simulator and
read its records through small JSON requests."""

import json

from http_base import BaseHandler
from pack_framing import FramingError
from settings import SettingsError

DEFAULT_WAIT_SECONDS = 10.0


def parse_int(text, default=None):
    if text is None or text == "":
        return default
    try:
        return int(text, 10)
    except ValueError:
        return None


class ControlHandler(BaseHandler):
    def do_GET(self):
        path, query = self.parse_target()
        readers = {
            "/received": lambda: self.context.recorder.received(),
            "/connections": self._connections,
            "/requests": lambda: self.context.recorder.requests(),
            "/page-reports": lambda: self.context.recorder.reports(),
            "/timeline": lambda: self.context.recorder.timeline(),
            "/config": lambda: self.context.settings.snapshot(),
        }
        if path in readers:
            self.send_json(200, readers[path]())
        elif path == "/wait":
            self._wait(query)
        else:
            self.send_json(404, {"error": "unknown path %s" % path})

    def do_POST(self):
        body = self.read_body()
        if body is None:
            return
        path, query = self.parse_target()
        actions = {
            "/push": self._push,
            "/drop": lambda b, q: {"dropped": self.context.tcp.drop()},
            "/tcp/stop": lambda b, q: {"stopped": self.context.tcp.stop()},
            "/tcp/start": self._tcp_start,
            "/web/stop": lambda b, q: {"stopped": self.context.web_stop()},
            "/web/start": lambda b, q: {"port": self.context.web_start()},
            "/reset": self._reset,
            "/config": self._config,
            "/shutdown": lambda b, q: {"shutdown": True},
        }
        action = actions.get(path)
        if action is None:
            self.send_json(404, {"error": "unknown path %s" % path})
            return
        status, reply = self._run(action, body, query)
        self.send_json(status, reply)
        if path == "/shutdown" and status == 200:
            self.wfile.flush()
            self.context.request_shutdown()

    def _run(self, action, body, query):
        try:
            return 200, action(body, query)
        except (FramingError, SettingsError, ValueError) as error:
            return 400, {"error": str(error)}
        except OSError as error:
            return 500, {"error": str(error)}

    def _connections(self):
        reply = self.context.recorder.connections()
        reply["ids"] = self.context.tcp.connection_ids()
        reply["listening"] = self.context.tcp.is_listening()
        return reply

    def _push(self, body, query):
        flag = parse_int(query.get("flag"), 0)
        conn_id = parse_int(query.get("conn"))
        if flag is None or (query.get("conn") and conn_id is None):
            raise ValueError("flag and conn must be decimal integers")
        raw = query.get("raw") in ("1", "true")
        return {"sent": self.context.tcp.push(body, flag=flag, raw=raw, conn_id=conn_id)}

    def _tcp_start(self, body, query):
        return {"port": self.context.tcp.start()}

    def _reset(self, body, query):
        self.context.recorder.reset()
        if query.get("config") in ("1", "true"):
            self.context.settings.reset()
        return {"reset": True}

    def _config(self, body, query):
        try:
            changes = json.loads(body.decode("utf-8")) if body else {}
        except ValueError:
            raise SettingsError("config body is not JSON")
        return self.context.settings.update(changes)

    def _wait(self, query):
        what = query.get("what", "")
        count = parse_int(query.get("count"), 1)
        try:
            timeout = float(query.get("timeout", DEFAULT_WAIT_SECONDS))
        except ValueError:
            timeout = None
        if self.context.recorder.count(what) is None or count is None or timeout is None:
            self.send_json(400, {"error": "wait needs what=connections|accepted|received|page-reports|requests, "
                                          "a decimal count and a timeout in seconds"})
            return
        ok, current = self.context.recorder.wait_for(what, count, timeout)
        self.send_json(200, {"ok": ok, "what": what, "count": current, "wanted": count})
