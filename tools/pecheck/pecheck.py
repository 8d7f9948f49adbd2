#!/usr/bin/env python3
"""Static check of one Windows build's bin folder, without running anything.

    /usr/bin/python3 tools/pecheck/pecheck.py --arch {i686,x86_64} BIN_FOLDER

Looks at Tarnlumo.exe (machine, GUI subsystem, manifest, version resource,
imports) and at our stand-in libraries (machine, exported names). These are
the faults that only show on a Windows machine: a wrong-architecture file, a
console window, no elevation prompt, a MinGW runtime DLL missing beside the
program, a stand-in whose exports carry stdcall decoration so that
GetProcAddress finds nothing.

    /usr/bin/python3 tools/pecheck/pecheck.py --signatures [--require-signed] PATH...

Reports for each program and DLL (each PATH a file, or a folder whose .exe
and .dll files are looked at) whether it carries an Authenticode signature:
a non-empty security directory holding a PKCS#7 signed-data structure. The
signature itself is not verified (osslsigncode verify does that); this tells
a file nobody signed from one that was. With --require-signed an unsigned
file is a failure.

Prints one "ok:" or "FAIL:" line per check; exit status 0 when all pass,
1 when any fails, 2 on a usage error.
"""

import argparse
import re
import sys
import xml.etree.ElementTree as ET
from collections import namedtuple
from pathlib import Path

import pefile

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import abi_names  # noqa: E402  (needs the path above when run from elsewhere)

DEFAULT_REPO = HERE.parents[1]

Arch = namedtuple("Arch", "machine magic manifest_arch")
ARCHES = {
    "i686": Arch(0x14C, 0x10B, "x86"),
    "x86_64": Arch(0x8664, 0x20B, "amd64"),
}
MACHINE_NAMES = {0x14C: "i386", 0x8664: "AMD64", 0x1C0: "ARM", 0xAA64: "ARM64"}
MAGIC_NAMES = {0x10B: "PE32", 0x20B: "PE32+"}
SUBSYSTEM_GUI = 2
SUBSYSTEM_NAMES = {1: "native", 2: "Windows GUI", 3: "console"}
RT_MANIFEST = 24
# The only manifest Windows reads when it starts an .exe.
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1

EXE_NAME = "Tarnlumo.exe"

# Windows' own DLLs, by base name in lower case; anything else imported by the
# program would have to ship beside it.
SYSTEM_DLLS = {
    "kernel32", "user32", "gdi32", "shell32", "advapi32", "ole32", "oleaut32",
    "comctl32", "shlwapi", "imm32", "ws2_32", "msimg32", "msvcrt", "comdlg32",
    "winmm", "version", "ntdll", "crypt32", "bcrypt", "secur32", "rpcrt4",
    "uxtheme", "dwmapi", "iphlpapi", "windowscodecs",
}
# The program finds these with LoadLibrary at run time; importing one would
# keep it from starting at all when the file is absent.
RUNTIME_LOADED = {"node.dll", "hpsocket4c.dll", "common.dll"}
MINGW_RUNTIME = re.compile(r"^(libstdc\+\+-6|libgcc_s_.*|libwinpthread-1)\.dll$", re.I)

# f@4, _f@4 and @f@4 (fastcall) all end in @<digits>.
DECORATED = re.compile(r"@\d+$")

# (file in BIN, header, pattern of the macro names holding its lists, ABI list)
Library = namedtuple("Library", "file header macro abi")
LIBRARIES = [
    Library("HPSocket4C.dll", "ext/hpsocket_api.h", r"HPSOCKET_DLL_FUNCTIONS",
            abi_names.HPSOCKET_ABI),
    Library("node.dll", "ext/node_api.h", r"NODE_\w+_FUNCTIONS", abi_names.NODE_ABI),
    Library("common.dll", "ext/common_api.h", r"COMMON_DLL_FUNCTIONS", abi_names.COMMON_ABI),
]
# A second engine, built only in some trees; same binary interface as node.dll.
OPTIONAL_LIBRARIES = [("chromium/node.dll", "node.dll")]

Result = namedtuple("Result", "passed text")


def ok(label, text):
    return Result(True, f"{label}: {text}")


def fail(label, text):
    return Result(False, f"{label}: {text}")


class CheckError(Exception):
    """A file or text the checks need is missing or unreadable."""


