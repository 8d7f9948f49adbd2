"""The installers under test: made with the packaging command from the build
trees, run under the test prefix's Wine, and what they leave in the prefix
(the program folder, the installed-programs entry, the shortcuts)."""

import re
import subprocess
import tempfile
import time
import xml.etree.ElementTree as ET
from pathlib import Path

import pefile

import wine_prefix
from lumo_harness import DRIVE_C, REPO, ProgramFolder, user_profile, wait_until

PACKAGE = REPO / "scripts" / "package.sh"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnlumo"
DEFAULT_DIR = r"C:\Program Files\Tarn\lumo" + "\\"
SHORTCUT = "TarnPOS背屏.lnk"
BAD_PARAMETER = 2
SETUP_TIMEOUT = 120
TASK_NAME = "Tarnlumo"
TASK_FILE = "logon-task.xml"
TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
# Wine's icacls changes nothing and says so, with its arguments, on this
# trace channel: the only record under Wine of what the installer asked for.
ICACLS_TRACE = {"WINEDEBUG": "-all,fixme+icacls"}
ICACLS_STUB = re.compile(r"fixme:icacls:main stub: (.*)$")
ADMINISTRATORS, SYSTEM, USERS = "*S-1-5-32-544", "*S-1-5-18", "*S-1-5-32-545"
# An NSIS uninstaller runs from a copy of itself in the temporary folder and
# the one started returns at once; this is the copy's command line.
UNINSTALLER_COPY = "\\Un.exe"
REG_LINE = re.compile(r"^\s{4}(\S+)\s{4}(REG_\w+)\s{4}(.*)$")
MACHINES = {0x14C: "i686", 0x8664: "x86_64"}
# Seconds each kind of run took, shown at the end of the session.
TIMES = {}


def build_package(out_dir, program=None):
    """One installer of the suite's target made by the packaging command from
    the build tree as it is; its path."""
    command = ["bash", str(PACKAGE), "--no-build", "--out", str(out_dir), wine_prefix.ARCH]
    if program:
        command += ["--program", str(program)]
    subprocess.run(command, check=True, timeout=600, stdout=subprocess.DEVNULL)
    sums = (Path(out_dir) / "SHA256SUMS").read_text().split()
    return Path(out_dir) / sums[1]


def sums_of(out_dir):
    """{file name: sha256} as the sums file beside the installers lists them."""
    lines = (Path(out_dir) / "SHA256SUMS").read_text().splitlines()
    return {name: digest for digest, name in (line.split() for line in lines)}


class SetupRun:
    def __init__(self, code, errors, seconds):
        self.code, self.errors, self.seconds = code, errors, seconds


def run(exe, *args, extra_env=None):
    """Runs an installer or uninstaller to its end. Its standard error goes to
    a file: a program the installer starts must not hold a pipe of ours."""
    with tempfile.TemporaryFile() as errors:
        began = time.monotonic()
        done = wine_prefix.wine(exe, *args, timeout=SETUP_TIMEOUT, stdout=subprocess.DEVNULL,
                                stderr=errors, extra_env=extra_env)
        seconds = time.monotonic() - began
        errors.seek(0)
        text = errors.read().decode("gbk", "replace")
    return SetupRun(done.returncode, text, seconds)


def uninstall(folder, *args, extra_env=None):
    """Runs the folder's uninstaller and waits for the copy that does the work."""
    began = time.monotonic()
    result = run(folder.win_dir + "uninstall.exe", "/S", *args, extra_env=extra_env)
    wait_until(lambda: not wine_prefix.processes(UNINSTALLER_COPY), SETUP_TIMEOUT, poll=0.2)
    result.seconds = time.monotonic() - began
    return result


def setup_log():
    """The lines the installers appended to their log in the temporary folder."""
    path = user_profile() / "Temp" / "Tarnlumo-setup.log"
    return path.read_bytes().decode("gbk").splitlines() if path.exists() else []


def registry_entry():
    """{value name: data} of the installed-programs entry, None when there is none."""
    done = wine_prefix.wine("reg", "query", UNINSTALL_KEY, capture_output=True, timeout=60)
    if done.returncode != 0:
        return None
    values = {}
    for line in done.stdout.decode("gbk", "replace").splitlines():
        match = REG_LINE.match(line.rstrip("\r"))
        if match:
            values[match.group(1)] = match.group(3)
    return values


