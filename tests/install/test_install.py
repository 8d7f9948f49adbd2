"""A till's life with the installer, in order, in a Wine prefix that never saw
the program: bad parameters that install nothing, a silent install with the
back-office address, port and screen, the installed program logging in and
its page writing a key, a silent upgrade to a newer build while it runs, a
silent uninstall while the new copy runs, and one that removes the data too."""

import json
import subprocess
import time

import pytest

import setup_runs
from exe_version import file_version
from lumo_harness import ENV, WINE_RUN, Program, ended_in_order, wait_until
from office import Office
from conftest import RECORDER_PAGE
from setup_runs import DEFAULT_DIR, InstalledFolder

START_TIMEOUT = 90
EXIT_TIMEOUT = 45
PAGE_KEY = {"node": "page", "key": "kept", "value": "written-by-page"}

pytestmark = pytest.mark.slow


class Till:
    pass


@pytest.fixture(scope="module")
def till(prefix, packages, ctl, bin_dir, tmp_path_factory):
    t = Till()
    t.current, t.newer = packages
    t.ctl = ctl
    t.folder = InstalledFolder(DEFAULT_DIR)
    t.office = Office(RECORDER_PAGE).start()
    t.program = None
    t.stderr = tmp_path_factory.mktemp("program") / "stderr.txt"
    yield t
    if t.ctl.main().get("found") == "1":
        t.ctl.run("tray", "exit")
        t.ctl.wait("main", "gone", EXIT_TIMEOUT)
    t.office.stop()


def logins(office):
    return [r for r in office.received() if '"a":"login"' in r["text"]]


def runs(lines):
    """The log split into runs, each beginning with its version line."""
    found = []
    for line in lines:
        if line.category == "版本号" or not found:
            found.append([])
        found[-1].append(line)
    return found


@pytest.mark.parametrize("args, problem", [
    (["/IP=127.0.0.1", "/WEBPORT=80a"], "the web port (/WEBPORT=80a) is not a number"),
    (["/IP=", "/WEBPORT=8099"], "the back-office address (/IP=) is empty"),
    (["/IP=127.0.0.1", "/WEBPORT=70000"], "the web port (/WEBPORT=70000) is not a number"),
    (["/IP=127.0.0.1", "/INDEX=x"], "the screen index (/INDEX=x) is not a number"),
    (["/IP=127.0.0.1", "/TASKUSER="], "the user of the logon task (/TASKUSER=) is empty"),
    # Its permissions would be reset: never a folder of other files.
    (["/IP=127.0.0.1", "/D=C:\\windows"], "the install folder (/D=C:\\windows) already holds other files"),
])
def test_bad_parameter_is_named_and_installs_nothing(till, args, problem):
    result = setup_runs.run(till.current, "/S", *args)
    assert result.code == setup_runs.BAD_PARAMETER, result.errors
    assert problem in result.errors
    assert "nothing was installed" in result.errors
    assert any(problem in line for line in setup_runs.setup_log())
    assert not till.folder.path.exists()
    assert setup_runs.registry_entry() is None
    assert setup_runs.shortcuts() == []


@pytest.fixture(scope="module")
def installed(till):
    result = setup_runs.run(till.current, "/S", "/IP=127.0.0.1",
                            "/WEBPORT=%d" % till.office.web_port, "/INDEX=1",
                            extra_env=setup_runs.ICACLS_TRACE)
    setup_runs.TIMES["install"] = result.seconds
    return result


def test_silent_install_puts_the_files_in_place(till, installed, bin_dir):
    assert installed.code == 0, installed.errors
    runtime = (bin_dir / "runtime-dlls.txt").read_text().split()
    program_files = sorted(["Tarnlumo.exe", "lumocheck.exe", "node.dll", "HPSocket4C.dll",
                            "common.dll", "uninstall.exe"] + runtime)
    assert till.folder.files() == sorted(program_files + ["config.ini", setup_runs.TASK_FILE])
    for name in program_files:
        assert setup_runs.file_arch(till.folder.path / name) == setup_runs.wine_prefix.ARCH, name
    assert file_version(str(till.folder.path / "Tarnlumo.exe")) == file_version(
        str(bin_dir / "Tarnlumo.exe"))


def test_config_holds_exactly_what_was_given(till, installed):
    assert till.folder.config() == {
        "server": {"ip": "127.0.0.1", "webport": str(till.office.web_port)},
        "local": {"index": "1"}}


