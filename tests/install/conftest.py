"""Fixtures of the installer tests: the installers of one target (env
LUMO_ARCH, x86_64 by default) made by the packaging command from the build
tree, a Wine prefix made anew for the run, the back-office simulator and
lumoctl.exe from the end-to-end suite.

The build tree must hold Tarnlumo.exe, its newer build bin/next/Tarnlumo.exe,
the stand-ins and lumoctl.exe (scripts/build.sh ARCH); the suite is skipped
as a whole when they are missing."""

import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "tests" / "e2e"))
sys.path.insert(0, str(HERE.parents[1] / "packaging"))

import wine_prefix  # noqa: E402  (sets the prefix before the harness is imported)
from lumo_harness import REPO, Lumoctl  # noqa: E402

BIN = REPO / "build" / ("win-" + wine_prefix.ARCH) / "bin"
NEEDED = ["Tarnlumo.exe", "next/Tarnlumo.exe", "node.dll", "HPSocket4C.dll", "common.dll",
          "lumocheck.exe", "lumoctl.exe", "runtime-dlls.txt"]
RECORDER_PAGE = REPO / "tests" / "e2e" / "pages" / "recorder"


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: starts the real program more than once")


@pytest.fixture(scope="session")
def bin_dir():
    missing = [name for name in NEEDED if not (BIN / name).exists()]
    if missing:
        pytest.skip("%s lacks %s (bash scripts/build.sh %s)" % (BIN, ", ".join(missing),
                                                             wine_prefix.ARCH))
    return BIN


@pytest.fixture(scope="session")
def packages(bin_dir, tmp_path_factory):
    """(this build's installer, the installer of its newer build)."""
    import setup_runs
    current = setup_runs.build_package(tmp_path_factory.mktemp("current"))
    newer = setup_runs.build_package(tmp_path_factory.mktemp("newer"), bin_dir / "next" / "Tarnlumo.exe")
    return current, newer


@pytest.fixture(scope="session")
def prefix(bin_dir):
    wine_prefix.create()
    yield wine_prefix.PREFIX
    wine_prefix.stop()


@pytest.fixture(scope="session")
def ctl(bin_dir, prefix):
    return Lumoctl(bin_dir / "lumoctl.exe")


def pytest_terminal_summary(terminalreporter):
    import setup_runs
    if setup_runs.TIMES:
        terminalreporter.write_line("installer times under Wine (%s): %s" % (
            wine_prefix.ARCH, ", ".join("%s %.1f s" % kv for kv in setup_runs.TIMES.items())))
