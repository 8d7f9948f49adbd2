"""Builds tiny PE files with the MinGW-w64 cross tools and checks that the
checker tells the good ones from the broken ones.

Run: /usr/bin/python3 -m pytest tools/pecheck/tests
"""

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
import abi_names  # noqa: E402
import pecheck  # noqa: E402

REPO = HERE.parents[2]
PECHECK = HERE.parent / "pecheck.py"
ARCH_PREFIX = {"i686": "i686-w64-mingw32", "x86_64": "x86_64-w64-mingw32"}
MANIFEST_ARCH = {"i686": "x86", "x86_64": "amd64"}


# ------------------------------------------------------------- building --

def tool(arch, name):
    path = shutil.which(f"{ARCH_PREFIX[arch]}-{name}")
    if path is None:
        pytest.skip(f"{ARCH_PREFIX[arch]}-{name} is not installed")
    return path


def run_tool(cmd, cwd):
    done = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    assert done.returncode == 0, f"{' '.join(map(str, cmd))}\n{done.stderr}"


WINMAIN = """#include <windows.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) { return 0; }
"""

CONSOLE_MAIN = "int main(void) { return 0; }\n"


def manifest_xml(arch_attr, level):
    trust = "" if level is None else f"""
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>
    <requestedExecutionLevel level="{level}" uiAccess="false"/>
  </requestedPrivileges></security></trustInfo>"""
    # The dependency names the other architecture on purpose: only the
    # program's own identity may decide.
    other = "x86" if arch_attr != "x86" else "amd64"
    return f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="t.app" version="1.0.0.1" processorArchitecture="{arch_attr}"/>{trust}
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
        processorArchitecture="{other}" publicKeyToken="6595b64144ccf1df" language="*"/>
  </dependentAssembly></dependency>
</assembly>
"""


def resource_script(manifest_id=1, version_text="1.0.0.1", fixed="1,0,0,1", version=True):
    lines = []
    if manifest_id is not None:
        lines.append(f'{manifest_id} 24 "app.manifest"')
    if version:
        lines.append(f"""1 VERSIONINFO
FILEVERSION {fixed}
PRODUCTVERSION {fixed}
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "080404b0"
    BEGIN
      VALUE "FileVersion", "{version_text}"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0804, 1200
  END
