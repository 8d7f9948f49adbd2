"""The installer tests' own Wine prefix: made anew for each run under
<LUMO_CACHE>/install, so an install finds a machine that never saw the
program, and the end-to-end suite's prefix is left alone.

Imported before the end-to-end harness: the harness reads its Wine
environment (scripts/env.sh) once, on import, and the prefix follows
LUMO_CACHE there."""

import os
import shutil
import subprocess
from pathlib import Path

BASE_CACHE = Path(os.environ.get("LUMO_CACHE") or "/var/cache/lumo")
INSTALL_CACHE = BASE_CACHE / "install"
os.environ["LUMO_CACHE"] = str(INSTALL_CACHE)
os.environ.setdefault("LUMO_ARCH", "x86_64")
# Wine's menu builder would turn every shortcut into a Linux desktop entry in
# the user's home, which all prefixes share; the shortcuts themselves are what
# the tests look at.
os.environ["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d"

import lumo_harness  # noqa: E402
from lumo_harness import ENV, ensure_startup_folder, user_profile  # noqa: E402

ARCH = os.environ["LUMO_ARCH"]
PREFIX = Path(ENV["WINEPREFIX"])


def wine(*args, timeout=120, extra_env=None, **kwargs):
    """A Windows program under this prefix's Wine; the completed process.
    extra_env: variables set for this run only (WINEDEBUG, WINEDLLOVERRIDES)."""
    env = dict(ENV, **(extra_env or {}))
    return subprocess.run([str(lumo_harness.WINE_RUN)] + [str(a) for a in args], env=env,
                          timeout=timeout, **kwargs)


def create():
    """A new prefix with a kept-alive wineserver, a desktop folder of its own
    (a fresh prefix links it to the Linux home) and a Startup folder."""
    stop()
    shutil.rmtree(PREFIX, ignore_errors=True)
    PREFIX.mkdir(parents=True)
    subprocess.run([ENV["LUMO_WINE"], "wineboot.exe", "-i"], env=ENV, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)
    subprocess.run([ENV["WINESERVER"], "-w"], env=ENV, timeout=120)
    if not (PREFIX / "system.reg").exists():
        raise RuntimeError("could not create the Wine prefix %s" % PREFIX)
    desktop = user_profile() / "Desktop"
    if desktop.is_symlink():
        desktop.unlink()
    desktop.mkdir(exist_ok=True)
    ensure_startup_folder()
    subprocess.run([ENV["WINESERVER"], "-p"], env=ENV, timeout=60)


def stop():
    """Ends this prefix's Windows processes and its wineserver (no other prefix's)."""
    if (PREFIX / "system.reg").exists():
        subprocess.run([ENV["WINESERVER"], "-k"], env=ENV, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def tasks_folder():
    """Where Wine's task scheduler keeps the definitions of registered tasks."""
    return PREFIX / "drive_c" / "windows" / "system32" / "tasks"


def processes(pattern):
    """Pids of this prefix's processes whose command line contains `pattern`."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
            if pattern not in command:
                continue
            environ = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=%s" % PREFIX).encode() in environ:
            found.append(int(entry.name))
    return found