def test_installed_programs_entry_names_the_program(till, installed, bin_dir):
    entry = setup_runs.registry_entry()
    assert entry is not None
    assert entry["DisplayName"].startswith("TarnPOS背屏 lumo")
    assert "(stand-in libraries)" in entry["DisplayName"]
    assert entry["DisplayVersion"] == file_version(str(bin_dir / "Tarnlumo.exe"))
    assert entry["Publisher"] == "Tarn"
    assert entry["UninstallString"] == '"%suninstall.exe"' % DEFAULT_DIR
    assert entry["InstallLocation"] == DEFAULT_DIR.rstrip("\\")


def test_both_shortcuts_are_made(till, installed):
    assert len(setup_runs.shortcuts()) == 2


def test_install_makes_the_folder_writable_by_administrators_only(till, installed):
    """Wine's icacls changes nothing; what can be seen is that it was run on
    the folder with the right arguments, in order, and that the log says so."""
    folder = DEFAULT_DIR.rstrip("\\")
    # A new folder holds nothing whose own entries would need a reset.
    assert setup_runs.icacls_calls(installed.errors) == setup_runs.folder_protection_calls(folder)
    assert ("Tarnlumo setup: %s is owned by Administrators and writable only by Administrators"
            " and SYSTEM; Users may read and run" % folder) in "\n".join(setup_runs.setup_log())


def test_install_registers_the_logon_task_with_the_highest_privileges(till, installed):
    user = setup_runs.installing_user()
    assert "\\" in user, user
    task = setup_runs.task_definition(till.folder)
    assert task == {
        "trigger_user": user, "trigger_enabled": "true", "user": user,
        "logon_type": "InteractiveToken", "run_level": "HighestAvailable",
        "command": '"%sTarnlumo.exe"' % DEFAULT_DIR,
        "working_directory": DEFAULT_DIR.rstrip("\\"),
        "time_limit": "PT0S", "instances": "IgnoreNew", "priority": "4"}
    # Wine's task scheduler keeps the task without its trigger, principal and
    # action (it does not read them); the settings it keeps are ours.
    registered = setup_runs.registered_task()
    assert registered is not None, "no task registered"
    for setting in ("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>", "<Priority>4</Priority>",
                    "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"):
        assert setting in registered
    assert ("Tarnlumo setup: logon task Tarnlumo registered: starts %sTarnlumo.exe with the highest"
            " privileges at the logon of %s" % (DEFAULT_DIR, user)) in setup_runs.setup_log()


def test_installed_program_shows_the_page_and_logs_in(till, installed):
    till.program = Program(till.folder, till.ctl)
    till.program.stderr_path = till.stderr
    till.program.start()
    loaded = till.office.wait_report(lambda r: True, START_TIMEOUT, kind="loaded")
    assert loaded, "the page never loaded"
    assert loaded["href"] == "http://127.0.0.1:%d/client/app/lumo/" % till.office.web_port
    assert loaded["loads"] == 1
    assert till.office.wait("received", 1, 30), "no login"
    assert '"a":"login"' in till.office.received()[0]["text"]
    assert till.program.wait_main_visible(30)
    first = till.folder.log()[0]
    assert first.category == "版本号"
    assert first.message == "%s name:Tarnlumo.exe" % file_version(str(till.folder.path / "Tarnlumo.exe"))


def test_page_writes_a_key_of_its_own(till, installed):
    arg = json.dumps({"c": "sys", "a": "writeini", "data": PAGE_KEY})
    till.office.push(json.dumps({"c": "e2e", "a": "serverjs", "data": {"id": 1, "arg": arg}}))
    reply = till.office.wait_report(lambda r: r.get("id") == 1, 30, kind="reply")
    assert reply and reply["value"] is True
    assert till.folder.config()["page"] == {"kept": "written-by-page"}


@pytest.fixture(scope="module")
def upgraded(till, installed):
    assert till.program and till.program.alive(), "nothing runs to be upgraded"
    till.before = Till()
    till.before.config = till.folder.config_path.read_bytes()
    till.before.log = [str(line) for line in till.folder.log()]
    till.before.storage = till.folder.local_storage()
    result = setup_runs.run(till.newer, "/S", extra_env=setup_runs.ICACLS_TRACE)
    setup_runs.TIMES["upgrade"] = result.seconds
    return result