END""")
    return "\n".join(lines) + "\n"


def build_exe(folder, arch, *, gui=True, manifest_arch="", level="requireAdministrator",
              rc=None, source=None, compiler="gcc-posix", extra=()):
    """A small exe; by default a correct one for the given arch."""
    folder.mkdir(parents=True, exist_ok=True)
    if source is None:
        source = ("main.c", WINMAIN if gui else CONSOLE_MAIN)
    (folder / source[0]).write_text(source[1])
    cmd = [tool(arch, compiler), source[0], "-o", "Tarnlumo.exe",
           "-mwindows" if gui else "-mconsole", *extra]
    rc = resource_script() if rc is None else rc
    if rc:
        (folder / "app.manifest").write_text(
            manifest_xml(manifest_arch or MANIFEST_ARCH[arch], level))
        (folder / "app.rc").write_text(rc)
        run_tool([tool(arch, "windres"), "app.rc", "-O", "coff", "-o", "app.o"], folder)
        cmd.append("app.o")
    run_tool(cmd, folder)
    return folder / "Tarnlumo.exe"


def build_dll(folder, arch, name, exports, *, stdcall=False, kill_at=False):
    """A DLL exporting functions of one int argument under the given names."""
    folder.mkdir(parents=True, exist_ok=True)
    conv = "__stdcall " if stdcall else ""
    src = "".join(f"__declspec(dllexport) int {conv}{n}(int x) {{ return x; }}\n"
                  for n in exports)
    stem = Path(name).stem
    (folder / f"{stem}.c").write_text(src)
    cmd = [tool(arch, "gcc-posix"), "-shared", f"{stem}.c", "-o", name]
    if kill_at:
        cmd.append("-Wl,--kill-at")
    run_tool(cmd, folder)
    return folder / name


def results_for(path, check, *args):
    pe = pecheck.load_pe(path)
    out = check(pe, *args)
    return out if isinstance(out, list) else [out]


def failures(results):
    return [r.text for r in results if not r.passed]


ARCHS = pytest.mark.parametrize("arch", ["i686", "x86_64"])


# ------------------------------------------------------- header parsing --

def real_names(header, macro):
    text = (REPO / header).read_text()
    return pecheck.parse_function_lists(text, macro)


def test_real_hpsocket_list_has_single_and_multi_line_entries():
    names = real_names("ext/hpsocket_api.h", "HPSOCKET_DLL_FUNCTIONS")
    assert "HP_Client_Start" in names
    # Their types continue on the next line.
    assert "HP_Set_FN_Client_OnPrepareConnect" in names
    assert "HP_Client_StartWithBindAddressAndLocalPort" in names
    assert "HP_SSLClient_SetupSSLContext" in names
    # Entries on both sides of the multi-line ones, and the last one without
    # a trailing backslash.
    assert names.index("Destroy_HP_SSLPackClient") < names.index(
        "HP_Set_FN_Client_OnPrepareConnect") < names.index("HP_Set_FN_Client_OnConnect")
    assert names[-1] == "HP_SSLClient_StartSSLHandShake"


def test_real_lists_lose_no_entry():
    # Counted the plain way: every X( that opens a line of the header.
    for header, macro in [("ext/hpsocket_api.h", "HPSOCKET_DLL_FUNCTIONS"),
                          ("ext/node_api.h", r"NODE_\w+_FUNCTIONS"),
                          ("ext/common_api.h", "COMMON_DLL_FUNCTIONS")]:
        text = (REPO / header).read_text()
        opened = [ln.split("(")[1].split(",")[0].strip()
                  for ln in text.splitlines() if ln.lstrip().startswith("X(")]
        assert sorted(real_names(header, macro)) == sorted(set(opened)), header


def test_real_node_lists_are_all_collected():
    names = real_names("ext/node_api.h", r"NODE_\w+_FUNCTIONS")
    # One from each list, and a multi-line one.
    for n in ("wkeLoadW", "wkeRunJSW", "wkeOnConsole", "jsStringW",
              "wkeWebFrameGetMainWorldScriptContext", "wkeSetDeviceParameter"):
        assert n in names
    # The combining macro adds no list names of its own.
    assert not any(n.startswith("NODE_") for n in names)


def test_real_common_list_keeps_leading_underscores():
    names = real_names("ext/common_api.h", "COMMON_DLL_FUNCTIONS")
    assert names == ["fun_GetPCName", "_fun_update", "_fun_msg"]


def test_parser_takes_only_the_named_macro_and_ignores_comments():
    text = """
#define OTHER_FUNCTIONS(X) X(not_this, int)
// X(commented_out, int)
#define WANTED_FUNCTIONS(X) \\
  X(first, int(*)()) /* X(in_block_comment, int) */ \\
  X(second,          \\
    void(*)(int))    \\
  X(third, int)
  X(after_the_macro, int)
