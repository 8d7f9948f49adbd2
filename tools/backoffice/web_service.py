"""The shop server's web side as the till sees it: the server check, the TCP
port discovery, the customer-display page and the page's report sink."""

import json
import os
from urllib.parse import unquote

from http_base import BaseHandler

PAGE_PREFIX = "/client/app/lumo/"
PORT_DISCOVERY_PATH = "/api100.php"
REPORT_PATH = "/page/report"
# Answers with a redirect to the URL in "to": a back office's own URL that
# leads elsewhere, as a misconfigured or compromised server's would.
REDIRECT_PATH = "/goto"
REFERENCE_PAGE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page")

CONTENT_TYPES = {
    ".html": "text/html; charset=utf-8",
    ".htm": "text/html; charset=utf-8",
    ".js": "application/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".json": "application/json; charset=utf-8",
    ".txt": "text/plain; charset=utf-8",
    ".png": "image/png",
    ".jpg": "image/jpeg",
    ".gif": "image/gif",
    ".svg": "image/svg+xml",
    ".ico": "image/x-icon",
}
# Pages loaded from another origin may report here too.
CORS_HEADERS = (
    ("Access-Control-Allow-Origin", "*"),
    ("Access-Control-Allow-Methods", "POST, GET, OPTIONS"),
    ("Access-Control-Allow-Headers", "Content-Type"),
)


def resolve_page_file(page_dir, relative):
    """Maps the part of a URL path after the page prefix to a file inside
    page_dir; None for anything that would leave it or does not exist."""
    root = os.path.realpath(page_dir)
    parts = [p for p in relative.split("/") if p not in ("", ".")]
    if any(p == ".." or "\\" in p or "\0" in p for p in parts):
        return None
    candidate = os.path.realpath(os.path.join(root, *parts))
    if candidate != root and not candidate.startswith(root + os.sep):
        return None
    if os.path.isdir(candidate):
        candidate = os.path.join(candidate, "index.html")
    return candidate if os.path.isfile(candidate) else None


class WebHandler(BaseHandler):
    def do_GET(self):
        path, query = self.parse_target()
        self._record(b"")
        if path == "/":
            status = self.context.settings.get("root_status")
            self.send_text(status, "ok")
        elif path == PORT_DISCOVERY_PATH:
            self._answer_port(query)
        elif path == REDIRECT_PATH:
            self.send_text(302, "moved\n", [("Location", query.get("to", "/"))])
        elif path == PAGE_PREFIX.rstrip("/"):
            self.send_text(301, "moved\n", [("Location", PAGE_PREFIX)])
        elif path.startswith(PAGE_PREFIX):
            self._serve_page_file(unquote(path[len(PAGE_PREFIX):]))
        else:
            self.send_text(404, "not found\n")

    do_HEAD = do_GET

    def do_OPTIONS(self):
        self._record(b"")
        self.send_text(204 if self.parse_target()[0] == REPORT_PATH else 404, "", CORS_HEADERS)

    def do_POST(self):
        body = self.read_body()
        if body is None:
            return
        self._record(body)
        if self.parse_target()[0] != REPORT_PATH:
            self.send_text(404, "not found\n")
            return
        try:
            report = json.loads(body.decode("utf-8"))
        except ValueError:
            self.send_text(400, "report is not JSON\n", CORS_HEADERS)
            return
        self.context.recorder.add_report(report)
        self.send_text(200, "recorded\n", CORS_HEADERS)

    def _record(self, body):
        headers = {name: value for name, value in self.headers.items()}
        self.context.recorder.add_request("web", self.command, self.path, headers, body)

    def _answer_port(self, query):
        if query.get("fun") != "port" or query.get("name") != "tcp":
            self.send_text(404, "unknown function\n")
            return
        answer = self.context.settings.get("tcp_port_answer")
        if answer is None:
            answer = str(self.context.tcp.port)
        self.send_text(200, answer)

    def _serve_page_file(self, relative):
        path = resolve_page_file(self.context.page_dir, relative)
        if path is None:
            self.send_text(404, "not found\n")
            return
        with open(path, "rb") as handle:
            body = handle.read()
        content_type = CONTENT_TYPES.get(os.path.splitext(path)[1].lower(), "application/octet-stream")
        self.send_bytes(200, body, content_type, [("Cache-Control", "no-store")])