def test_upgrade_ends_the_running_copy_in_order(till, upgraded):
    assert upgraded.code == 0, upgraded.errors
    assert till.program.wait_exit(5) is not None, "the old copy still runs"
    old_run = till.folder.log()[:len(till.before.log) + 2]
    assert [str(line) for line in old_run[:len(till.before.log)]] == till.before.log
    assert ended_in_order(old_run), old_run[-4:]
    assert any("exited" in line for line in setup_runs.setup_log())
    assert not abrupt_restarts(till.folder), "the watcher restarted the copy the upgrade ended"


def test_upgrade_replaces_the_program_and_starts_it_again(till, upgraded, bin_dir):
    newer = file_version(str(bin_dir / "next" / "Tarnlumo.exe"))
    assert file_version(str(till.folder.path / "Tarnlumo.exe")) == newer
    line = till.folder.wait_log(lambda l: l.category == "版本号", START_TIMEOUT,
                                len(till.before.log))
    assert line and line.message == "%s name:Tarnlumo.exe" % newer
    assert wait_until(lambda: len(logins(till.office)) >= 2, START_TIMEOUT), "no login after it"
    assert setup_runs.registry_entry()["DisplayVersion"] == newer


def test_upgrade_resets_what_the_folder_holds_and_keeps_the_task(till, upgraded):
    folder = DEFAULT_DIR.rstrip("\\")
    # The files of the earlier install take the folder's entries.
    assert setup_runs.icacls_calls(upgraded.errors) == setup_runs.folder_protection_calls(folder) + [
        [folder + "\\*", "/reset", "/T", "/C", "/Q"]]
    assert setup_runs.registered_task() is not None
    assert setup_runs.task_definition(till.folder)["command"] == '"%sTarnlumo.exe"' % DEFAULT_DIR


def test_upgrade_keeps_config_log_and_local_storage(till, upgraded):
    assert till.folder.config_path.read_bytes() == till.before.config
    assert till.before.storage, "the page left no local storage before the upgrade"
    loaded = till.office.wait_report(lambda r: r["loads"] == 2, START_TIMEOUT, kind="loaded")
    assert loaded, "the new copy's page did not find its local storage"
    assert len(runs(till.folder.log())) == 2


@pytest.fixture(scope="module")
def uninstalled(till, upgraded):
    assert till.ctl.wait("visible", "present", START_TIMEOUT), "the new copy is not up"
    till.log_before = len(till.folder.log())
    result = setup_runs.uninstall(till.folder)
    setup_runs.TIMES["uninstall"] = result.seconds
    return result


def test_uninstall_ends_the_running_copy_in_order(till, uninstalled):
    assert uninstalled.code == 0, uninstalled.errors
    assert till.ctl.wait("main", "gone", 5)
    assert ended_in_order(till.folder.log()), till.folder.log()[-4:]
    # Nothing comes back once the files are gone.
    time.sleep(5)
    assert till.ctl.main().get("found") == "0"
    assert not abrupt_restarts(till.folder)


def test_uninstall_removes_program_shortcuts_and_entry_keeps_data(till, uninstalled):
    kept = till.folder.files()
    assert "config.ini" in kept and "log" in kept
    # Our common.dll records the update hand-offs it was given beside them.
    data = {"config.ini", "log", "common_update_calls.txt"}
    assert set(kept) - data == set(till.folder.local_storage())
    assert setup_runs.shortcuts() == []
    assert setup_runs.registry_entry() is None
    assert till.folder.config()["page"] == {"kept": "written-by-page"}
    assert setup_runs.registered_task() is None, "the logon task is still registered"
    assert "Tarnlumo setup: logon task Tarnlumo removed" in setup_runs.setup_log()


def test_uninstall_asked_to_removes_the_data_too(till, uninstalled):
    config = till.folder.config_path.read_bytes()
    again = setup_runs.run(till.current, "/S")
    assert again.code == 0, again.errors
    # No parameters: the kept file is not touched.
    assert till.folder.config_path.read_bytes() == config
    assert setup_runs.registry_entry() is not None
    exits = exited_lines()
    result = setup_runs.uninstall(till.folder, "/REMOVEDATA=1")
    assert result.code == 0, result.errors
    # Nothing ran before this install, so it started nothing for the uninstall to end.
    assert exited_lines() == exits
    assert not till.folder.path.exists(), till.folder.files()
    assert setup_runs.registry_entry() is None
    assert setup_runs.shortcuts() == []


def abrupt_restarts(folder):
    """"重启" lines of copies a watcher started after an end it took for abrupt."""
    return [l for l in folder.log() if l.category == "重启" and "意外结束" in l.message]


def exited_lines():
    """How many times an installer saw a running copy end through its own exit."""
    return sum(1 for line in setup_runs.setup_log() if line.endswith(") exited"))