# WIN_CERTIFICATE: dwLength, wRevision, wCertificateType, then the data.
WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002
WIN_CERT_HEADER = 8
# DER of the object identifier 1.2.840.113549.1.7.2 (PKCS#7 signedData).
SIGNED_DATA_OID = bytes.fromhex("06092a864886f70d010702")
SECURITY_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]

# ---------------------------------------------------------------- sources --

def read_version_text(version_path):
    """The program's version: the first line of resources/version.txt."""
    try:
        lines = Path(version_path).read_text(encoding="utf-8", errors="replace").splitlines()
    except OSError as e:
        raise CheckError(f"cannot read: {e.strerror}")
    text = lines[0].strip() if lines else ""
    if not text:
        raise CheckError("no version on its first line")
    return text


def version_numbers(text):
    """"1.0.0.1" -> (1, 0, 0, 1), the four 16-bit fields of a fixed version."""
    parts = text.split(".")
    if not 1 <= len(parts) <= 4 or not all(p.isdigit() and int(p) < 0x10000 for p in parts):
        raise CheckError(f'version text "{text}" is not up to four numbers below 65536')
    return tuple(int(p) for p in parts) + (0,) * (4 - len(parts))


def parse_function_lists(text, macro_pattern):
    """Names from the X-macro lists `#define NAME(X) X(name, type) ...` whose
    NAME matches macro_pattern, in order, each once."""
    # Splice continued lines first, then drop comments: the order in which the
    # preprocessor does it, so a // comment ends the whole macro.
    text = re.sub(r"\\[ \t]*\r?\n", "", text)
    text = re.sub(r"/\*.*?\*/|//[^\n]*", " ", text, flags=re.S)
    names = []
    found_macro = False
    for line in text.splitlines():
        m = re.match(r"\s*#\s*define\s+(\w+)\(\s*(\w+)\s*\)(.*)", line)
        if not m or not re.fullmatch(macro_pattern, m.group(1)):
            continue
        found_macro = True
        param = re.escape(m.group(2))
        for name in re.findall(rf"(?<!\w){param}\s*\(\s*([A-Za-z_]\w*)\s*,", m.group(3)):
            if name not in names:
                names.append(name)
    if not found_macro:
        raise CheckError(f"no #define {macro_pattern}(X) list")
    if not names:
        raise CheckError(f"the {macro_pattern}(X) lists name no function")
    return names


def looked_up_names(repo, library):
    path = Path(repo) / library.header
    try:
        text = path.read_text(encoding="utf-8", errors="replace")
    except OSError as e:
        raise CheckError(f"cannot read: {e.strerror}")
    return parse_function_lists(text, library.macro)


# ------------------------------------------------------------- PE checks --

def load_pe(path):
    path = Path(path)
    if not path.is_file():
        raise CheckError(f"not found ({path})")
    try:
        pe = pefile.PE(str(path), fast_load=True)
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY[d] for d in (
                "IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT",
                "IMAGE_DIRECTORY_ENTRY_EXPORT", "IMAGE_DIRECTORY_ENTRY_RESOURCE")])
    except (pefile.PEFormatError, OSError) as e:
        raise CheckError(f"not a readable PE file ({e})")
    return pe


def describe_machine(machine, magic):
    m = MACHINE_NAMES.get(machine, "unknown")
    return f"machine 0x{machine:x} ({m}) with {MAGIC_NAMES.get(magic, hex(magic))} header"


def check_machine(pe, arch, label):
    want = ARCHES[arch]
    got = (pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic)
    if got == (want.machine, want.magic):
        return ok(label, f"{describe_machine(*got)}, as {arch} needs")
    return fail(label, f"expected {describe_machine(want.machine, want.magic)} for {arch},"
                       f" found {describe_machine(*got)}")


def check_subsystem(pe, label):
    sub = pe.OPTIONAL_HEADER.Subsystem
    name = SUBSYSTEM_NAMES.get(sub, "other")
    if sub == SUBSYSTEM_GUI:
        return ok(label, "Windows GUI subsystem")
    # A console program opens a console window beside the display.
    return fail(label, f"expected Windows GUI subsystem (2), found {sub} ({name})")