def icacls_calls(errors):
    """The argument lists (program name left out) Wine's icacls was run with,
    in order, from an installer run's standard error traced with ICACLS_TRACE."""
    calls = []
    for line in errors.splitlines():
        match = ICACLS_STUB.search(line.rstrip("\r"))
        if match:
            # Each argument quoted, with backslashes and quotes escaped.
            args = [re.sub(r"\\(.)", r"\1", a)
                    for a in re.findall(r'"((?:[^"\\]|\\.)*)"', match.group(1))]
            calls.append(args[1:])
    return calls


def folder_protection_calls(folder):
    """What the installer must ask of icacls for a program folder (no
    trailing backslash): owner, then its own entries only."""
    return [[folder, "/setowner", ADMINISTRATORS, "/T", "/C", "/Q"],
            [folder, "/inheritance:r", "/grant:r", ADMINISTRATORS + ":(OI)(CI)F",
             SYSTEM + ":(OI)(CI)F", USERS + ":(OI)(CI)RX", "/Q"]]


def registered_task():
    """The text of the task definition as Wine's task scheduler keeps it, or None."""
    path = wine_prefix.tasks_folder() / TASK_NAME
    return path.read_bytes().decode("utf-8-sig") if path.exists() else None


def task_definition(folder):
    """{name: text} of what the installer registered, from the definition it
    kept in the program folder (UTF-16, as schtasks reads it)."""
    root = ET.fromstring((folder.path / TASK_FILE).read_bytes().decode("utf-16"))

    def text(path):
        found = root.find(path, TASK_NS)
        return None if found is None else found.text

    return {
        "trigger_user": text("t:Triggers/t:LogonTrigger/t:UserId"),
        "trigger_enabled": text("t:Triggers/t:LogonTrigger/t:Enabled"),
        "user": text("t:Principals/t:Principal/t:UserId"),
        "logon_type": text("t:Principals/t:Principal/t:LogonType"),
        "run_level": text("t:Principals/t:Principal/t:RunLevel"),
        "command": text("t:Actions/t:Exec/t:Command"),
        "working_directory": text("t:Actions/t:Exec/t:WorkingDirectory"),
        "time_limit": text("t:Settings/t:ExecutionTimeLimit"),
        "instances": text("t:Settings/t:MultipleInstancesPolicy"),
        "priority": text("t:Settings/t:Priority"),
    }


def installing_user():
    """DOMAIN\\user of the prefix's user, as an installer run in it sees it."""
    done = wine_prefix.wine("cmd", "/c", "echo %USERDOMAIN%\\%USERNAME%", capture_output=True,
                            timeout=60)
    return done.stdout.decode("gbk", "replace").strip()


def shortcuts():
    """The program's shortcut files that exist, desktop first."""
    startup = wine_prefix.ensure_startup_folder()
    paths = [user_profile() / "Desktop" / SHORTCUT, startup / SHORTCUT]
    return [p for p in paths if p.exists()]


def file_arch(path):
    """The target a PE file is built for, or None for anything else."""
    try:
        pe = pefile.PE(str(path), fast_load=True)
    except pefile.PEFormatError:
        return None
    return MACHINES.get(pe.FILE_HEADER.Machine)


class InstalledFolder(ProgramFolder):
    """The program folder an installer made (C:\\...\\ given as Windows path)."""

    def __init__(self, win_dir):
        self.name = "installed"
        self.engine = None
        self.win_dir = win_dir
        self.win_exe = win_dir + "Tarnlumo.exe"
        self.path = DRIVE_C / win_dir[3:].rstrip("\\").replace("\\", "/")

    def files(self):
        """Names of the files and folders it holds now (empty when it is gone)."""
        return sorted(p.name for p in self.path.iterdir()) if self.path.exists() else []

    def local_storage(self):
        """{file name: bytes} of the page's local storage kept in the folder."""
        return {p.name: p.read_bytes() for p in self.path.glob("*.localstorage")}
