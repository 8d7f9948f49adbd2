"""The real program under Wine: a program folder on the C: drive, the program
process, its log and config files, and lumoctl.exe to reach its windows.

The page engine is the node.dll beside the program: the headless one from the
build's bin folder, or with env LUMO_ENGINE=chromium the Chromium-backed one
from bin/chromium/, which drives a real browser (env LUMO_BROWSER, default
/usr/bin/chromium) with its profile inside the program folder."""

import datetime
import getpass
import os
import re
import shutil
import signal
import subprocess
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
WINE_RUN = REPO / "scripts" / "wine-run.sh"
PROGRAM_FILES = ["Tarnlumo.exe", "HPSocket4C.dll", "common.dll"]
ENGINE_DLL = "node.dll"
HEADLESS = "headless"
CHROMIUM = "chromium"
# Where each engine's node.dll sits inside a build's bin folder.
ENGINE_FOLDERS = {HEADLESS: ".", CHROMIUM: "chromium"}
# The Chromium engine keeps the browser's profile here, inside the folder the
# program gives it for local storage (its own folder).
BROWSER_PROFILE = "lumo-browser-profile"
# The build lists here libcurl.dll and the MinGW runtime DLLs it needs, whose
# names differ by target.
RUNTIME_DLLS_LIST = "runtime-dlls.txt"
# Folder on the C: drive for the program folders; set LUMO_E2E_FOLDER to keep
# runs of several checkouts on one Wine prefix apart.
E2E_FOLDER = os.environ.get("LUMO_E2E_FOLDER") or "lumo_e2e"
MAIN_TITLE = "Tarn-POS背屏"
SHORTCUT_NAME = "TarnPOS背屏.lnk"
LOG_LINE = re.compile(r"^(\d\d:\d\d:\d\d)->\[(.*?)\] (.*)$", re.S)
POLL_SECONDS = 0.1
EXIT_WAIT_SECONDS = 20
# A program that holds the instance lock writes its first log line well
# within this time; one that finds the lock taken ends at once without a line.
FIRST_LINE_SECONDS = 30
START_ATTEMPTS = 3


def newest_bin(file_name):
    """The build bin folder holding `file_name` that was built last, or None."""
    found = sorted(REPO.glob("build/*/bin/" + file_name), key=lambda p: p.stat().st_mtime)
    return found[-1].parent if found else None


def program_bin():
    given = os.environ.get("LUMO_BIN")
    return Path(given) if given else newest_bin("Tarnlumo.exe")


def wine_environment():
    """scripts/env.sh as a dict, so every process sees the same Wine, prefix and
    display: those of env LUMO_ARCH, else of the program the suite runs (a 64-bit
    Wine runs only 64-bit programs, and each target has a prefix of its own)."""
    folder = program_bin()
    program = str(folder / "Tarnlumo.exe") if folder and not os.environ.get("LUMO_ARCH") else ""
    script = 'source "$0" && { [ -z "$1" ] || lumo_use_arch_of "$1"; } && env -0'
    text = subprocess.run(["bash", "-c", script, str(REPO / "scripts" / "env.sh"), program],
                          capture_output=True, check=True).stdout.decode()
    return dict(item.split("=", 1) for item in text.split("\0") if "=" in item)


ENV = wine_environment()
DRIVE_C = Path(ENV["WINEPREFIX"]) / "drive_c"


