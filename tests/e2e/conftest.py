"""Fixtures of the end-to-end suite: the real Tarnlumo.exe under Wine on the
virtual display, talking to the back-office simulator over loopback.

Binaries come from env LUMO_BIN (a build bin folder holding Tarnlumo.exe and
the three stand-in DLLs; default: the newest build/*/bin with Tarnlumo.exe)
and LUMO_CTL (lumoctl.exe; default: the newest one built); env LUMO_ENGINE
chooses the page engine (headless, or chromium: bin/chromium/node.dll and a
real browser). The suite is skipped as a whole when any of them is missing."""

import sys
import warnings
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


def seam_build(bin_dir, folder, what):
    """The program as built with a test seam, in bin/<folder>/; skips without it."""
    exe = bin_dir / folder / "Tarnlumo.exe"
    if not exe.exists():
        pytest.skip("no %s at %s" % (what, exe))
    return exe


@pytest.fixture(scope="module")
def faults_exe(bin_dir):
    """The fault-test build: the program with fault points that fail on request."""
    return seam_build(bin_dir, "faults", "fault-test build")


@pytest.fixture(scope="module")
def displays_exe(bin_dir):
    """The display-test build: the program with monitors a test describes."""
    return seam_build(bin_dir, "displays", "display-test build")


@pytest.fixture(scope="session")
def ctl():
    exe = lumoctl_path()
    if not exe or not exe.exists():
        pytest.skip("no lumoctl.exe built (set LUMO_CTL)")
    return Lumoctl(exe)


def end_copies_left(what, warn):
    """Ends whatever copy of the program is still running (a copy a restart
    started is nobody's child, and a failed case may leave one): it would hold
    the instance lock, and every later case would wait for it in vain."""
    exe = lumoctl_path()
    if not exe or not exe.exists():
        return
    left = Lumoctl(exe).end_every_copy()
    if left and warn:
        warnings.warn("%s left %d copy(ies) of the program running; ended them" % (what, left))


@pytest.fixture
def no_copy_left(request):
    """For modules whose cases restart the program: ends what each case left.
    Their restarted copies are expected, so this one ends them quietly."""
    yield
    end_copies_left(request.node.nodeid, warn=False)


@pytest.fixture(scope="module", autouse=True)
def no_copy_left_by_the_module(request):
    """Set up before, so ended after, the module's runs: ends what they left.
    A module that leaves a copy behind has a fault worth a warning."""
    yield
    end_copies_left(request.node.nodeid, warn=True)


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
