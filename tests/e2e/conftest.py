"""Fixtures of the end-to-end suite: the real Tarnlumo.exe under Wine on the
virtual display, talking to the back-office simulator over loopback.

Binaries come from env LUMO_BIN (a build bin folder holding Tarnlumo.exe and
the three stand-in DLLs; default: the newest build/*/bin with Tarnlumo.exe)
and LUMO_CTL (lumoctl.exe; default: the newest one built); env LUMO_ENGINE
chooses the page engine (headless, or chromium: bin/chromium/node.dll and a
real browser). The suite is skipped as a whole when any of them is missing."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))

from lumo_harness import (CHROMIUM, ENGINE_FOLDERS, Lumoctl, Program, ProgramFolder,  # noqa: E402
                          browser_path, engine, engine_dll, ensure_startup_folder, lumoctl_path,
                          program_bin, user_profile)
from office import Office  # noqa: E402

PAGES = Path(__file__).resolve().parent / "pages"


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: starts the real program more than once")


@pytest.fixture(scope="session")
def bin_dir():
    folder = program_bin()
    if not folder or not (folder / "Tarnlumo.exe").exists():
        pytest.skip("no Tarnlumo.exe built (set LUMO_BIN)")
    if engine() not in ENGINE_FOLDERS:
        pytest.skip("LUMO_ENGINE=%s: no such engine (%s)" % (engine(), ", ".join(ENGINE_FOLDERS)))
    needed = [folder / n for n in ("HPSocket4C.dll", "common.dll")] + [engine_dll(folder)]
    missing = [str(path.relative_to(folder)) for path in needed if not path.exists()]
    if missing:
        pytest.skip("%s lacks %s" % (folder, ", ".join(missing)))
    if engine() == CHROMIUM and not browser_path().exists():
        pytest.skip("the Chromium engine needs a browser at %s (set LUMO_BROWSER)" % browser_path())
    return folder


@pytest.fixture(scope="session")
def ctl():
    exe = lumoctl_path()
    if not exe or not exe.exists():
        pytest.skip("no lumoctl.exe built (set LUMO_CTL)")
    return Lumoctl(exe)


@pytest.fixture(scope="session", autouse=True)
def startup_folder():
    return ensure_startup_folder()


@pytest.fixture(scope="session")
def shortcut_folders(startup_folder):
    return [(user_profile() / "Desktop").resolve(), startup_folder]


class Run:
    """A program folder, its simulator and its program for one scenario;
    `close()` stops whatever is still running."""

    def __init__(self, name, bin_dir, ctl, page=None):
        self.folder = ProgramFolder(name, bin_dir).create()
        self.ctl = ctl
        self.page_dir = PAGES / page if page else None
        self.office = None
        self.program = None

    def start_office(self, **ports):
        self.office = Office(self.page_dir, **ports).start()
        return self.office

    def start_program(self):
        self.program = Program(self.folder, self.ctl).start()
        return self.program

    def close(self):
        if self.program:
            self.program.stop()
        if self.office:
            self.office.stop()


@pytest.fixture(scope="module")
def make_run(bin_dir, ctl):
    runs = []

    def make(name, page=None):
        run = Run(name, bin_dir, ctl, page)
        runs.append(run)
        return run
    yield make
    for run in runs:
        run.close()
