"""The two shortcuts: created on the first run, rewritten when the program
folder moves, left alone (same file time) when they are right. Only the part
of start-up before the server check matters, so no server runs: each start is
ended once its version line is written (the shortcuts come before it)."""

import os
import struct

import pytest

from lumo_harness import SHORTCUT_NAME
from office import free_port

pytestmark = pytest.mark.slow

START_TIMEOUT = 60
HAS_ID_LIST, HAS_LINK_INFO = 0x1, 0x2
STRING_FLAGS = [0x4, 0x8, 0x10, 0x20, 0x40]  # name, relative path, working dir, arguments, icon
IS_UNICODE = 0x80


def link_fields(data):
    """Target (local base path), working directory and icon location of a .lnk file."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    icon_index = struct.unpack_from("<i", data, 0x38)[0]
    pos = 0x4C
    if flags & HAS_ID_LIST:
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, header = struct.unpack_from("<II", data, pos)
        base = struct.unpack_from("<I", data, pos + 0x10)[0]
        if header >= 0x24 and struct.unpack_from("<I", data, pos + 0x1C)[0]:
            start = pos + struct.unpack_from("<I", data, pos + 0x1C)[0]
            end = data.index(b"\0\0", start)
            end += (end - start) % 2
            target = data[start:end].decode("utf-16-le")
        elif base:
            start = pos + base
            target = data[start:data.index(b"\0", start)].decode("gbk")
        pos += size
    strings = {}
    for flag in STRING_FLAGS:
        if flags & flag:
            count = struct.unpack_from("<H", data, pos)[0]
            width = 2 if flags & IS_UNICODE else 1
            raw = data[pos + 2:pos + 2 + count * width]
            strings[flag] = raw.decode("utf-16-le" if width == 2 else "gbk").rstrip("\0")
            pos += 2 + count * width
    return {"target": target, "workdir": strings.get(0x10, ""), "icon": strings.get(0x40, ""),
            "icon_index": icon_index}


def start_until_version_line(run):
    before = len(run.folder.log())
    program = run.start_program()
    try:
        assert run.folder.wait_log(lambda l: l.category == "版本号", START_TIMEOUT, before)
    finally:
        program.kill()


def test_shortcuts_created_rewritten_after_a_move_and_kept_when_right(make_run, shortcut_folders):
    paths = [folder / SHORTCUT_NAME for folder in shortcut_folders]
    for path in paths:
        if path.exists():
            path.unlink()
    config = {"server": {"ip": "127.0.0.1", "webport": free_port()}}

    first = make_run("shortcut_a")
    first.folder.write_config(config)
    start_until_version_line(first)
    for path in paths:
        assert path.exists(), "%s not created" % path
        fields = link_fields(path.read_bytes())
        assert fields["target"] == first.folder.win_exe
        assert fields["workdir"] == first.folder.win_dir.rstrip("\\")
        assert fields["icon"] in (first.folder.win_exe, "") and fields["icon_index"] == 0

    moved = make_run("shortcut_moved")
    moved.folder.write_config(config)
    start_until_version_line(moved)
    for path in paths:
        assert link_fields(path.read_bytes())["target"] == moved.folder.win_exe

    times = [os.stat(path).st_mtime_ns for path in paths]
    start_until_version_line(moved)
    assert [os.stat(path).st_mtime_ns for path in paths] == times
