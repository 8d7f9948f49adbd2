"""The two displays under measurement, each started for one page kind and
ended afterwards: the program under Wine with the back-office simulator
(Chromium-backed or headless engine), and the kiosk browser."""

import os
import subprocess
import time
import uuid

import kiosk
import proc_cpu
from scenarios import push_message

TAG_VARIABLE = "LUMO_BENCH_TAG"
LINK_TIMEOUT = 60
STOP_TIMEOUT = 30


def tagged_or(extra):
    """A process selector: processes whose environment holds the tag, plus
    those `extra(stats, environ)` names."""
    def select(tag):
        marker = ("%s=%s" % (TAG_VARIABLE, tag)).encode()

        def selector(stats):
            picked = set()
            for pid, stat in stats.items():
                environ = proc_cpu.read_environ(pid)
                if marker in environ or extra(stat, environ):
                    picked.add(pid)
            return picked
        return selector
    return select


def is_wine_process(stat):
    """Wine's own processes: the wineserver and the Windows programs it runs
    (services, desktop, device host); not Linux tools that merely inherited
    the prefix's environment."""
    return stat.name.startswith("wineserver") or stat.name.lower().endswith(".exe")


def x_server_account():
    """The X server's own time: both displays make it draw."""
    return proc_cpu.CpuAccount(
        lambda stats: {pid for pid, stat in stats.items() if stat.name.startswith("Xvfb")
                       and (":%s" % os.environ.get("DISPLAY", ":").split(":")[-1]).encode()
                       in b" ".join(proc_cpu.read_cmdline(pid))})


class ProgramDisplay:
    """Tarnlumo.exe from a fresh program folder, its page served by the
    simulator. Counted: every process carrying our tag (the program, the
    browser it starts, the keeper script) and every process of the Wine
    prefix (the wineserver and Wine's own services)."""

    def __init__(self, harness, office_module, bin_dir, engine, page_dir):
        self.h, self.office_module = harness, office_module
        self.engine = engine
        self.folder = harness.ProgramFolder("render_" + engine, bin_dir, engine).create()
        self.ctl = harness.Lumoctl(harness.lumoctl_path())
        self.page_dir = page_dir
        self.tag = uuid.uuid4().hex
        prefix = ("WINEPREFIX=" + harness.ENV["WINEPREFIX"]).encode()
        self.account = proc_cpu.CpuAccount(
            tagged_or(lambda stat, environ: prefix in environ and is_wine_process(stat))(self.tag))
        self.office = None
        self.process = None
        self.started = None

    def start(self):
        self.office = self.office_module.Office(self.page_dir).start()
        self.folder.write_config({"server": {"ip": "127.0.0.1", "webport": self.office.web_port},
                                  "local": {"index": 1}})
        env = dict(self.h.ENV, **{TAG_VARIABLE: self.tag})
        self.started = time.monotonic()
        self.process = subprocess.Popen([str(self.h.WINE_RUN), self.folder.win_exe], env=env,
                                        cwd=str(self.folder.path), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        return self

    def ready(self):
        """Waits until the till has logged in, so pushes reach the page."""
        if not self.office.wait("received", 1, LINK_TIMEOUT):
            raise RuntimeError("the program never logged in")

    def push(self, seq):
        import json
        self.office.push(json.dumps(push_message(seq)))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.ctl.run("tray", "exit")
            try:
                self.process.wait(STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, 9)
                self.process.wait(10)
        if self.office:
            self.office.stop()
        # The browser's keeper ends it once the program is gone.
        deadline = time.monotonic() + 15
        while self.folder.browser_processes() and time.monotonic() < deadline:
            time.sleep(0.2)


class KioskDisplay:
    """Chromium in kiosk mode on the same display, page from FeedServer."""

    def __init__(self, browser, env, page_dir):
        self.server = kiosk.FeedServer(page_dir)
        self.env = env
        self.browser = browser
        self.tag = uuid.uuid4().hex
        self.account = proc_cpu.CpuAccount(tagged_or(lambda stat, environ: False)(self.tag))
        self.kiosk = None
        self.started = None

    def start(self):
        self.server.start()
        env = dict(self.env, **{TAG_VARIABLE: self.tag})
        self.started = time.monotonic()
        self.kiosk = kiosk.KioskBrowser(self.browser, self.server.url, env).start()
        return self

    def ready(self):
        deadline = time.monotonic() + LINK_TIMEOUT
        while not self.server.listening():
            if time.monotonic() > deadline:
                raise RuntimeError("the kiosk page never opened its feed")
            time.sleep(0.05)

    def push(self, seq):
        self.server.push(push_message(seq))

    def stop(self):
        if self.kiosk:
            self.kiosk.stop()
        self.server.stop()
