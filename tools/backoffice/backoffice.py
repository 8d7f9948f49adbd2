#!/usr/bin/env python3
"""Back-office simulator for the lumo customer display.

Serves the web side (server check, TCP port discovery, customer-display page,
page reports), the pack-framed TCP link, and a control interface; or, with a
sub-command, acts as a small client of that control interface.
"""

import argparse
import os
import signal
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from control_service import ControlHandler  # noqa: E402
from http_base import HttpServiceThread  # noqa: E402
from records import Recorder  # noqa: E402
from settings import Settings  # noqa: E402
from tcp_service import TcpService  # noqa: E402
from web_service import REFERENCE_PAGE_DIR, WebHandler  # noqa: E402

import control_client  # noqa: E402

DEFAULT_HOST = "127.0.0.1"


class Backoffice:
    """All listeners of one simulator. start() brings them up (raising OSError
    if a port is taken, with nothing left running); stop() ends every thread."""

    def __init__(self, host=DEFAULT_HOST, web_port=0, tcp_port=0, control_port=0, page_dir=None, report_port=None):
        self.host = host
        self.page_dir = page_dir or REFERENCE_PAGE_DIR
        self.recorder = Recorder()
        self.settings = Settings()
        self.tcp = TcpService(host, tcp_port, self.recorder)
        self.shutdown_requested = threading.Event()
        self._ports = {"web": web_port, "tcp": tcp_port, "control": control_port}
        if report_port is not None:
            self._ports["report"] = report_port
        self._http = {}

    def start(self):
        try:
            self._start_http("web", WebHandler)
            if "report" in self._ports:
                self._start_http("report", WebHandler)
            self._ports["tcp"] = self.tcp.start()
            self._start_http("control", ControlHandler)
        except OSError:
            self.stop()
            raise
        return dict(self._ports)

    @property
    def ports(self):
        """The real ports once started (0 for those the OS has not chosen yet)."""
        return dict(self._ports)

    def _start_http(self, name, handler):
        service = HttpServiceThread(name, self.host, self._ports[name], handler, self)
        self._http[name] = service
        self._ports[name] = service.port
        service.start()

    def web_stop(self):
        """Closes the web side (its port then refuses connections) while the
        TCP side and the control interface go on, like a web server restarting.
        False when it was not running."""
        service = self._http.pop("web", None)
        if service is None:
            return False
        service.stop_serving()
        service.close()
        return True

    def web_start(self):
        """Opens the web side again on the port it had; its port number."""
        if "web" not in self._http:
            self._start_http("web", WebHandler)
        return self._ports["web"]

    def ready_line(self):
        line = "backoffice ready web=%(web)d tcp=%(tcp)d control=%(control)d" % self._ports
        if "report" in self._ports:
            line += " report=%d" % self._ports["report"]
        return line

    def request_shutdown(self):
        self.shutdown_requested.set()

    def stop(self):
        """Ends everything; safe to call more than once."""
        self.recorder.close()  # releases /wait requests
        services = [self._http.pop(name) for name in ("control", "web", "report") if name in self._http]
        for service in services:
            service.stop_serving()
        # Closing the tills also frees a push blocked on one that stopped reading,
        # so the control request behind it can end before it is joined.
        self.tcp.close()
        for service in services:
            service.close()
        self.tcp.join_readers()


def parse_server_args(argv):
    parser = argparse.ArgumentParser(description="lumo back-office simulator")
    parser.add_argument("--web-port", type=int, required=True)
    parser.add_argument("--tcp-port", type=int, required=True)
    parser.add_argument("--control-port", type=int, required=True)
    parser.add_argument("--host", default=DEFAULT_HOST)
    parser.add_argument("--page-dir", help="serve this folder at the page URL instead of the reference page")
    parser.add_argument("--report-port", type=int, help="an extra web listener, e.g. for pages of another origin")
    args = parser.parse_args(argv)
    if args.page_dir and not os.path.isdir(args.page_dir):
        parser.error("--page-dir %s is not a folder" % args.page_dir)
    return args


def serve(argv):
    args = parse_server_args(argv)
    office = Backoffice(args.host, args.web_port, args.tcp_port, args.control_port, args.page_dir, args.report_port)
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: office.request_shutdown())
    try:
        office.start()
    except OSError as error:
        print("backoffice: cannot listen: %s" % error, file=sys.stderr)
        return 1
    print(office.ready_line(), flush=True)
    # A timed wait keeps the main thread responsive to signals.
    while not office.shutdown_requested.wait(0.5):
        pass
    office.stop()
    return 0


def main(argv):
    if argv and argv[0] in control_client.COMMANDS:
        return control_client.run(argv)
    return serve(argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
