"""Pages for the browser-engine tests, served on a free loopback port.

Usage: page_server.py PORT_FILE. Writes "PORT OTHER_PORT" to PORT_FILE once
listening (the same pages on a second loopback port: another origin) and
ends when the test removes that file (or after an hour, should the test have
been killed).
"""
import http.server
import os
import socketserver
import sys
import threading
import time

PAGES = {
    "/band.html": """<!DOCTYPE html><html><head><style>
body { margin: 0; }
#band { background: #00a0e0; height: 40px; }
#rest { height: 80px; }
</style></head><body><div id="band" onclick="document.title='clicked'"></div><div id="rest">x</div>
</body></html>""",
    # Line numbers matter: the warning is on line 3, the error on line 4 and
    # the uncaught exception on line 6.
    "/console.html": """<!DOCTYPE html><html><body>
<script>
console.warn('warned', 7);
console.error('boom');
setTimeout(function () {
  missingFunction();
}, 0);
</script></body></html>""",
    "/calls.html": """<!DOCTYPE html><html><body><script>
setTimeout(function () { document.title = nativeEcho('from page'); }, 0);
</script></body></html>""",
    # The frame is put on the other origin by the test (?other=PORT).
    "/frames.html": """<!DOCTYPE html><html><body><script>
var other = location.search.split('other=')[1];
var frame = document.createElement('iframe');
frame.src = 'http://127.0.0.1:' + other + '/child.html';
frame.onload = function () {
  setTimeout(function () { document.title = nativeWhere('main-after'); }, 300);
};
document.body.appendChild(frame);
</script></body></html>""",
    "/child.html": """<!DOCTYPE html><html><body><script>
nativeWhere('child:' + typeof __lumoNativeBinding + ':' + typeof __lumoNativeCall);
</script></body></html>""",
    "/nav.html": """<!DOCTYPE html><html><body>
<a id="link" href="/nav.html?link">link</a>
<a id="blank" href="/nav.html?blank" target="_blank">blank</a>
<form id="get" action="/nav.html" method="get"><input name="f" value="get"></form>
<form id="post" action="/posted.html" method="post"><input name="f" value="post"></form>
</body></html>""",
    "/posted.html": "<!DOCTYPE html><html><body>posted</body></html>",
}
# Each hop of a redirect chain names the next.
REDIRECTS = {"/hop2": "/hop1", "/hop1": "/nav.html?hops"}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.rfile.read(length)
        self.do_GET()

    def do_GET(self):
        if self.path == "/slow":
            time.sleep(60)
            return
        target = REDIRECTS.get(self.path.split("?")[0])
        if target:
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        # A query names the same page under another URL.
        page = PAGES.get(self.path.split("?")[0])
        if page is None:
            self.send_error(404)
            return
        body = page.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def watch_owner(port_file):
    """Ends the server when the test removes its port file, or after an hour."""
    deadline = time.time() + 3600
    while os.path.exists(port_file) and time.time() < deadline:
        time.sleep(0.3)
    os._exit(0)


def main():
    server = Server(("127.0.0.1", 0), Handler)
    other = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=other.serve_forever, daemon=True).start()
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write("%d %d" % (server.server_address[1], other.server_address[1]))
    os.replace(sys.argv[1] + ".tmp", sys.argv[1])
    threading.Thread(target=watch_owner, args=(sys.argv[1],), daemon=True).start()
    server.serve_forever()


main()
