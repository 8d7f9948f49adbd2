"""A broken installation names its fault: the real program logs one "库加载"
line per library that does not load and per looked-up function one lacks,
right after "版本号", and otherwise starts as before (here: waiting silently
for a server that is down). lumocheck.exe says the same about the folder
without starting the program."""

import json
import shutil
import subprocess

import pytest

from lumo_harness import (CHROMIUM, ENV, REPO, RUNTIME_DLLS_LIST, WINE_RUN, engine, program_bin,
                          wait_until)
from office import free_port

START_TIMEOUT = 60
# From the version line to the wait for the server: only the library checks lie
# between, but a loaded machine may take seconds over them.
CHECKS_TIMEOUT = 30
CATEGORY = "库加载"
LIBRARIES = ["libcurl.dll", "common.dll", "node.dll", "HPSocket4C.dll"]
ERROR_MOD_NOT_FOUND = 126
ERROR_BAD_EXE_FORMAT = 193

pytestmark = [pytest.mark.slow,
              pytest.mark.skipif(engine() == CHROMIUM, reason="the check is the same for both engines")]


def other_target_bin(bin_dir):
    """The bin folder of the other Windows target's build."""
    own = bin_dir.parent.name  # win-x86_64 or win-i686
    other = "win-i686" if own.endswith("x86_64") else "win-x86_64"
    folder = REPO / "build" / other / "bin"
    return folder if (folder / "common.dll").exists() else None


def lumocheck(folder):
    exe = program_bin() / "lumocheck.exe"
    done = subprocess.run([str(WINE_RUN), str(exe), folder.win_dir], env=ENV, capture_output=True,
                          timeout=60)
    lines = done.stdout.decode("gbk", "replace").splitlines()
    # Keyed by the library's file name, or by the key of a "key=value" line.
    return done.returncode, {line.split()[0].split("=")[0]: line for line in lines if line.split()}


def run_state(folder):
    """The state in the program's status file; None while there is none."""
    try:
        return json.loads((folder.path / "status.json").read_bytes().decode("utf-8"))["state"]
    except (OSError, ValueError, KeyError):
        return None


def start_broken(make_run, name, breakage, expected=1):
    """A program folder with one fault, the program started on it (server down);
    returns the run and its "库加载" lines once the start is past them and the
    `expected` number of them was written."""
    run = make_run(name)
    breakage(run.folder.path)
    run.folder.write_config({"server": {"ip": "127.0.0.1", "webport": free_port()},
                             "local": {"index": 1}})
    program = run.start_program()
    assert run.folder.wait_log(lambda l: l.category == "版本号", START_TIMEOUT)
    # The status file says the start went on to wait for the server, which it
    # does only after the last check line was queued; the log's writer thread
    # writes the queue in order, so the expected lines are awaited too.
    assert wait_until(lambda: run_state(run.folder) == "waiting_for_server", CHECKS_TIMEOUT), \
        run_state(run.folder)
    assert wait_until(lambda: sum(l.category == CATEGORY for l in run.folder.log()) >= expected,
                      CHECKS_TIMEOUT), run.folder.log()
    assert program.alive(), "the program ended instead of waiting for the server"
    lines = run.folder.log()
    program.kill()
    assert lines[0].category == "版本号"
    assert all(l.category == CATEGORY for l in lines[1:]), lines
    return run, [l.message for l in lines[1:]]


@pytest.mark.parametrize("library", LIBRARIES)
def test_a_missing_library_is_named_once(make_run, library):
    run, lines = start_broken(make_run, "libcheck-missing-" + library.split(".")[0],
                              lambda path: (path / library).unlink())
    assert len(lines) == 1, lines
    assert lines[0].startswith("%s 无法加载 error:%d " % (library, ERROR_MOD_NOT_FOUND)), lines
    code, out = lumocheck(run.folder)
    assert code == 1 and out["result"] == "result=fail"
    assert "load=missing" in out[library]
    assert all("load=ok missing=" in out[other] for other in LIBRARIES if other != library), out


@pytest.mark.parametrize("library", LIBRARIES)
def test_a_library_of_the_other_target_is_named_with_error_193(make_run, bin_dir, library):
    other_bin = other_target_bin(bin_dir)
    if other_bin is None:
        pytest.skip("the other target's build is not there")
    run, lines = start_broken(make_run, "libcheck-other-" + library.split(".")[0],
                              lambda path: shutil.copy2(other_bin / library, path / library))
    assert len(lines) == 1, lines
    assert lines[0].startswith("%s 无法加载 error:%d " % (library, ERROR_BAD_EXE_FORMAT)), lines
    assert "另一架构的DLL" in lines[0]
    code, out = lumocheck(run.folder)
    assert code == 1
    assert "load=failed error=193 (another architecture?)" in out[library], out[library]


def test_a_library_lacking_a_function_is_named_with_it(make_run, bin_dir):
    lacking = bin_dir / "lacking" / "common.dll"
    run, lines = start_broken(make_run, "libcheck-lacking",
                              lambda path: shutil.copy2(lacking, path / "common.dll"))
    assert lines == ["common.dll 缺少函数 _fun_msg"]
    code, out = lumocheck(run.folder)
    assert code == 1
    assert out["common.dll"].endswith("load=ok missing=_fun_msg"), out["common.dll"]


def test_lumocheck_passes_a_healthy_folder(make_run):
    run = make_run("libcheck-healthy")
    code, out = lumocheck(run.folder)
    assert code == 0, out
    assert out["result"] == "result=ok"
    assert all(out[library].endswith("load=ok missing=") for library in LIBRARIES), out


def test_a_dependency_the_folder_lacks_is_named(make_run, bin_dir):
    """libcurl.dll needs the MinGW thread library; without it in the program
    folder both the program and lumocheck.exe (whose own folder has one) name it."""
    dependency = "libwinpthread-1.dll"
    if dependency not in (bin_dir / RUNTIME_DLLS_LIST).read_text().split():
        pytest.skip("this build's libcurl.dll does not need %s" % dependency)
    run, lines = start_broken(make_run, "libcheck-no-pthread",
                              lambda path: (path / dependency).unlink())
    assert len(lines) == 1, lines
    assert lines[0].startswith("libcurl.dll 无法加载 error:%d " % ERROR_MOD_NOT_FOUND), lines
    assert lines[0].endswith(" 缺少依赖:" + dependency), lines
    assert (program_bin() / dependency).exists(), "the tool's own folder should have it"
    code, out = lumocheck(run.folder)
    assert code == 1 and out["result"] == "result=fail", out
    assert "load=failed error=%d" % ERROR_MOD_NOT_FOUND in out["libcurl.dll"], out["libcurl.dll"]
    assert out["libcurl.dll"].endswith(" needs=" + dependency), out["libcurl.dll"]
    assert all("load=ok missing=" in out[other] for other in LIBRARIES if other != "libcurl.dll"), out