"""
    assert pecheck.parse_function_lists(text, "WANTED_FUNCTIONS") == ["first", "second", "third"]


def test_parser_reports_a_missing_list():
    with pytest.raises(pecheck.CheckError):
        pecheck.parse_function_lists("#define SOMETHING_ELSE(X) X(a, int)\n", "WANTED_FUNCTIONS")


def test_version_text_from_the_real_version_file():
    assert pecheck.read_version_text(REPO / "resources" / "version.txt") == "1.0.0.1"


def test_version_text_missing_is_an_error(tmp_path):
    empty = tmp_path / "version.txt"
    empty.write_text("\n1.0.0.1\n")
    with pytest.raises(pecheck.CheckError):
        pecheck.read_version_text(empty)
    with pytest.raises(pecheck.CheckError):
        pecheck.read_version_text(tmp_path / "absent.txt")


def test_system_dll_allowlist():
    for name in ("KERNEL32.dll", "ws2_32.dll", "api-ms-win-crt-runtime-l1-1-0.dll", "Comctl32.DLL"):
        assert pecheck.is_system_dll(name), name
    for name in ("libcurl-x64.dll", "node.dll", "kernel32x.dll", "libstdc++-6.dll", "ntdll.exe"):
        assert not pecheck.is_system_dll(name), name


# ---------------------------------------------------------- exe checks --

@ARCHS
def test_correct_exe_passes_every_exe_check(tmp_path, arch):
    exe = build_exe(tmp_path, arch)
    infos = []
    results = pecheck.check_exe(tmp_path, arch, "1.0.0.1", infos)
    assert failures(results) == []
    assert len(results) == 7


@ARCHS
def test_console_exe_fails_the_gui_check(tmp_path, arch):
    exe = build_exe(tmp_path, arch, gui=False)
    [r] = results_for(exe, pecheck.check_subsystem, "Tarnlumo.exe")
    assert not r.passed and "found 3 (console)" in r.text


def test_wrong_architecture_exe_fails(tmp_path):
    exe = build_exe(tmp_path, "i686")
    [r] = results_for(exe, pecheck.check_machine, "x86_64", "Tarnlumo.exe")
    assert not r.passed and "0x14c" in r.text
    [r] = results_for(exe, pecheck.check_machine, "i686", "Tarnlumo.exe")
    assert r.passed


def test_machine_and_header_kind_must_agree(tmp_path):
    # An AMD64 machine field over a PE32 header is no x86_64 program.
    exe = build_exe(tmp_path, "i686")
    pe = pecheck.load_pe(exe)
    pe.FILE_HEADER.Machine = 0x8664
    patched = tmp_path / "patched.exe"
    pe.write(str(patched))
    [r] = results_for(patched, pecheck.check_machine, "x86_64", "Tarnlumo.exe")
    assert not r.passed and "found machine 0x8664 (AMD64) with PE32 header" in r.text


@ARCHS
def test_manifest_without_require_administrator_fails(tmp_path, arch):
    for level in ("asInvoker", None):
        folder = tmp_path / str(level)
        exe = build_exe(folder, arch, level=level)
        level_result, arch_result = results_for(exe, pecheck.check_manifest, arch, "Tarnlumo.exe")
        assert not level_result.passed and "requireAdministrator" in level_result.text
        assert (f'"{level}"' if level else "no requestedExecutionLevel") in level_result.text
        assert arch_result.passed


def test_manifest_for_the_other_architecture_fails(tmp_path):
    exe = build_exe(tmp_path, "x86_64", manifest_arch="x86")
    level_result, arch_result = results_for(exe, pecheck.check_manifest, "x86_64", "Tarnlumo.exe")
    assert level_result.passed
    assert not arch_result.passed and '"amd64"' in arch_result.text and '"x86"' in arch_result.text


def test_manifest_missing_or_under_another_id_fails(tmp_path):
    exe = build_exe(tmp_path / "none", "x86_64", rc=resource_script(manifest_id=None))
    [r] = results_for(exe, pecheck.check_manifest, "x86_64", "Tarnlumo.exe")
    assert not r.passed and "found none" in r.text
    # Windows reads only id 1 when it starts an exe.
    exe = build_exe(tmp_path / "two", "x86_64", rc=resource_script(manifest_id=2))
    [r] = results_for(exe, pecheck.check_manifest, "x86_64", "Tarnlumo.exe")
    assert not r.passed and "only under id 2" in r.text


@ARCHS
def test_version_resource_of_another_version_fails(tmp_path, arch):
    exe = build_exe(tmp_path / "both", arch, rc=resource_script(version_text="1.0.0.2", fixed="1,0,0,2"))
    text_result, fixed_result = results_for(exe, pecheck.check_version, "1.0.0.1", "Tarnlumo.exe")
    assert not text_result.passed and '"1.0.0.2"' in text_result.text
    assert not fixed_result.passed and "found 1.0.0.2" in fixed_result.text


def test_version_string_and_fixed_version_are_each_checked(tmp_path):
    exe = build_exe(tmp_path / "fixed", "x86_64", rc=resource_script(fixed="1,0,1,0"))
    text_result, fixed_result = results_for(exe, pecheck.check_version, "1.0.0.1", "Tarnlumo.exe")
    assert text_result.passed and not fixed_result.passed and "found 1.0.1.0" in fixed_result.text
    exe = build_exe(tmp_path / "text", "x86_64", rc=resource_script(version_text="1.0"))
    text_result, fixed_result = results_for(exe, pecheck.check_version, "1.0.0.1", "Tarnlumo.exe")
    assert not text_result.passed and fixed_result.passed


def test_missing_version_resource_fails(tmp_path):
    exe = build_exe(tmp_path, "x86_64", rc=resource_script(version=False))
    [r] = results_for(exe, pecheck.check_version, "1.0.0.1", "Tarnlumo.exe")
    assert not r.passed and "found none" in r.text


@ARCHS
def test_exe_with_dynamic_cxx_runtime_fails_the_import_check(tmp_path, arch):
    src = ("main.cpp", '#include <string>\n#include <iostream>\n'
                       'int main() { std::string s("x"); std::cout << s; return 0; }\n')
    exe = build_exe(tmp_path / "dyn", arch, gui=False, rc="", source=src, compiler="g++-posix")
    [r] = results_for(exe, pecheck.check_imports, "Tarnlumo.exe")
    assert not r.passed and "libstdc++-6.dll (MinGW runtime" in r.text
    # The same program linked the way the build links it.
    exe = build_exe(tmp_path / "static", arch, gui=False, rc="", source=src,
                    compiler="g++-posix", extra=["-static"])
    [r] = results_for(exe, pecheck.check_imports, "Tarnlumo.exe")
    assert r.passed, r.text


@ARCHS
def test_exe_importing_a_run_time_library_fails(tmp_path, arch):
    build_dll(tmp_path, arch, "node.dll", ["wkeLoadW"])
    build_dll(tmp_path, arch, "helper.dll", ["helper_fn"])
    src = ("main.c", "int wkeLoadW(int); int helper_fn(int);\n"
                     "int main(void) { return wkeLoadW(0) + helper_fn(0); }\n")
    exe = build_exe(tmp_path, arch, gui=False, rc="", source=src, extra=["node.dll", "helper.dll"])
    [r] = results_for(exe, pecheck.check_imports, "Tarnlumo.exe")
    assert not r.passed
    assert "node.dll (must be loaded at run time by name)" in r.text
    assert "helper.dll (not a system DLL)" in r.text
    assert "KERNEL32" not in r.text


def test_missing_and_unreadable_files_fail_without_a_crash(tmp_path):
    infos = []
    [r] = pecheck.check_exe(tmp_path, "x86_64", "1.0.0.1", infos)
    assert not r.passed and "not found" in r.text
    (tmp_path / "node.dll").write_bytes(b"MZ not really a program")
    [r] = pecheck.check_library(tmp_path / "node.dll", "node.dll", "x86_64", ["wkeLoadW"], infos)
    assert not r.passed and "not a readable PE file" in r.text


# ---------------------------------------------------------- DLL checks --

def test_stdcall_exports_without_kill_at_are_decorated(tmp_path):
    dll = build_dll(tmp_path / "plain", "i686", "x.dll", ["f", "_g"], stdcall=True)
    missing, decorated = results_for(dll, pecheck.check_exports, ["f", "_g"], "x.dll")
    assert not missing.passed and missing.text.endswith("missing 2: _g f")
    assert not decorated.passed and decorated.text.endswith("decorated: _g@4 f@4")

    dll = build_dll(tmp_path / "killed", "i686", "x.dll", ["f", "_g"], stdcall=True, kill_at=True)
    assert failures(results_for(dll, pecheck.check_exports, ["f", "_g"], "x.dll")) == []


def test_unrequired_exports_must_be_undecorated_too(tmp_path):
    tool("i686", "gcc-posix")
    (tmp_path / "x.c").write_text(
        "__declspec(dllexport) int f(int x) { return x; }\n"
        "__declspec(dllexport) int __stdcall extra(int x) { return x; }\n")
    run_tool([tool("i686", "gcc-posix"), "-shared", "x.c", "-o", "x.dll"], tmp_path)
    missing, decorated = results_for(tmp_path / "x.dll", pecheck.check_exports, ["f"], "x.dll")
    assert missing.passed
    assert not decorated.passed and "extra@4" in decorated.text


@ARCHS
def test_dll_missing_required_names_reports_them_sorted(tmp_path, arch):
    dll = build_dll(tmp_path, arch, "HPSocket4C.dll", ["HP_Client_Start", "HP_Client_Stop"])
    required = ["HP_Client_Stop", "HP_Client_Start", "HP_Client_Send", "Create_HP_TcpPackClient"]
    missing, decorated = results_for(dll, pecheck.check_exports, required, "HPSocket4C.dll")
    assert not missing.passed
    assert missing.text.endswith("missing 2: Create_HP_TcpPackClient HP_Client_Send")
    assert decorated.passed


def test_library_of_the_wrong_architecture_fails(tmp_path):
    dll = build_dll(tmp_path, "x86_64", "common.dll", ["fun_GetPCName"])
    results = pecheck.check_library(dll, "common.dll", "i686", ["fun_GetPCName"], [])
    assert failures(results) == [
        "common.dll: expected machine 0x14c (i386) with PE32 header for i686, "
        "found machine 0x8664 (AMD64) with PE32+ header"]


# ------------------------------------------------- whole folder, by CLI --

FAKE_HEADERS = {
    "ext/hpsocket_api.h": """#define HPSOCKET_DLL_FUNCTIONS(X) \\
  X(HP_Client_Start, BOOL(__stdcall*)(HP_Client)) \\
  X(HP_Looked_Up_Only,        \\
    void(__stdcall*)(HP_Client))
