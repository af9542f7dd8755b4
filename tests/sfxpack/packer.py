"""What the black-box tests of sfxpack share: running the packer, its exit statuses, a
scratch folder per test, a minimal stub, a real installer database, the failing disk.

Each test_*.py runs as

    test_NAME.py SFXPACK [unittest options]

SFXPACK_LAUNCHER, when set, is put before the program (for example the Wine runner, to
test sfxpack.exe)."""

import atexit
import glob
import os
import shutil
import struct
import sys
import tempfile
import unicodedata
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import toolkit  # noqa: E402
import sfxformat as fmt  # noqa: E402,F401  (what the tests read packages with)

SFXPACK = None  # the program under test, set by main()
LAUNCHER = os.environ.get("SFXPACK_LAUNCHER", "").split()
ON_WINDOWS = bool(LAUNCHER)
# Under Wine, a native packer whose bytes sfxpack.exe must give.
NATIVE = os.environ.get("SFXPACK_NATIVE", "")
# The failing disk (FailingDisk.c), named for LD_PRELOAD with the loader's $LIB.
FAILING_DISK = os.environ.get("SFX_FAILING_DISK", "")
OK, DAMAGED, USAGE, CANNOT_READ, NOT_PACKAGE, CANNOT_WRITE, REFUSED = range(7)
INTERRUPTED = 130


def slurp(path):
    with open(path, "rb") as f:
        return f.read()


def run(*args, cwd=None, program=None, env=None):
    """Runs sfxpack (or a copy of it); env is added to the environment."""
    result = toolkit.run(LAUNCHER + [program or SFXPACK, *args], cwd=cwd, env=env)
    if result.returncode < 0 or result.returncode >= 128:
        raise AssertionError(f"sfxpack {args} died: {result.returncode}\n{result.stderr}")
    return result


_database = []


def database():
    """A real Setup.msi, built by wixl once for the whole run."""
    if not _database:
        folder = tempfile.mkdtemp(prefix="sfxpack-msi-")
        atexit.register(shutil.rmtree, folder, ignore_errors=True)
        _database.append(toolkit.build_msi(os.path.join(HERE, "fixtures", "product.wxs"), folder))
    return _database[0]


def failing_disk(file, side, error, at=0, length=None):
    """The environment in which reads or writes (side) of the files whose path holds
    file fail with errno error from byte at on (length bytes of them, else all)."""
    if not FAILING_DISK or not glob.glob(FAILING_DISK.replace("$LIB", "lib/i386-*" if ON_WINDOWS else "lib/*")):
        raise unittest.SkipTest(f"no failing disk built for this packer at {FAILING_DISK or '$SFX_FAILING_DISK'}")
    env = {"LD_PRELOAD": FAILING_DISK, "SFX_FAIL_FILE": file, "SFX_FAIL_SIDE": side, "SFX_FAIL_ERRNO": str(error),
           "SFX_FAIL_AT": str(at)}
    return dict(env, SFX_FAIL_LENGTH=str(length)) if length else env


def pe_stub(signed, size=4096):
    """A minimal PE32 image for i386: headers only, as long as the file, with or without
    a certificate table."""
    image = bytearray(size)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    struct.pack_into("<4sHHIIIHH", image, 0x80, b"PE\0\0", 0x14C, 0, 0, 0, 0, 224, 0x102)
    optional = 0x80 + 24
    struct.pack_into("<H", image, optional, 0x10B)
    struct.pack_into("<I", image, optional + 60, size if not signed else size - 1024)  # SizeOfHeaders
    struct.pack_into("<I", image, optional + 92, 16)
    if signed:
        struct.pack_into("<II", image, optional + 96 + 4 * 8, size - 1024, 1024)
    return bytes(image)


