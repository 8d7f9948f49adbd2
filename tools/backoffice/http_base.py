"""A threaded HTTP server that can be closed with no thread left behind, and
the request-handler helpers shared by the web and control services."""

import json
import socket
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

# An idle or half-sent request gives up after this long, so a silent client
# cannot hold a handler thread.
REQUEST_TIMEOUT_SECONDS = 30.0
# Large enough for a raw push of a maximum-size pack and then some.
MAX_BODY_BYTES = 16 * 1024 * 1024
# How often a serving loop looks for a stop request; bounds shutdown latency.
SHUTDOWN_POLL_SECONDS = 0.05
# How long a closing server lets requests in progress finish on their own.
CLOSE_GRACE_SECONDS = 0.5


class ClosableHttpServer(ThreadingHTTPServer):
    """Handler threads are joined on close. Requests still open after a short
    grace (a waiter finishing its reply) have their sockets shut down, so a
    handler blocked on a silent client returns at once."""

    daemon_threads = False
    block_on_close = True
    allow_reuse_address = True

    def __init__(self, address, handler, context):
        self.context = context
        self._open_changed = threading.Condition()
        self._open = set()
        super().__init__(address, handler)

    def process_request(self, request, client_address):
        with self._open_changed:
            self._open.add(request)
        super().process_request(request, client_address)

    def shutdown_request(self, request):
        with self._open_changed:
            self._open.discard(request)
            self._open_changed.notify_all()
        super().shutdown_request(request)

    def server_close(self):
        with self._open_changed:
            self._open_changed.wait_for(lambda: not self._open, CLOSE_GRACE_SECONDS)
            still_open = list(self._open)
        for request in still_open:
            try:
                request.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        super().server_close()


class HttpServiceThread:
    """Runs one ClosableHttpServer in its own thread."""

    def __init__(self, name, host, port, handler, context):
        self.server = ClosableHttpServer((host, port), handler, context)
        self.port = self.server.server_address[1]
        self._thread = threading.Thread(target=self.server.serve_forever, args=(SHUTDOWN_POLL_SECONDS,), name=name)

    def start(self):
        self._thread.start()

    def stop_serving(self):
        """Takes no new request; those in progress go on until close()."""
        self.server.shutdown()
        self._thread.join()

    def close(self):
        self.server.server_close()


class BaseHandler(BaseHTTPRequestHandler):
    timeout = REQUEST_TIMEOUT_SECONDS
    server_version = "backoffice/1"

    def log_message(self, format, *args):
        pass  # the records are the log; stderr stays for real faults

    @property
    def context(self):
        return self.server.context

    def parse_target(self):
        parts = urlsplit(self.path)
        query = {k: v[-1] for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
        return parts.path, query

    def read_body(self):
        """The request body, or None after an error reply for a bad length."""
        text = self.headers.get("Content-Length")
        if text is None:
            return b""
        try:
            length = int(text)
        except ValueError:
            length = -1
        if length < 0:
            self.send_text(400, "bad Content-Length\n")
            return None
        if length > MAX_BODY_BYTES:
            self.send_text(413, "body too large\n")
            return None
        return self.rfile.read(length)

    def send_bytes(self, status, body, content_type, extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_text(self, status, text, extra_headers=()):
        self.send_bytes(status, text.encode("utf-8"), "text/plain; charset=utf-8", extra_headers)

    def send_json(self, status, value):
        body = json.dumps(value, ensure_ascii=False).encode("utf-8")
        self.send_bytes(status, body, "application/json; charset=utf-8")
