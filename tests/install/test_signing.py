"""Signed packages: with a throw-away certificate the packaging command signs
the installer, and the installer writes only signed files: the program, every
DLL and tool it carries and the uninstaller, each verified by osslsigncode
against the certificate's CA. A changed file fails that verification; the
static check tells signed files from unsigned ones."""

import subprocess

import pytest

import code_signing
import setup_runs
from lumo_harness import REPO
from setup_runs import InstalledFolder

PECHECK = REPO / "tools" / "pecheck" / "pecheck.py"
FOLDER = "C:\\lumo_signed\\"


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    return code_signing.make_certificate(tmp_path_factory.mktemp("certificate"))


@pytest.fixture(scope="module")
def signed_package(bin_dir, certificate, tmp_path_factory):
    out = tmp_path_factory.mktemp("signed")
    done = subprocess.run(["bash", str(setup_runs.PACKAGE), "--no-build", "--out", str(out),
                           "--sign", str(certificate.pfx),
                           "--sign-password-file", str(certificate.password_file),
                           setup_runs.wine_prefix.ARCH],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    return out / setup_runs.sums_of(out).popitem()[0]


@pytest.fixture(scope="module")
def signed_install(prefix, signed_package):
    folder = InstalledFolder(FOLDER)
    result = setup_runs.run(signed_package, "/S", "/IP=127.0.0.1", "/D=" + FOLDER.rstrip("\\"))
    assert result.code == 0, result.errors
    yield folder
    setup_runs.uninstall(folder, "/REMOVEDATA=1")


def pecheck(*args):
    return subprocess.run(["/usr/bin/python3", str(PECHECK), "--signatures"] + [str(a) for a in args],
                          capture_output=True, text=True, timeout=120)


def programs_in(folder):
    return sorted(p for p in folder.path.iterdir() if p.suffix.lower() in (".exe", ".dll"))


def test_signed_installer_verifies_against_the_ca(signed_package, certificate):
    passed, output = code_signing.verify(signed_package, certificate)
    assert passed, output
    assert "Lumo throw-away test signer" in output
    # Its sum is that of the signed file.
    import hashlib
    sums = setup_runs.sums_of(signed_package.parent)
    assert sums[signed_package.name] == hashlib.sha256(signed_package.read_bytes()).hexdigest()


def test_every_installed_program_and_dll_verifies(signed_install, bin_dir, certificate):
    files = programs_in(signed_install)
    runtime = (bin_dir / "runtime-dlls.txt").read_text().split()
    # All of them: ours, the runtime DLLs, the stand-ins and the uninstaller.
    assert sorted(p.name for p in files) == sorted(
        ["Tarnlumo.exe", "lumocheck.exe", "uninstall.exe", "node.dll", "HPSocket4C.dll",
         "common.dll"] + runtime)
    failed = {}
    for path in files:
        passed, output = code_signing.verify(path, certificate)
        if not passed:
            failed[path.name] = output[-400:]
    assert not failed, failed
    done = pecheck("--require-signed", signed_install.path)
    assert done.returncode == 0, done.stdout
    assert done.stdout.count("ok: ") == len(files)


def test_a_changed_file_fails_verification(signed_install, certificate, tmp_path):
    for name in ("Tarnlumo.exe", "uninstall.exe"):
        changed = code_signing.tampered_copy(signed_install.path / name, tmp_path)
        passed, output = code_signing.verify(changed, certificate)
        assert not passed, output
        assert "MISMATCH" in output


def test_a_signature_by_another_ca_fails_verification(signed_install, tmp_path):
    other = code_signing.make_certificate(tmp_path / "other")
    passed, output = code_signing.verify(signed_install.path / "Tarnlumo.exe", other)
    assert not passed, output


def test_unsigned_package_is_reported_and_refused_when_signatures_are_required(packages, bin_dir):
    current, _ = packages
    report = pecheck(current, bin_dir / "node.dll")
    assert report.returncode == 0, report.stdout
    assert report.stdout.count("empty security directory (not signed)") == 2
    required = pecheck("--require-signed", current)
    assert required.returncode == 1
    assert required.stdout.startswith("FAIL: %s: expected a signature" % current)
