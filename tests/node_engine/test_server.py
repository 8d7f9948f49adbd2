#!/usr/bin/env python3
"""HTTP server for the engine stand-in's tests.

Serves the files under pages/ and a few endpoints whose behaviour the tests
need: a slow answer, error statuses, an echo of the request, a generated big
page, a redirect, a page holding an iframe. Binds two ephemeral loopback ports (two origins, the same
pages) and writes them to the file named on the command line; ends on GET /quit or after a fixed lifetime, so a test that dies
never leaves it behind.
"""
import json
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse

PAGES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pages")
LIFETIME_SECONDS = 300
TYPES = {".html": "text/html; charset=utf-8", ".js": "application/javascript; charset=utf-8"}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="text/plain; charset=utf-8"):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        self.do_GET()

    def do_GET(self):
        url = urlparse(self.path)
        query = {k: v[0] for k, v in parse_qs(url.query).items()}
        if url.path == "/quit":
            self.reply(200, "bye")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        elif url.path.startswith("/status/"):
            self.reply(int(url.path[len("/status/"):]), "status page")
        elif url.path == "/slow":
            time.sleep(int(query.get("ms", "1000")) / 1000.0)
            self.reply(200, "<html><body>slow</body></html>", TYPES[".html"])
        elif url.path == "/slow.js":
            time.sleep(int(query.get("ms", "300")) / 1000.0)
            self.reply(200, "order.push(%s);" % json.dumps(query.get("name", "?")), TYPES[".js"])
        elif url.path == "/echo":
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length).decode("utf-8") if length else ""
            self.reply(200, json.dumps({"method": self.command, "body": body, "query": url.query,
                                        "test": self.headers.get("X-Test", "")},
                                       ensure_ascii=False))
        elif url.path == "/redirect":
            self.send_response(int(query.get("status", "302")))
            self.send_header("Location", query.get("to", "/"))
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif url.path == "/frame":
            src = query.get("src", "").replace("&", "&amp;").replace('"', "&quot;")
            self.reply(200, '<html><body><iframe src="%s"></iframe>'
                       "<script>var marker = 'frame parent';</script></body></html>" % src,
                       TYPES[".html"])
        elif url.path == "/big":
            lines = int(query.get("lines", "1000"))
            text = "".join("<p>line %d with some text</p>\n" % i for i in range(lines))
            self.reply(200, "<html><title>big</title><body>%s</body></html>" % text, TYPES[".html"])
        else:
            self.serve_file(url.path)

    def serve_file(self, path):
        local = os.path.normpath(os.path.join(PAGES, path.lstrip("/")))
        if not local.startswith(PAGES) or not os.path.isfile(local):
            self.reply(404, "not found")
            return
        with open(local, "rb") as f:
            data = f.read()
        self.reply(200, data, TYPES.get(os.path.splitext(local)[1], "application/octet-stream"))


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients that time out on purpose close early; that is expected


def main():
    server = Server(("127.0.0.1", 0), Handler)
    other = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write("%d %d" % (server.server_address[1], other.server_address[1]))
    os.replace(sys.argv[1] + ".tmp", sys.argv[1])
    threading.Thread(target=other.serve_forever, daemon=True).start()
    threading.Timer(LIFETIME_SECONDS, server.shutdown).start()
    server.serve_forever()
    os._exit(0)


if __name__ == "__main__":
    main()