def press(*keys):
    """Keys to the focused window of the virtual display (the installer's)."""
    subprocess.run(["xdotool", "key"] + list(keys), env=ENV, check=True, timeout=30)


def window_shown(title):
    found = subprocess.run(["xdotool", "search", "--name", title], env=ENV,
                           capture_output=True, timeout=30)
    return found.returncode == 0


def test_interactive_install_asks_for_the_server_and_starts_the_program(till, uninstalled):
    """Run without /S into a folder of its own: the folder page, the server page
    (filled from the parameters, as an upgrade fills it from config.ini), the
    install, and the finish page that starts the program."""
    folder = InstalledFolder("C:\\lumo_interactive\\")
    before = len(logins(till.office))
    with open(till.stderr, "ab") as errors:
        setup = subprocess.Popen([str(WINE_RUN), str(till.current), "/IP=127.0.0.1",
                                  "/WEBPORT=%d" % till.office.web_port, "/INDEX=1",
                                  "/D=C:\\lumo_interactive"],
                                 env=ENV, stdout=subprocess.DEVNULL, stderr=errors)
    try:
        assert wait_until(lambda: window_shown("TarnPOS背屏 lumo"), 60), "no installer window"
        time.sleep(1)
        press("Return")  # the folder
        time.sleep(1)
        press("Return")  # the server page: install
        assert wait_until(lambda: setup_runs.registry_entry() is not None, 60), "nothing installed"
        time.sleep(2)
        press("Return")  # finish, with "run" ticked
        assert setup.wait(30) == 0
    finally:
        if setup.poll() is None:
            setup.kill()
    assert folder.config() == {"server": {"ip": "127.0.0.1", "webport": str(till.office.web_port)},
                               "local": {"index": "1"}}
    assert setup_runs.registry_entry()["InstallLocation"] == "C:\\lumo_interactive"
    assert wait_until(lambda: len(logins(till.office)) > before, START_TIMEOUT), \
        "the program the finish page started did not log in"
    assert till.ctl.wait("visible", "present", 60)
    exits = exited_lines()
    result = setup_runs.uninstall(folder, "/REMOVEDATA=1")
    assert result.code == 0
    assert till.ctl.wait("main", "gone", 5)
    assert exited_lines() == exits + 1, setup_runs.setup_log()[-3:]
    assert not folder.path.exists(), folder.files()


def test_copy_waiting_for_its_server_is_ended_hard_after_the_bounded_wait(till, uninstalled):
    """A copy still waiting for its server at start-up handles no window
    message; the upgrade must still go through, after its bounded wait."""
    folder = InstalledFolder("C:\\lumo_waiting\\")
    first = setup_runs.run(till.current, "/S", "/IP=127.0.0.1", "/WEBPORT=%d" % till.office.web_port,
                           "/INDEX=1", "/D=C:\\lumo_waiting")
    assert first.code == 0, first.errors
    till.office.set_config(root_status=503)
    try:
        program = Program(folder, till.ctl)
        program.stderr_path = till.stderr
        program.start()
        assert folder.wait_log(lambda l: l.category == "版本号", START_TIMEOUT), "it never started"
        again = setup_runs.run(till.newer, "/S")
        assert again.code == 0, again.errors
        assert again.seconds >= 30, "the stuck copy cannot have ended through its exit"
        assert program.wait_exit(5) is not None, "the stuck copy still runs"
        assert any(line.endswith("it was ended hard") for line in setup_runs.setup_log()[-3:])
    finally:
        till.office.set_config(root_status=200)
    # The copy started again after the upgrade gets its server now and comes up;
    # the hard end was the installer's, so the watcher restarted nothing.
    assert till.ctl.wait("visible", "present", START_TIMEOUT)
    assert not abrupt_restarts(folder), "the watcher restarted the copy ended hard"
    exits = exited_lines()
    assert setup_runs.uninstall(folder, "/REMOVEDATA=1").code == 0
    assert exited_lines() == exits + 1
    assert not folder.path.exists(), folder.files()


