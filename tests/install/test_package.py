"""The packaging command itself, without Wine: an installer for each target
named after the packaged program's version, of that target's kind, with the
sums file beside them; a shop's own libraries from a vendor folder; a vendor
library of the other target refused before anything is built; the development
engine only when asked for by name; signing that fails leaving no installer."""

import hashlib
import re
import shutil
import socket
import subprocess

import pefile
import pytest

import code_signing
import setup_runs
import wine_prefix
from exe_version import file_version
from lumo_harness import REPO

TARGETS = ("i686", "x86_64")
LIBRARIES = ("node.dll", "HPSocket4C.dll", "common.dll")

# Both targets are packaged in one run; the x86-64 session checks them.
pytestmark = pytest.mark.skipif(wine_prefix.ARCH != "x86_64",
                                reason="the packaging command is checked in the x86_64 session")


def bin_of(arch):
    return REPO / "build" / ("win-" + arch) / "bin"


@pytest.fixture(scope="module")
def built():
    missing = [str(bin_of(a) / "Tarnlumo.exe") for a in TARGETS
               if not (bin_of(a) / "Tarnlumo.exe").exists()]
    if missing:
        pytest.skip("not built: %s" % ", ".join(missing))


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    return code_signing.make_certificate(tmp_path_factory.mktemp("certificate"))


def package(out, *args):
    return subprocess.run(["bash", str(setup_runs.PACKAGE), "--no-build", "--out", str(out)]
                          + list(args), capture_output=True, text=True, timeout=600)


def description(installer):
    pe = pefile.PE(str(installer))
    for info in pe.FileInfo[0] if pe.FileInfo else []:
        for table in getattr(info, "StringTable", []):
            value = table.entries.get(b"FileDescription")
            if value:
                return value.decode("utf-8")
    return ""


def test_both_installers_carry_version_and_target_with_sums(built, tmp_path):
    done = package(tmp_path)
    assert done.returncode == 0, done.stderr
    sums = setup_runs.sums_of(tmp_path)
    expected = {}
    for arch in TARGETS:
        version = file_version(str(bin_of(arch) / "Tarnlumo.exe"))
        expected["Tarnlumo-%s-%s-standins-setup.exe" % (version, arch)] = arch
    assert sorted(sums) == sorted(expected)
    for name, arch in expected.items():
        path = tmp_path / name
        assert hashlib.sha256(path.read_bytes()).hexdigest() == sums[name]
        # An x86 installer cannot run where only 64-bit code runs: each target's is its own kind.
        assert setup_runs.file_arch(path) == arch
        assert "(stand-in libraries)" in description(path)
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(list(expected) + ["SHA256SUMS"])


def vendor_folder(root, arch, source_arch=None):
    """A shop's folder of outside libraries, here copies of our stand-ins."""
    folder = root / "vendor" / arch
    folder.mkdir(parents=True)
    for name in LIBRARIES:
        shutil.copy2(bin_of(source_arch or arch) / name, folder / name)
    return root / "vendor"


def test_vendor_libraries_are_packaged_without_the_stand_in_mark(built, tmp_path):
    vendor = vendor_folder(tmp_path, "x86_64")
    out = tmp_path / "out"
    done = package(out, "--vendor", str(vendor), "x86_64")
    assert done.returncode == 0, done.stderr
    [name] = setup_runs.sums_of(out)
    assert name.endswith("-x86_64-setup.exe") and "standins" not in name
    assert "stand-in" not in description(out / name)


def test_vendor_library_of_the_other_target_is_refused(built, tmp_path):
    vendor = vendor_folder(tmp_path, "x86_64", source_arch="i686")
    out = tmp_path / "out"
    done = package(out, "--vendor", str(vendor), "x86_64")
    assert done.returncode != 0
    assert re.search(r"x86_64: (node|HPSocket4C|common)\.dll is built for i686", done.stderr), \
        done.stderr
    assert not list(out.glob("*.exe"))


def test_development_engine_is_refused_without_its_flag(built, tmp_path):
    out = tmp_path / "out"
    done = package(out, "--engine", "chromium", "x86_64")
    assert done.returncode != 0
    assert "--engine chromium is a development engine" in done.stderr
    assert "--allow-development-engine" in done.stderr
    assert not list(out.glob("*.exe"))


def test_development_engine_is_packaged_when_asked_by_name(built, tmp_path):
    if not (bin_of("x86_64") / "chromium" / "node.dll").exists():
        pytest.skip("the Chromium-backed node.dll is not built (node_chromium)")
    done = package(tmp_path, "--engine", "chromium", "--allow-development-engine", "x86_64")
    assert done.returncode == 0, done.stderr
    [name] = setup_runs.sums_of(tmp_path)
    assert name.endswith("-x86_64-standins-chromium-setup.exe")


def test_signing_options_need_sign(built, tmp_path):
    password = tmp_path / "password.txt"
    password.write_text("x\n")
    done = package(tmp_path / "out", "--sign-password-file", str(password), "x86_64")
    assert done.returncode != 0
    assert "need --sign" in done.stderr


def test_wrong_password_file_signs_nothing(built, certificate, tmp_path):
    wrong = tmp_path / "wrong.txt"
    wrong.write_text("not-the-password\n")
    out = tmp_path / "out"
    done = package(out, "--sign", str(certificate.pfx), "--sign-password-file", str(wrong), "x86_64")
    assert done.returncode != 0
    assert "osslsigncode failed" in done.stderr and "signing failed" in done.stderr
    assert not list(out.glob("*.exe"))


def test_timestamp_server_is_asked(built, certificate, tmp_path):
    """No server listens at the URL: signing with a time-stamp fails, so the
    option reached osslsigncode."""
    with socket.socket() as closed:
        closed.bind(("127.0.0.1", 0))
        url = "http://127.0.0.1:%d/" % closed.getsockname()[1]
        out = tmp_path / "out"
        done = package(out, "--sign", str(certificate.pfx), "--sign-password-file",
                       str(certificate.password_file), "--timestamp-url", url, "x86_64")
    assert done.returncode != 0
    assert "osslsigncode failed" in done.stderr
    assert not list(out.glob("*.exe"))


def test_certificate_without_password_needs_no_password_file(built, certificate, tmp_path):
    done = package(tmp_path, "--sign", str(code_signing.unprotected_pfx(certificate)), "x86_64")
    assert done.returncode == 0, done.stderr
    [name] = setup_runs.sums_of(tmp_path)
    passed, output = code_signing.verify(tmp_path / name, certificate)
    assert passed, output
