"""A throw-away code-signing certificate made with openssl (a self-signed CA
and a code-signing certificate it issued, with its key in a password-protected
PKCS#12 file), and osslsigncode's verdict on a signed file against that CA."""

import subprocess
from pathlib import Path

PASSWORD = "till-signing-Pa55"


class Certificate:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.ca = self.folder / "ca.crt"
        self.pfx = self.folder / "signer.pfx"
        self.password_file = self.folder / "password.txt"


def openssl(folder, *args):
    done = subprocess.run(["openssl"] + list(args), cwd=folder, capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, "openssl %s: %s" % (" ".join(args), done.stderr)


def make_certificate(folder):
    """A CA and a code-signing certificate of it, valid for two days."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    cert = Certificate(folder)
    openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
            "-out", "ca.crt", "-days", "2", "-subj", "/CN=Lumo throw-away test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key",
            "-out", "signer.csr", "-subj", "/CN=Lumo throw-away test signer")
    (folder / "signer.ext").write_text(
        "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
        "extendedKeyUsage=codeSigning\n")
    openssl(folder, "x509", "-req", "-in", "signer.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "signer.crt", "-days", "2", "-extfile", "signer.ext")
    cert.password_file.write_text(PASSWORD + "\n")
    openssl(folder, "pkcs12", "-export", "-out", "signer.pfx", "-inkey", "signer.key",
            "-in", "signer.crt", "-certfile", "ca.crt", "-passout", "file:password.txt")
    return cert


def unprotected_pfx(cert):
    """The same key and certificates in a PKCS#12 file without a password."""
    openssl(cert.folder, "pkcs12", "-export", "-out", "unprotected.pfx", "-inkey", "signer.key",
            "-in", "signer.crt", "-certfile", "ca.crt", "-passout", "pass:")
    return cert.folder / "unprotected.pfx"


def verify(path, cert):
    """(passed, osslsigncode's output) of the file's signature against the CA."""
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert.ca), "-in", str(path)],
                          capture_output=True, text=True, timeout=120)
    return done.returncode == 0, done.stdout + done.stderr


def tampered_copy(path, into):
    """A copy of the file with one byte of its code changed, signature kept."""
    copy = Path(into) / ("tampered-" + Path(path).name)
    data = bytearray(Path(path).read_bytes())
    # Past the headers, well before the signature at the end.
    where = len(data) // 3
    data[where] ^= 0xFF
    copy.write_bytes(bytes(data))
    return copy