def resources_of_type(pe, type_id):
    """[(resource id, bytes)] of every language of every resource of a type."""
    found = []
    for t in getattr(getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None), "entries", []):
        if t.id != type_id or not hasattr(t, "directory"):
            continue
        for res in t.directory.entries:
            for lang in getattr(getattr(res, "directory", None), "entries", []):
                d = lang.data.struct
                found.append((res.id, pe.get_data(d.OffsetToData, d.Size)))
    return found


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(pe, arch, label):
    manifests = resources_of_type(pe, RT_MANIFEST)
    mine = [data for rid, data in manifests if rid == CREATEPROCESS_MANIFEST_RESOURCE_ID]
    if not mine:
        others = sorted({str(rid) for rid, _ in manifests})
        where = f"found one only under id {', '.join(others)}" if others else "found none"
        return [fail(label, f"expected an RT_MANIFEST resource with id 1, {where}")]
    try:
        root = ET.fromstring(mine[0])
    except ET.ParseError as e:
        return [fail(label, f"manifest is not well-formed XML ({e})")]

    results = []
    levels = [el.get("level") for el in root.iter()
              if local_name(el.tag) == "requestedExecutionLevel"]
    if levels and all(lv == "requireAdministrator" for lv in levels):
        results.append(ok(label, 'manifest requests level="requireAdministrator"'))
    else:
        found = ", ".join(f'"{lv}"' for lv in levels) if levels else "no requestedExecutionLevel"
        results.append(fail(label, f'expected manifest requestedExecutionLevel '
                                   f'level="requireAdministrator", found {found}'))

    # Only the program's own identity; the Common Controls dependency has one too.
    want = ARCHES[arch].manifest_arch
    own = [el.get("processorArchitecture") for el in root
           if local_name(el.tag) == "assemblyIdentity"]
    got = own[0] if own else None
    if got is not None and got.lower() == want:
        results.append(ok(label, f'manifest assemblyIdentity processorArchitecture="{got}"'))
    else:
        found = f'"{got}"' if got is not None else (
            "no processorArchitecture" if own else "no assemblyIdentity")
        results.append(fail(label, f'expected manifest assemblyIdentity '
                                   f'processorArchitecture="{want}", found {found}'))
    return results


def file_version_strings(pe):
    """[(string table key, FileVersion or None)] of the version resource."""
    tables = []
    for block in getattr(pe, "FileInfo", []) or []:
        for info in block if isinstance(block, list) else [block]:
            if getattr(info, "Key", b"") != b"StringFileInfo":
                continue
            for table in getattr(info, "StringTable", []):
                value = table.entries.get(b"FileVersion")
                tables.append((table.LangID.decode("ascii", "replace"),
                               None if value is None else value.decode("utf-8", "replace")))
    return tables


def check_version(pe, version_text, label):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return [fail(label, f"expected a version resource {version_text}, found none")]
    results = []
    strings = file_version_strings(pe)
    wrong = [(k, v) for k, v in strings if v != version_text]
    if strings and not wrong:
        results.append(ok(label, f'FileVersion string "{version_text}"'))
    else:
        found = ", ".join(f'"{v}" in {k}' if v is not None else f"none in {k}"
                          for k, v in wrong) or "no StringFileInfo"
        results.append(fail(label, f'expected FileVersion string "{version_text}", found {found}'))

    want = version_numbers(version_text)
    ms, ls = fixed[0].FileVersionMS, fixed[0].FileVersionLS
    got = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    if got == want:
        results.append(ok(label, f"fixed file version {'.'.join(map(str, got))}"))
    else:
        results.append(fail(label, f"expected fixed file version {'.'.join(map(str, want))}, "
                                   f"found {'.'.join(map(str, got))}"))
    return results


def is_system_dll(name):
    base = name.lower()
    if base.startswith("api-ms-win-"):
        return True
    return base.endswith(".dll") and base[:-4] in SYSTEM_DLLS


def imported_dlls(pe):
    """[(dll name, delay-loaded)] in import table order."""
    names = []
    for attr, delayed in (("DIRECTORY_ENTRY_IMPORT", False), ("DIRECTORY_ENTRY_DELAY_IMPORT", True)):
        for entry in getattr(pe, attr, []):
            names.append((entry.dll.decode("ascii", "replace"), delayed))
    return names