""",
    "ext/common_api.h": """#define COMMON_DLL_FUNCTIONS(X) \\
  X(fun_GetPCName, const char*(__stdcall*)())
""",
    "ext/node_api.h": """#define NODE_VIEW_FUNCTIONS(X) \\
  X(wkeLoadW, void(__cdecl*)(wkeWebView, const wchar_t*))
#define NODE_MORE_FUNCTIONS(X) \\
  X(wkeLookedUpOnly, void(__cdecl*)(wkeWebView))
#define NODE_DLL_FUNCTIONS(X) NODE_VIEW_FUNCTIONS(X) NODE_MORE_FUNCTIONS(X)
""",
}


def fake_repo(root, version="1.0.0.1"):
    for rel, text in FAKE_HEADERS.items():
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        (root / rel).write_text(text)
    (root / "resources").mkdir(exist_ok=True)
    (root / "resources" / "version.txt").write_text(f"{version}\n")
    return root


STANDIN_NAMES = {
    "HPSocket4C.dll": abi_names.HPSOCKET_ABI + ["HP_Looked_Up_Only"],
    "node.dll": abi_names.NODE_ABI + ["wkeLookedUpOnly"],
    "common.dll": abi_names.COMMON_ABI,
}


def good_bin(root, arch):
    bin_dir = root / "bin"
    build_exe(root / "exe", arch)
    bin_dir.mkdir(parents=True)
    shutil.copy(root / "exe" / "Tarnlumo.exe", bin_dir)
    for name, exports in STANDIN_NAMES.items():
        build_dll(bin_dir, arch, name, exports + ["an_extra_export"])
    return bin_dir


def cli(*args):
    done = subprocess.run([sys.executable, str(PECHECK), *map(str, args)],
                          capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout.splitlines(), done.stderr


@pytest.fixture(scope="module", params=["i686", "x86_64"])
def good_folder(request, tmp_path_factory):
    root = tmp_path_factory.mktemp(f"good-{request.param}")
    return request.param, fake_repo(root / "repo"), good_bin(root, request.param)


def test_correct_minimal_folder_passes(good_folder):
    arch, repo, bin_dir = good_folder
    code, lines, err = cli("--arch", arch, "--repo", repo, bin_dir)
    assert code == 0, "\n".join(lines) + err
    assert lines and all(ln.startswith("ok: ") for ln in lines)
    # Exe: 7 checks; each stand-in: machine, required names, decoration.
    assert len(lines) == 7 + 3 * 3


def test_name_only_the_program_looks_up_is_required(good_folder, tmp_path):
    arch, repo, bin_dir = good_folder
    bad = tmp_path / "bin"
    shutil.copytree(bin_dir, bad)
    build_dll(bad, arch, "node.dll", abi_names.NODE_ABI)
    code, lines, _ = cli("--arch", arch, "--repo", repo, bad)
    assert code == 1
    assert [ln for ln in lines if ln.startswith("FAIL")] == [
        "FAIL: node.dll: expected all %d required exports, missing 1: wkeLookedUpOnly"
        % (len(set(abi_names.NODE_ABI)) + 1)]


ORIGIN_NAMES = ["jsGetGlobal", "jsGet", "jsGlobalObject", "jsGetWebView", "wkeGetURL",
                "wkeGetFrameUrl", "wkeIsMainFrame", "wkeOnNavigation", "wkeOnCreateView",
                "wkeSetNavigationToNewWindowEnable"]


def test_engine_functions_for_checking_the_caller_are_required(good_folder, tmp_path):
    assert set(ORIGIN_NAMES) <= set(abi_names.NODE_ABI)
    arch, repo, bin_dir = good_folder
    bad = tmp_path / "bin"
    shutil.copytree(bin_dir, bad)
    without = [n for n in STANDIN_NAMES["node.dll"] if n not in ("jsGetGlobal", "wkeOnCreateView")]
    build_dll(bad, arch, "node.dll", without)
    code, lines, _ = cli("--arch", arch, "--repo", repo, bad)
    assert code == 1
    assert [ln for ln in lines if ln.startswith("FAIL")] == [
        "FAIL: node.dll: expected all %d required exports, missing 2: jsGetGlobal wkeOnCreateView"
        % (len(set(abi_names.NODE_ABI)) + 1)]


def test_second_engine_is_checked_when_present(good_folder, tmp_path):
    arch, repo, bin_dir = good_folder
    bad = tmp_path / "bin"
    shutil.copytree(bin_dir, bad)
    build_dll(bad / "chromium", arch, "node.dll",
              [n for n in STANDIN_NAMES["node.dll"] if n != "jsInt"])
    code, lines, _ = cli("--arch", arch, "--repo", repo, bad)
    assert code == 1
    fails = [ln for ln in lines if ln.startswith("FAIL")]
    assert len(fails) == 1 and fails[0].startswith("FAIL: chromium/node.dll:")
    assert fails[0].endswith("missing 1: jsInt")


def test_missing_library_and_other_version_fail(good_folder, tmp_path):
    arch, repo, bin_dir = good_folder
    bad = tmp_path / "bin"
    shutil.copytree(bin_dir, bad)
    (bad / "common.dll").unlink()
    other_version = tmp_path / "other_version.txt"
    other_version.write_text("2.1.0.0\n")
    code, lines, _ = cli("--arch", arch, "--repo", repo, "--version-file", other_version, bad)
    assert code == 1
    fails = [ln for ln in lines if ln.startswith("FAIL")]
    assert len(fails) == 3
    assert fails[0] == 'FAIL: Tarnlumo.exe: expected FileVersion string "2.1.0.0", found "1.0.0.1" in 080404b0'
    assert fails[1] == "FAIL: Tarnlumo.exe: expected fixed file version 2.1.0.0, found 1.0.0.1"
    assert fails[2].startswith("FAIL: common.dll: not found")


def test_broken_header_is_a_failure_not_a_crash(good_folder, tmp_path):
    arch, repo, bin_dir = good_folder
    broken = tmp_path / "repo"
    shutil.copytree(repo, broken)
    (broken / "ext" / "common_api.h").unlink()
    code, lines, _ = cli("--arch", arch, "--repo", broken, bin_dir)
    assert code == 1
    assert [ln for ln in lines if ln.startswith("FAIL")] == [
        "FAIL: ext/common_api.h: cannot read: No such file or directory"]


def test_usage_errors_exit_2(tmp_path):
    assert cli("--arch", "arm64", tmp_path)[0] == 2
    assert cli(tmp_path)[0] == 2
    code, lines, _ = cli("--arch", "i686", tmp_path / "absent")
    assert code == 1 and len(lines) == 1 and lines[0].startswith("FAIL: ")
    # Signatures are looked at only when asked for.
    assert cli("--require-signed", "--arch", "i686", tmp_path)[0] == 2


# ------------------------------------------------------------ signatures --

sys.path.insert(0, str(REPO / "tests" / "install"))
import code_signing  # noqa: E402


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    if shutil.which("openssl") is None or shutil.which("osslsigncode") is None:
        pytest.skip("openssl and osslsigncode are needed")
    return code_signing.make_certificate(tmp_path_factory.mktemp("certificate"))


def signed_copy(path, cert, into):
    out = Path(into) / ("signed-" + Path(path).name)
    run_tool(["osslsigncode", "sign", "-pkcs12", cert.pfx, "-readpass", cert.password_file,
              "-in", path, "-out", out], into)
    return out


def with_security_directory(path, into, edit):
    """A copy of a signed file whose security directory (offset, size) and
    the bytes at its offset are changed by edit(data, offset, size)."""
    data = bytearray(Path(path).read_bytes())
    pe = pecheck.pefile.PE(data=bytes(data), fast_load=True)
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pecheck.SECURITY_DIRECTORY]
    where = entry.get_file_offset()
    offset, size = edit(data, entry.VirtualAddress, entry.Size)
    data[where:where + 8] = offset.to_bytes(4, "little") + size.to_bytes(4, "little")
    out = Path(into) / ("edited-" + Path(path).name)
    out.write_bytes(bytes(data))
    return out


@ARCHS
def test_signed_and_unsigned_files_are_told_apart(tmp_path, arch, certificate):
    exe = build_exe(tmp_path / "exe", arch)
    dll = build_dll(tmp_path / "dll", arch, "common.dll", ["fun_GetPCName"])
    signed = signed_copy(exe, certificate, tmp_path)
    assert pecheck.signature_of(exe) == (False, "empty security directory (not signed)")
    ok_, text = pecheck.signature_of(signed)
    assert ok_ and text.startswith("signed (PKCS#7, ")
    folder = tmp_path / "folder"
    folder.mkdir()
    shutil.copy2(signed, folder / "Tarnlumo.exe")
    shutil.copy2(dll, folder / "common.dll")
    (folder / "config.ini").write_text("[server]\n")
    code, lines, _ = cli("--signatures", folder)
    assert code == 0 and len(lines) == 2, lines
    code, lines, _ = cli("--signatures", "--require-signed", folder)
    assert code == 1
    assert lines == [f"ok: {folder / 'Tarnlumo.exe'}: {text}",
                     f"FAIL: {folder / 'common.dll'}: expected a signature, found empty security"
                     " directory (not signed)"]
    code, lines, _ = cli("--signatures", "--require-signed", folder / "Tarnlumo.exe")
    assert code == 0, lines


def test_security_directory_without_a_pkcs7_signature_is_not_signed(tmp_path, certificate):
    signed = signed_copy(build_exe(tmp_path / "exe", "x86_64"), certificate, tmp_path)

    def other_type(data, offset, size):
        data[offset + 6:offset + 8] = (0x0001).to_bytes(2, "little")  # an X.509 certificate
        return offset, size

    def no_signed_data(data, offset, size):
        data[offset + 8:offset + 40] = bytes(32)
        return offset, size

    def past_the_end(data, offset, size):
        return offset, size + 4096

    def too_long_entry(data, offset, size):
        data[offset:offset + 4] = (size + 1).to_bytes(4, "little")
        return offset, size

    for edit, why in [(other_type, "certificate entry of type 0x1, revision 0x200, not PKCS#7"),
                      (no_signed_data, "certificate entry holds no PKCS#7 signed data"),
                      (past_the_end, "lies outside the file"),
                      (too_long_entry, "bytes in a directory of")]:
        ok_, text = pecheck.signature_of(with_security_directory(signed, tmp_path, edit))
        assert not ok_ and why in text, (edit.__name__, text)


def test_signatures_of_nothing_or_a_non_pe_fail(tmp_path):
    (tmp_path / "empty").mkdir()
    code, lines, _ = cli("--signatures", tmp_path / "empty")
    assert code == 1 and lines[0].endswith("no program or DLL to look at")
    (tmp_path / "notes.exe").write_text("not a program")
    code, lines, _ = cli("--signatures", tmp_path / "notes.exe")
    assert code == 1 and "not a readable PE file" in lines[0]

