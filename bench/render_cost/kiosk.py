"""The usual Linux kiosk set-up the program is compared with: Chromium in
--kiosk mode drawing straight to the X display, showing the same page. The
page comes from a small HTTP server of our own, which also carries the pushes
to the page as server-sent events (nothing calls the page's clientJS2 there)."""

import http.server
import json
import os
import queue
import shutil
import signal
import subprocess
import tempfile
import threading
from pathlib import Path

PAGE_PREFIX = "/client/app/lumo/"
FEED_PATH = "/bench/feed"
# The same switches as the engine's browser, less the headless and debugging
# ones: both browsers then render with the same settings.
KIOSK_SWITCHES = ["--kiosk", "--no-sandbox", "--disable-gpu", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update",
                  "--disable-sync", "--disable-quic", "--disable-auto-reload",
                  "--no-default-browser-check", "--mute-audio", "--noerrdialogs",
                  "--disable-infobars", "--password-store=basic"]


class FeedServer:
    """Serves one page folder under PAGE_PREFIX and pushes to its event feed."""

    def __init__(self, page_dir):
        self.page_dir = Path(page_dir)
        self.listeners = []
        self.lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                path = self.path.split("?", 1)[0]
                if path == FEED_PATH:
                    return server._serve_feed(self)
                if not path.startswith(PAGE_PREFIX):
                    return self.send_error(404)
                name = path[len(PAGE_PREFIX):] or "index.html"
                file = server.page_dir / name
                if "/" in name or not file.is_file():
                    return self.send_error(404)
                body = file.read_bytes()
                kinds = {".html": "text/html", ".js": "application/javascript"}
                self.send_response(200)
                self.send_header("Content-Type", kinds.get(file.suffix, "application/octet-stream")
                                 + "; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def start(self):
        self.thread.start()
        return self

    @property
    def url(self):
        return "http://127.0.0.1:%d%s?feed=1" % (self.httpd.server_address[1], PAGE_PREFIX)

    def _serve_feed(self, handler):
        events = queue.Queue()
        with self.lock:
            self.listeners.append(events)
        handler.send_response(200)
        handler.send_header("Content-Type", "text/event-stream")
        handler.send_header("Cache-Control", "no-cache")
        handler.end_headers()
        try:
            handler.wfile.write(b": open\n\n")
            handler.wfile.flush()
            while True:
                message = events.get()
                if message is None:
                    return
                handler.wfile.write(b"data: " + message.encode("utf-8") + b"\n\n")
                handler.wfile.flush()
        except OSError:
            pass
        finally:
            with self.lock:
                self.listeners.remove(events)

    def listening(self):
        with self.lock:
            return len(self.listeners)

    def push(self, message):
        text = json.dumps(message, ensure_ascii=False)
        with self.lock:
            for events in self.listeners:
                events.put(text)

    def stop(self):
        with self.lock:
            for events in self.listeners:
                events.put(None)
        self.httpd.shutdown()
        self.httpd.server_close()


class KioskBrowser:
    """One kiosk Chromium with a fresh profile, in a process group of its own."""

    def __init__(self, browser, url, env):
        self.browser, self.url, self.env = browser, url, env
        self.profile = tempfile.mkdtemp(prefix="lumo-kiosk-")
        self.process = None

    def start(self):
        command = [self.browser] + KIOSK_SWITCHES + ["--user-data-dir=" + self.profile, self.url]
        self.process = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        return self

    @property
    def pid(self):
        return self.process.pid

    def stop(self):
        stop_process_group(self.process)
        shutil.rmtree(self.profile, ignore_errors=True)


def stop_process_group(process):
    """Ends a browser started in a process group of its own: asked first,
    killed when it does not go within ten seconds."""
    if process is None or process.poll() is not None:
        return
    os.killpg(process.pid, signal.SIGTERM)
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait(10)
