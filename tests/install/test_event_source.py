"""The event source "Tarnlumo" in the Application log: a silent install
registers it with the installed program as its message file, a refused
install does not, and the uninstall removes it."""

import setup_runs
import wine_prefix

EVENT_SOURCE_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Tarnlumo"
FOLDER = "C:\\Tarn\\events\\"


def event_source():
    """{value name: (type, data)} of the event source's key, None when there is none."""
    done = wine_prefix.wine("reg", "query", EVENT_SOURCE_KEY, capture_output=True, timeout=60)
    if done.returncode != 0:
        return None
    values = {}
    for line in done.stdout.decode("gbk", "replace").splitlines():
        match = setup_runs.REG_LINE.match(line.rstrip("\r"))
        if match:
            values[match.group(1)] = (match.group(2), match.group(3))
    return values


def test_a_refused_install_registers_no_event_source(prefix, packages):
    result = setup_runs.run(packages[0], "/S", "/IP=", "/D=" + FOLDER.rstrip("\\"))
    assert result.code == setup_runs.BAD_PARAMETER, result.errors
    assert event_source() is None


def test_install_registers_the_event_source_and_uninstall_removes_it(prefix, packages):
    assert event_source() is None
    result = setup_runs.run(packages[0], "/S", "/IP=127.0.0.1", "/D=" + FOLDER.rstrip("\\"))
    assert result.code == 0, result.errors
    assert event_source() == {"EventMessageFile": ("REG_EXPAND_SZ", FOLDER + "Tarnlumo.exe"),
                              "TypesSupported": ("REG_DWORD", "0x7")}
    folder = setup_runs.InstalledFolder(FOLDER)
    assert "Tarnlumo.exe" in folder.files()
    removed = setup_runs.uninstall(folder, "/REMOVEDATA=1")
    assert removed.code == 0, removed.errors
    assert event_source() is None
    assert setup_runs.registry_entry() is None
    assert not folder.path.exists(), folder.files()