def check_imports(pe, label):
    imports = imported_dlls(pe)
    bad = []
    for name, delayed in imports:
        if is_system_dll(name):
            continue
        low = name.lower()
        if MINGW_RUNTIME.match(low):
            why = "MinGW runtime, must be linked statically"
        elif low in RUNTIME_LOADED or low.startswith("libcurl"):
            why = "must be loaded at run time by name"
        else:
            why = "not a system DLL"
        bad.append(f"{name} ({why}{', delay-loaded' if delayed else ''})")
    if bad:
        return fail(label, f"expected only system DLL imports, found {', '.join(bad)}")
    return ok(label, f"imports only system DLLs ({len(imports)})")


def exported_names(pe):
    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if exports is None:
        return []
    return [s.name.decode("latin-1") for s in exports.symbols if s.name]


def check_exports(pe, required, label):
    names = exported_names(pe)
    have = set(names)
    missing = sorted(set(required) - have)
    decorated = sorted(n for n in have if DECORATED.search(n))
    results = []
    if missing:
        results.append(fail(label, f"expected all {len(set(required))} required exports, "
                                   f"missing {len(missing)}: {' '.join(missing)}"))
    else:
        results.append(ok(label, f"exports all {len(set(required))} required names"))
    if decorated:
        results.append(fail(label, f"expected undecorated export names, found {len(decorated)}"
                                   f" decorated: {' '.join(decorated)}"))
    else:
        results.append(ok(label, f"no decorated export among {len(have)}"))
    return results


def summary(pe, label):
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    sub = SUBSYSTEM_NAMES.get(oh.Subsystem, "other")
    return (f"info: {label}: {describe_machine(fh.Machine, oh.Magic)}, subsystem {oh.Subsystem}"
            f" ({sub}), {len(exported_names(pe))} exports, {len(imported_dlls(pe))} imported DLLs")


# ------------------------------------------------------------ signatures --

def der_length(data, pos):
    """(length, position after the length field) of a DER element's length at pos."""
    first = data[pos]
    if first < 0x80:
        return first, pos + 1
    count = first & 0x7F
    if count == 0 or count > 4 or pos + 1 + count > len(data):
        raise ValueError("bad DER length")
    return int.from_bytes(data[pos + 1:pos + 1 + count], "big"), pos + 1 + count


def is_pkcs7_signed_data(blob):
    """Whether blob begins with a DER ContentInfo whose content type is signedData."""
    try:
        if len(blob) < 2 or blob[0] != 0x30:
            return False
        length, pos = der_length(blob, 1)
        if pos + length > len(blob):
            return False
        return blob[pos:pos + len(SIGNED_DATA_OID)] == SIGNED_DATA_OID
    except (ValueError, IndexError):
        return False


def signature_of(path):
    """(signed, text) of one file: whether its security directory holds a
    PKCS#7 signature, and what was found."""
    try:
        data = Path(path).read_bytes()
        pe = pefile.PE(data=data, fast_load=True)
    except (pefile.PEFormatError, OSError) as e:
        raise CheckError(f"not a readable PE file ({e})")
    dirs = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    if len(dirs) <= SECURITY_DIRECTORY:
        return False, "no security directory"
    entry = dirs[SECURITY_DIRECTORY]
    # Unlike the others, this directory's address is a file offset.
    offset, size = entry.VirtualAddress, entry.Size
    if offset == 0 or size == 0:
        return False, "empty security directory (not signed)"
    if offset + size > len(data) or size < WIN_CERT_HEADER:
        return False, f"security directory at {offset} of {size} bytes lies outside the file"
    length = int.from_bytes(data[offset:offset + 4], "little")
    revision = int.from_bytes(data[offset + 4:offset + 6], "little")
    kind = int.from_bytes(data[offset + 6:offset + 8], "little")
    if kind != WIN_CERT_TYPE_PKCS_SIGNED_DATA or revision != WIN_CERT_REVISION_2_0:
        return False, f"certificate entry of type {kind:#x}, revision {revision:#x}, not PKCS#7"
    if length < WIN_CERT_HEADER or length > size:
        return False, f"certificate entry of {length} bytes in a directory of {size}"
    if not is_pkcs7_signed_data(data[offset + WIN_CERT_HEADER:offset + length]):
        return False, "certificate entry holds no PKCS#7 signed data"
    return True, f"signed (PKCS#7, {length - WIN_CERT_HEADER} bytes)"


def signature_targets(paths):
    """Files to look at: each file given, and the .exe and .dll files in each folder given."""
    files = []
    for path in map(Path, paths):
        if path.is_dir():
            files += sorted(p for p in path.rglob("*")
                            if p.is_file() and p.suffix.lower() in (".exe", ".dll"))
        else:
            files.append(path)
    return files