def test_logon_task_for_a_named_user_in_a_folder_of_its_own(till, uninstalled):
    """/TASKUSER= names the till's user; the user and the folder are written
    into the task definition as XML text, whatever characters they hold."""
    folder = InstalledFolder("C:\\Tarn&Co\\")
    user = "TILL01\\kasse<&>1"
    result = setup_runs.run(till.current, "/S", "/IP=127.0.0.1", "/TASKUSER=" + user,
                            "/D=C:\\Tarn&Co", extra_env=setup_runs.ICACLS_TRACE)
    assert result.code == 0, result.errors
    assert setup_runs.icacls_calls(result.errors) == setup_runs.folder_protection_calls("C:\\Tarn&Co")
    task = setup_runs.task_definition(folder)
    assert task["user"] == task["trigger_user"] == user
    assert task["command"] == '"C:\\Tarn&Co\\Tarnlumo.exe"'
    assert task["run_level"] == "HighestAvailable"
    assert setup_runs.registered_task() is not None
    assert setup_runs.uninstall(folder, "/REMOVEDATA=1").code == 0
    assert setup_runs.registered_task() is None
    assert not folder.path.exists(), folder.files()


FAILING_ICACLS = r"""#include <stdio.h>
#include <windows.h>
/* Stands in for icacls.exe where the permissions cannot be changed: records
   how it was run and fails as icacls does. */
int main(void) {
  FILE *f = fopen("C:\\failing-icacls-calls.txt", "a");
  if (f) { fprintf(f, "%s\n", GetCommandLineA()); fclose(f); }
  puts("C:\\lumo_denied: Access is denied.");
  return 5;
}
"""


def test_uninstall_that_cannot_start_schtasks_says_the_task_is_left(till, uninstalled):
    """schtasks.exe turned off for the uninstall: nsExec cannot start it at all.
    That is no "no task to remove": the log says the task could not be
    removed, after the tries a passing start failure gets."""
    folder = InstalledFolder("C:\\lumo_task_left\\")
    result = setup_runs.run(till.current, "/S", "/IP=127.0.0.1", "/D=C:\\lumo_task_left")
    assert result.code == 0, result.errors
    assert setup_runs.registered_task() is not None
    try:
        setup_runs.uninstall(folder, extra_env={
            "WINEDLLOVERRIDES": "winemenubuilder.exe=d;schtasks.exe=d"})
        log = setup_runs.setup_log()
        assert ("Tarnlumo setup: the logon task Tarnlumo could not be removed:"
                " schtasks.exe did not start") in log, log[-4:]
        assert not any("no logon task" in line for line in log[-4:]), log[-4:]
        assert setup_runs.registered_task() is not None
    finally:
        setup_runs.wine_prefix.wine("schtasks", "/Delete", "/TN", setup_runs.TASK_NAME, "/F", timeout=60,
                                    capture_output=True)
    assert setup_runs.registered_task() is None


def test_folder_that_cannot_be_protected_gets_nothing_installed(till, uninstalled, tmp_path):
    """Wine's own icacls always succeeds; an icacls.exe of ours that fails
    takes its place for one install."""
    compiler = {"x86_64": "x86_64-w64-mingw32-gcc", "i686": "i686-w64-mingw32-gcc"}[
        setup_runs.wine_prefix.ARCH]
    (tmp_path / "icacls.c").write_text(FAILING_ICACLS)
    subprocess.run([compiler, "-O1", "-o", str(tmp_path / "icacls.exe"), str(tmp_path / "icacls.c")],
                   check=True, timeout=120)
    system32 = setup_runs.wine_prefix.PREFIX / "drive_c" / "windows" / "system32"
    calls = system32.parent.parent / "failing-icacls-calls.txt"
    original = (system32 / "icacls.exe").read_bytes()
    folder = InstalledFolder("C:\\lumo_denied\\")
    try:
        (system32 / "icacls.exe").write_bytes((tmp_path / "icacls.exe").read_bytes())
        result = setup_runs.run(till.current, "/S", "/IP=127.0.0.1", "/D=C:\\lumo_denied",
                                extra_env={"WINEDLLOVERRIDES": "winemenubuilder.exe=d;icacls.exe=n"})
    finally:
        (system32 / "icacls.exe").write_bytes(original)
    assert calls.exists(), "our icacls.exe was not run"
    assert "/setowner *S-1-5-32-544" in calls.read_text()
    assert result.code == 1, result.errors
    log = setup_runs.setup_log()
    assert ('Tarnlumo setup: icacls "C:\\lumo_denied" /setowner *S-1-5-32-544 /T /C /Q failed'
            ' (exit 5): C:\\lumo_denied: Access is denied.') in log
    assert log[-1] == ("Tarnlumo setup: the permissions of C:\\lumo_denied could not be restricted;"
                       " nothing was installed")
    assert not folder.path.exists(), folder.files()
    assert setup_runs.registry_entry() is None
    assert setup_runs.registered_task() is None