def file_kinds(scratch):
    """Files of each kind that try and the reading commands tell apart, written into the
    Scratch test's folder: {name: (path, kind try is told, whether a package is found)}."""
    stub = pe_stub(False)
    installer = fmt.build([fmt.Entry("Setup.msi", os.urandom(20000))], prefix=stub)
    data = os.urandom(20000)
    bare = fmt.build([fmt.Entry("Setup.msi", data)])
    wide = bytearray(stub)  # a 64-bit program: PE32+ for x64
    struct.pack_into("<H", wide, 0x84, 0x8664)
    struct.pack_into("<H", wide, 0x80 + 24, 0x20B)
    struct.pack_into("<I", wide, 0x80 + 24 + 108, 16)
    # Signed after packing: a certificate table behind the package, which the header points at.
    signed = bytearray(installer + os.urandom(2048))
    struct.pack_into("<II", signed, 0x80 + 24 + 96 + 4 * 8, len(installer), 2048)
    rows = {"installer.exe": (installer, "installer", True),
            "signed.exe": (bytes(signed), "installer", True),
            "signed-cut.exe": (bytes(signed[:len(stub) + 5000]), "cut-short", False),
            # A download that stopped in the data, in the table, in the trailer.
            "cut-in-data.exe": (installer[:len(stub) + 5000], "cut-short", False),
            "cut-in-table.exe": (installer[:-30], "cut-short", False),
            "cut-in-trailer.exe": (installer[:-5], "cut-short", False),
            "stub.exe": (stub, "not-ours", False),
            "other-data.exe": (stub + b"\0" + os.urandom(3000), "not-ours", False),
            "64-bit.exe": (bytes(wide), "not-ours", False),
            "64-bit-with-package.exe": (fmt.build([fmt.Entry("Setup.msi", data)], prefix=bytes(wide)), "not-ours", True),
            "notes.exe": (b"Corvella notes\n" * 200, "not-windows", False),
            "package.pkg": (bare, "not-windows", True),
            "cut-package.pkg": (bare[:-5], "not-windows", False)}
    kinds = {name: (scratch.write(name, data), kind, found) for name, (data, kind, found) in rows.items()}
    kinds["missing.exe"] = (scratch.path("missing.exe"), "unreadable", False)
    return kinds


def temporary_files(folder):
    """What create and extract write before a name is final, left in folder."""
    return [n for n in os.listdir(folder) if "sfxpack" in n and n.endswith(".tmp")]


def umask_mode():
    """The mode a new file gets: 0666 less the umask."""
    mask = os.umask(0)
    os.umask(mask)
    return 0o666 & ~mask


def columns(text):
    """Terminal columns that text takes: two for the wide East Asian characters."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="sfxpack-test-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, data):
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def listing(self, *parts):
        return sorted(os.listdir(self.path(*parts)))

    def assertStatus(self, result, status):
        self.assertEqual(result.returncode, status, result.stderr.decode(errors="replace"))

    def assertOneLineError(self, result, *words):
        lines = result.stderr.decode(errors="replace").strip().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].startswith("sfxpack: "), lines[0])
        for word in words:
            self.assertIn(word, lines[0])

    def assertFileFailed(self, result, file, side, error):
        """One error line that names file, the side ("read" or "written") and, last,
        the system's reason for errno error: strerror's words natively; under Wine
        FormatMessage's, in whatever words Wine maps the error to, so only that
        there are some."""
        self.assertOneLineError(result)
        line = result.stderr.decode(errors="replace").strip()
        if ON_WINDOWS:
            line = line.replace("\\", "/")  # sfxpack.exe joins a folder and a name with a backslash
        self.assertTrue(line.startswith(f"sfxpack: {file}: "), line)
        words = f"cannot be {side}: "
        self.assertIn(words, line)
        reason = line.split(words, 1)[1]
        if ON_WINDOWS:
            self.assertRegex(reason, r"\w{3}", line)
        else:
            self.assertEqual(reason, os.strerror(error), line)


def main():
    global SFXPACK
    SFXPACK = os.path.abspath(sys.argv.pop(1))
    unittest.main(module="__main__", verbosity=2)