def check_signatures(paths, require_signed):
    results = []
    for path in signature_targets(paths):
        label = str(path)
        try:
            signed, text = signature_of(path)
        except CheckError as e:
            results.append(fail(label, str(e)))
            continue
        if signed or not require_signed:
            results.append(ok(label, text))
        else:
            results.append(fail(label, f"expected a signature, found {text}"))
    if not results:
        results.append(fail(" ".join(map(str, paths)), "no program or DLL to look at"))
    return results


# ------------------------------------------------------------ per file --

def check_exe(bin_dir, arch, version_text, infos):
    try:
        pe = load_pe(Path(bin_dir) / EXE_NAME)
    except CheckError as e:
        return [fail(EXE_NAME, str(e))]
    infos.append(summary(pe, EXE_NAME))
    results = [check_machine(pe, arch, EXE_NAME), check_subsystem(pe, EXE_NAME)]
    results += check_manifest(pe, arch, EXE_NAME)
    if version_text is not None:
        results += check_version(pe, version_text, EXE_NAME)
    results.append(check_imports(pe, EXE_NAME))
    return results


def check_library(path, label, arch, required, infos):
    try:
        pe = load_pe(path)
    except CheckError as e:
        return [fail(label, str(e))]
    infos.append(summary(pe, label))
    return [check_machine(pe, arch, label)] + check_exports(pe, required, label)


def run(bin_dir, arch, repo, version_path):
    """All checks of one bin folder: ([Result], [summary line])."""
    bin_dir, repo = Path(bin_dir), Path(repo)
    results, infos = [], []
    if not bin_dir.is_dir():
        return [fail(str(bin_dir), "expected a bin folder, found none")], infos

    version_text = None
    try:
        version_text = read_version_text(version_path)
        version_numbers(version_text)
    except CheckError as e:
        results.append(fail(str(version_path), f"cannot take the version from it: {e}"))
        version_text = None
    results += check_exe(bin_dir, arch, version_text, infos)

    required_by_file = {}
    for lib in LIBRARIES:
        required = list(lib.abi)
        try:
            required += looked_up_names(repo, lib)
        except CheckError as e:
            # Still check the fixed names; the header fault is its own line.
            results.append(fail(lib.header, str(e)))
        required_by_file[lib.file] = required
        results += check_library(bin_dir / lib.file, lib.file, arch, required, infos)

    for rel, like in OPTIONAL_LIBRARIES:
        if (bin_dir / rel).exists():
            results += check_library(bin_dir / rel, rel, arch, required_by_file[like], infos)
    return results, infos


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", choices=sorted(ARCHES),
                        help="the target of the bin folder (needed unless --signatures)")
    parser.add_argument("--signatures", action="store_true",
                        help="report whether each PATH (file, or .exe/.dll in a folder) is signed")
    parser.add_argument("--require-signed", action="store_true",
                        help="with --signatures: an unsigned file is a failure")
    parser.add_argument("--repo", type=Path, default=DEFAULT_REPO,
                        help="repository root holding ext/*_api.h (default: %(default)s)")
    parser.add_argument("--version-file", type=Path,
                        help="file whose first line is the version (default: REPO/resources/version.txt)")
    parser.add_argument("--summary", action="store_true",
                        help="also print one info line per file")
    parser.add_argument("bin", type=Path, nargs="+", metavar="BIN_FOLDER|PATH")
    args = parser.parse_args(argv)
    if args.signatures:
        results = check_signatures(args.bin, args.require_signed)
        for r in results:
            print(("ok: " if r.passed else "FAIL: ") + r.text)
        return 0 if all(r.passed for r in results) else 1
    if args.require_signed:
        parser.error("--require-signed goes with --signatures")
    if args.arch is None or len(args.bin) != 1:
        parser.error("a bin folder is checked with --arch ARCH BIN_FOLDER")
    args.bin = args.bin[0]

    version_path = (args.version_file if args.version_file is not None
                    else args.repo / "resources" / "version.txt")
    results, infos = run(args.bin, args.arch, args.repo, version_path)
    if args.summary:
        for line in infos:
            print(line)
    for r in results:
        print(("ok: " if r.passed else "FAIL: ") + r.text)
    return 0 if all(r.passed for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
