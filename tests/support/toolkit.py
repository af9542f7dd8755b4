"""What the black-box tests share: running a command, databases built with wixl, small
disks, a test publisher to sign with, and the Wine session (the one `sfxpack try` runs
installers in). Importing it also makes the format module (sfxformat) and the shipped
session code (sfxtry) importable."""
import contextlib
import os
import shutil
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
FIXTURES = os.path.join(ROOT, "tests", "e2e", "fixtures")
SFXTRY = os.path.join(ROOT, "tools", "sfxtry")  # the folder that holds the package
for _folder in (os.path.join(ROOT, "tests", "package"), os.path.join(ROOT, "tests", "support"), SFXTRY):
    if _folder not in sys.path:
        sys.path.insert(0, _folder)

from sfxtry.session import run_caught  # noqa: E402
from wine_session import TestSession as Session  # noqa: E402,F401  (the tests' Wine session)

# How many times slower time runs here than on a machine of our own: scripts/in-vm.sh
# sets it under emulation. A limit that stands for "promptly" or "it hangs" is scaled
# by it; the product's own times (the window's 2 s wait for its worker) are not.
TIME_SCALE = max(1, int(os.environ.get("SFX_TIME_SCALE") or 1))


def scaled(limit):
    return limit * TIME_SCALE


def run(args, env=None, cwd=None, timeout=120):
    """Runs a command with its output in files (a pipe would keep Wine's helpers waiting
    on it after the program has ended); env is added to the environment; timeout is
    scaled."""
    return run_caught(args, dict(os.environ, **(env or {})), scaled(timeout), cwd, own_session=False)


def build_msi(wxs, folder, name="Setup.msi", variables=None, files=()):
    """A real database: wixl builds wxs (a path) into folder/name, with the files copied
    beside the source first (wixl takes source paths relative to its working folder)
    and variables as -D NAME=VALUE."""
    os.makedirs(folder, exist_ok=True)
    for path in (wxs, *files):
        shutil.copy(path, folder)
    defines = [a for k, v in (variables or {}).items() for a in ("-D", f"{k}={v}")]
    subprocess.run(["wixl", *defines, "-o", name, os.path.basename(wxs)], cwd=folder, check=True,
                   capture_output=True, timeout=120)
    return os.path.join(folder, name)


@contextlib.contextmanager
def small_disk(folder, size, skip):
    """folder on a tmpfs of its own of size bytes, for the block; skip(reason) is
    raised where no tmpfs can be mounted (the test command runs as root, a developer
    may not)."""
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0777", "tmpfs", folder],
                             capture_output=True, timeout=30)
    if mounted.returncode != 0:
        raise skip(f"cannot mount a small tmpfs here: {mounted.stderr.decode(errors='replace').strip()}")
    try:
        yield folder
    finally:
        subprocess.run(["umount", "-l", folder], capture_output=True, timeout=30)


class Publisher:
    """A test CA and a code-signing certificate it issued, made now in folder."""

    def __init__(self, folder):
        self.ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
        self.cert, self.key = os.path.join(folder, "publisher.pem"), os.path.join(folder, "publisher.key")
        request, extensions = os.path.join(folder, "publisher.csr"), os.path.join(folder, "publisher.ext")
        with open(extensions, "w") as f:
            f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
        for args in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Corvella Test CA",
                      "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
                      "-keyout", ca_key, "-out", self.ca],
                     ["req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Corvella Test Publisher", "-keyout",
                      self.key, "-out", request],
                     ["x509", "-req", "-in", request, "-CA", self.ca, "-CAkey", ca_key, "-CAcreateserial", "-days",
                      "2", "-extfile", extensions, "-out", self.cert]):
            subprocess.run(["openssl"] + args, check=True, capture_output=True, timeout=60)

    def sign(self, path, out, description=None):
        """path signed with the publisher's certificate, written to out."""
        named = ["-n", description] if description else []
        subprocess.run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, *named, "-h", "sha256",
                        "-in", path, "-out", out], check=True, capture_output=True, timeout=60)
        return out

    def verifies(self, path):
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", self.ca, "-in", path], capture_output=True,
                                timeout=60)
        return result.returncode == 0 and b"Signature verification: ok" in result.stdout
