#!/usr/bin/env python3
"""Prints the fixed file version a.b.c.d of a Windows program's version
resource, which the build makes from resources/version.txt; the installers
are named after it. Exit status 1 when the file has none."""

import sys

import pefile


def file_version(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    for info in getattr(pe, "VS_FIXEDFILEINFO", None) or []:
        ms, ls = info.FileVersionMS, info.FileVersionLS
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return None


def main(argv):
    if len(argv) != 2:
        print("usage: exe_version.py PROGRAM.exe", file=sys.stderr)
        return 2
    try:
        version = file_version(argv[1])
    except (OSError, pefile.PEFormatError) as e:
        print("exe_version: %s: %s" % (argv[1], e), file=sys.stderr)
        return 1
    if not version:
        print("exe_version: %s has no version resource" % argv[1], file=sys.stderr)
        return 1
    print(version)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