PROGRAMS_FOLDER = Path("AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
# Wine's own spelling of the folder (its registry names it so).
STARTUP_NAME = "StartUp"


def user_profile():
    return DRIVE_C / "users" / getpass.getuser()


def ensure_startup_folder():
    """A Windows profile always has a Startup folder; a fresh Wine prefix does
    not, and the program looks the folder up without creating it."""
    programs = user_profile() / PROGRAMS_FOLDER
    programs.mkdir(parents=True, exist_ok=True)
    for entry in programs.iterdir():
        if entry.is_dir() and entry.name.lower() == STARTUP_NAME.lower():
            return entry
    folder = programs / STARTUP_NAME
    folder.mkdir()
    return folder


def engine():
    """The engine the suite runs with: env LUMO_ENGINE, headless by default."""
    return os.environ.get("LUMO_ENGINE", "").strip().lower() or HEADLESS


def engine_dll(bin_dir, which=None):
    """The node.dll of engine `which` (default: the suite's) in a build bin folder."""
    return Path(bin_dir) / ENGINE_FOLDERS[which or engine()] / ENGINE_DLL


def browser_path():
    """The Linux browser the Chromium engine starts."""
    return Path(os.environ.get("LUMO_BROWSER") or "/usr/bin/chromium")


def lumoctl_path():
    """lumoctl.exe of the program's own build (it must run under the same Wine)."""
    given = os.environ.get("LUMO_CTL")
    if given:
        return Path(given)
    folder = program_bin()
    return folder / "lumoctl.exe" if folder else None


def wait_until(condition, timeout, poll=POLL_SECONDS):
    """Polls until condition() is truthy; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(poll)


def screenshot(path):
    """The whole virtual display as a PNG."""
    subprocess.run(["import", "-window", "root", str(path)], env=ENV, check=True, timeout=30)
    return Path(path)


class Lumoctl:
    """lumoctl.exe run under Wine; each call gives its key=value lines as a dict."""

    def __init__(self, exe):
        self.exe = Path(exe)

    def run(self, *args, timeout=60):
        done = subprocess.run([str(WINE_RUN), str(self.exe)] + [str(a) for a in args], env=ENV,
                              capture_output=True, timeout=timeout)
        values = {"rc": done.returncode}
        for line in done.stdout.decode("gbk", "replace").splitlines():
            key, _, value = line.strip().partition("=")
            if key:
                values[key] = value
        return values

    def main(self):
        return self.run("main")

    def hold(self, seconds):
        """Starts `lumoctl hold`, which keeps a handle to the program's process
        as a tool that watches it would; returns that process once the handle
        is open, or None when there was no program to hold."""
        holder = subprocess.Popen([str(WINE_RUN), str(self.exe), "hold", str(int(seconds * 1000))],
                                  env=ENV, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if holder.stdout.readline().strip() == b"held=1":
            return holder
        holder.wait(30)
        return None

    def wait(self, what, state, timeout_s):
        return self.run("wait", what, state, int(timeout_s * 1000), timeout=timeout_s + 30)["rc"] == 0

    def end_every_copy(self, rounds=3):
        """Ends whichever copy of the program holds the main window, and the
        copies a restart may start after it: through the tray, else (a copy
        still starting has no tray icon) killed with its watcher stood down.
        Returns the number of copies found."""
        found = 0
        for _ in range(rounds):
            if self.main().get("found") != "1":
                break
            found += 1
            self.run("tray", "exit")
            if not self.wait("main", "gone", 20):
                self.run("kill")
                self.wait("main", "gone", 10)
        return found


class LogLine:
    def __init__(self, time_text, category, message):
        self.time, self.category, self.message = time_text, category, message

    def seconds(self):
        h, m, s = (int(part) for part in self.time.split(":"))
        return h * 3600 + m * 60 + s

    def __repr__(self):
        return "%s->[%s] %s" % (self.time, self.category, self.message)


def parse_log(data):
    """Lines of a log file; a line break inside a message continues the previous line."""
    lines = []
    for raw in data.decode("gbk", "replace").split("\r\n"):
        match = LOG_LINE.match(raw)
        if match:
            lines.append(LogLine(*match.groups()))
        elif lines and raw:
            lines[-1].message += "\r\n" + raw
    return lines


class ProgramFolder:
    """C:\\<E2E_FOLDER>\\<name>\\ with the program, its libraries and its files."""

    def __init__(self, name, bin_dir, which_engine=None):
        self.name = name
        self.bin_dir = Path(bin_dir)
        self.engine = which_engine or engine()
        self.path = DRIVE_C / E2E_FOLDER / name
        self.win_dir = "C:\\%s\\%s\\" % (E2E_FOLDER, name)
        self.win_exe = self.win_dir + "Tarnlumo.exe"

    def create(self):
        shutil.rmtree(self.path, ignore_errors=True)
        self.path.mkdir(parents=True)
        for name in PROGRAM_FILES:
            shutil.copy2(self.bin_dir / name, self.path / name)
        shutil.copy2(engine_dll(self.bin_dir, self.engine), self.path / ENGINE_DLL)
        for name in (self.bin_dir / RUNTIME_DLLS_LIST).read_text().split():
            shutil.copy2(self.bin_dir / name, self.path / name)
        return self

    # ---- config.ini ---------------------------------------------------------
    @property
    def config_path(self):
        return self.path / "config.ini"

    def write_config(self, sections):
        text = "".join("[%s]\r\n" % section + "".join("%s=%s\r\n" % kv for kv in keys.items())
                       for section, keys in sections.items())
        self.config_path.write_bytes(text.encode("gbk"))

    def config(self):
        """{section: {key: value}} as the file holds it now ({} when missing)."""
        sections, current = {}, None
        if not self.config_path.exists():
            return sections
        for line in self.config_path.read_bytes().decode("gbk").splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], {})
            elif "=" in line and current is not None:
                key, _, value = line.partition("=")
                current[key.strip()] = value.strip()
        return sections

    # ---- log ----------------------------------------------------------------
    @property
    def log_dir(self):
        return self.path / "log" / "lumo_log"

    def log_path(self, day=None):
        return self.log_dir / ((day or datetime.date.today()).strftime("%Y%m%d") + ".txt")

    def log(self):
        path = self.log_path()
        return parse_log(path.read_bytes()) if path.exists() else []

    def wait_log(self, predicate, timeout, after=0):
        """The first line from index `after` on for which predicate holds, or None."""
        def find():
            for line in self.log()[after:]:
                if predicate(line):
                    return line
            return None
        return wait_until(find, timeout)

    def lines(self, category, after=0):
        return [line for line in self.log()[after:] if line.category == category]

    # ---- the browser behind the Chromium engine -------------------------------
    @property
    def profile_path(self):
        return self.path / BROWSER_PROFILE

    def browser_processes(self):
        """Command lines of the live processes started for this folder's
        browser profile (the browser, its helpers and its keeper script)."""
        pattern = "%s/%s/%s" % (E2E_FOLDER, self.name, BROWSER_PROFILE)
        found = subprocess.run(["pgrep", "-af", pattern], capture_output=True, text=True)
        return [line for line in found.stdout.splitlines() if line.strip()]

    # ---- update hand-offs recorded by our common.dll ---------------------------
    def update_calls(self):
        path = self.path / "common_update_calls.txt"
        if not path.exists():
            return []
        text = path.read_bytes().decode("gbk")
        return [line.split("|") for line in text.split("\r\n") if line]


class Program:
    """One run of Tarnlumo.exe from a program folder."""

    def __init__(self, folder, ctl):
        self.folder = folder
        self.ctl = ctl
        self.process = None
        self.stderr_path = folder.path.parent / (folder.name + ".stderr.txt")

    def start(self, expect_alone=True):
        """Starts the program. Expected alone, it waits for any other instance on
        the shared wineserver to go, and starts again when one slipped in between
        and took the instance lock (this run then ended silently)."""
        for _ in range(START_ATTEMPTS):
            if expect_alone and not self.ctl.wait("main", "gone", 30):
                raise RuntimeError("another Tarnlumo instance runs on the shared wineserver")
            lines = len(self.folder.log())
            self._launch()
            if not expect_alone or self._began(lines):
                return self
        raise RuntimeError("another Tarnlumo instance kept taking the instance lock")

    def _launch(self):
        with open(self.stderr_path, "ab") as errors:
            self.process = subprocess.Popen([str(WINE_RUN), self.folder.win_exe], env=ENV,
                                            cwd=str(self.folder.path), stdout=subprocess.DEVNULL,
                                            stderr=errors, start_new_session=True)

    def _began(self, lines):
        """False when the run ended without writing a log line."""
        wait_until(lambda: len(self.folder.log()) > lines or not self.alive(), FIRST_LINE_SECONDS)
        return self.alive() or len(self.folder.log()) > lines

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=EXIT_WAIT_SECONDS):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def wait_main_visible(self, timeout=30):
        return self.ctl.wait("visible", "present", timeout)

    def exit_through_tray(self, timeout=EXIT_WAIT_SECONDS):
        self.ctl.run("tray", "exit")
        return self.wait_exit(timeout)

    def kill(self):
        """Ends the run at once, as a clean-up's last resort: its watcher is
        stood down first, so no new copy follows (a test of abrupt ends kills
        the process itself)."""
        if self.alive():
            self.ctl.run("stand-down")
            os.kill(self.process.pid, signal.SIGKILL)
            self.process.wait(10)

    def stop(self):
        """Ends the run: the tray's exit first, a kill when that does not end it."""
        if not self.alive():
            return
        if self.ctl.main().get("found") == "1" and self.exit_through_tray() is not None:
            return
        self.kill()


def split_runs(lines):
    """A log's lines split into runs of the program: each starts at a "版本号" line."""
    runs = []
    for line in lines:
        if line.category == "版本号" or not runs:
            runs.append([])
        runs[-1].append(line)
    return runs


def ended_in_order(lines):
    """True when the run's last two log lines are "开始销毁" and then "销毁",
    both with empty messages."""
    if len(lines) < 2:
        return False
    return ((lines[-2].category, lines[-2].message) == ("开始销毁", "")
            and (lines[-1].category, lines[-1].message) == ("销毁", ""))
