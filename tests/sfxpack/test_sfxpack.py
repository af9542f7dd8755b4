#!/usr/bin/env python3
"""Black-box tests of sfxpack: start the program, check exit status, output files
and messages.

    test_sfxpack.py SFXPACK [unittest options]

SFXPACK_LAUNCHER, when set, is put before the program (for example the Wine
runner, to test sfxpack.exe)."""

import errno
import fcntl
import glob
import json
import os
import pty
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unicodedata
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import toolkit  # noqa: E402
import sfxformat as fmt  # noqa: E402

SFXPACK = None
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


DATABASE = None  # a real Setup.msi, built by wixl for the whole run
SHARED = None  # the folder that holds it


def setUpModule():
    global DATABASE, SHARED
    SHARED = tempfile.mkdtemp(prefix="sfxpack-msi-")
    DATABASE = toolkit.build_msi(os.path.join(HERE, "fixtures", "product.wxs"), SHARED)


def tearDownModule():
    shutil.rmtree(SHARED, ignore_errors=True)


def failing_disk(file, side, error, at=0, length=None):
    """The environment in which reads or writes (side) of the files whose path holds
    file fail with errno error from byte at on (length bytes of them, else all)."""
    if not FAILING_DISK or not glob.glob(FAILING_DISK.replace("$LIB", "lib/i386-*" if ON_WINDOWS else "lib/*")):
        raise unittest.SkipTest(f"no failing disk built for this packer at {FAILING_DISK or '$SFX_FAILING_DISK'}")
    env = {"LD_PRELOAD": FAILING_DISK, "SFX_FAIL_FILE": file, "SFX_FAIL_SIDE": side, "SFX_FAIL_ERRNO": str(error),
           "SFX_FAIL_AT": str(at)}
    return dict(env, SFX_FAIL_LENGTH=str(length)) if length else env


def pe_stub(signed, size=4096):
    """A minimal PE32 image: headers only, with or without a certificate table."""
    image = bytearray(size)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    struct.pack_into("<4sHHIIIHH", image, 0x80, b"PE\0\0", 0x14C, 0, 0, 0, 0, 224, 0x102)
    optional = 0x80 + 24
    struct.pack_into("<H", image, optional, 0x10B)
    struct.pack_into("<I", image, optional + 92, 16)
    if signed:
        struct.pack_into("<II", image, optional + 96 + 4 * 8, size - 1024, 1024)
    return bytes(image)


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


class RoundTrips(Scratch):
    def make_inputs(self):
        rng = random.Random(5)
        return {
            "Setup.msi": bytes(rng.randrange(256) for _ in range(150000)),
            "readme.txt": b"Corvella readme\n" * 3000,
            "empty.dat": b"",
        }

    def assertReadBack(self, data, stub, inputs):
        """The reference reader finds every input, in order, as one zlib stream each,
        back to back from the end of the stub to the table, and nothing after the trailer."""
        self.assertEqual(data[:len(stub)], stub)
        toc = fmt.read_toc(data)
        self.assertEqual((toc.code, toc.marker_distance), (fmt.OK, len(fmt.MARKER)))
        self.assertEqual([(e[0], e[2]) for e in toc.entries], [(n, len(d)) for n, d in inputs.items()])
        position = len(stub)
        for entry, content in zip(toc.entries, inputs.values()):
            self.assertEqual(entry[1], position, entry)
            self.assertEqual(data[position:position + 2], b"\x78\x9c", entry)
            self.assertEqual(fmt.inflate_entry(data, entry), content, entry)
            position += entry[3]
        records = sum(16 + 2 * len(name) for name in inputs)
        self.assertEqual(position, len(data) - len(fmt.trailer(0)) - records, "gap or overlap before the table")

    def test_package_without_stub(self):
        inputs = self.make_inputs()
        files = [self.write(os.path.join("in", n), d) for n, d in inputs.items()]
        result = run("create", "--no-stub", "-o", self.path("out.pkg"), *files)
        self.assertStatus(result, OK)
        self.assertEqual(result.stderr, b"")  # no progress bar when stderr is not a terminal
        self.assertEqual(self.listing(), ["in", "out.pkg"])
        self.assertReadBack(self.read("out.pkg"), b"", inputs)

        listing = run("list", self.path("out.pkg"))
        self.assertStatus(listing, OK)
        rows = listing.stdout.decode().splitlines()
        self.assertEqual(len(rows), 4)
        first = rows[1].split()
        self.assertEqual((first[0], first[1], first[4], first[5]), ("0", "150000", "0", "Setup.msi"))
        self.assertEqual(rows[3].split()[-1], "empty.dat")

        self.assertStatus(run("verify", self.path("out.pkg")), OK)
        os.mkdir(self.path("x"))
        self.assertStatus(run("extract", self.path("out.pkg"), "-C", self.path("x")), OK)
        for name, data in inputs.items():
            self.assertEqual(self.read(os.path.join("x", name)), data)
        self.assertEqual(self.listing("x"), sorted(inputs))

    def test_installer_with_stub_and_selected_extraction(self):
        inputs = self.make_inputs()
        files = [self.write(os.path.join("in", n), d) for n, d in inputs.items()]
        stub = self.write("stub.exe", pe_stub(signed=False, size=70001))
        self.assertStatus(run("create", "--force", "--stub", stub, "-o", self.path("setup.exe"), *files), OK)
        self.assertReadBack(slurp(self.path("setup.exe")), pe_stub(signed=False, size=70001), inputs)

        os.mkdir(self.path("x"))
        self.assertStatus(run("extract", self.path("setup.exe"), "-C", self.path("x"), "readme.txt", "2"), OK)
        self.assertEqual(self.listing("x"), ["empty.dat", "readme.txt"])
        self.assertEqual(self.read("x/readme.txt"), inputs["readme.txt"])
        missing = run("extract", self.path("setup.exe"), "-C", self.path("x"), "nothing.txt")
        self.assertStatus(missing, USAGE)
        self.assertOneLineError(missing, "nothing.txt")

    # The inputs zopfli (--level 11) packs in a moment: it takes seconds for a megabyte
    # of text, more under ASan and Wine.
    QUICK = ("empty.dat", "one.dat", "small.dat", "edge.dat")

    def edge_inputs(self):
        """Files across the edges of a 1 MiB chunk and of the 32 KiB dictionary (text
        after zeros for a quick one), and a few MiB of text and random bytes mixed:
        ({name: bytes}, {name: path})."""
        rng = random.Random(20)
        text = b"".join(b"Corvella %d\n" % rng.randrange(1 << 20) for _ in range(400000))
        mixed = b"".join(text[i << 19:(i + 1) << 19] + rng.randbytes(1 << 18) for i in range(6))
        inputs = {"empty.dat": b"", "one.dat": b"x", "small.dat": text[:30000], "mib.dat": text[:1 << 20],
                  "mib1.dat": text[:(1 << 20) + 1], "edge.dat": bytes((1 << 20) - 10000) + text[:20000],
                  "mixed.dat": mixed}
        return inputs, {n: self.write(os.path.join("in", n), d) for n, d in inputs.items()}

    @unittest.skipUnless(ON_WINDOWS and os.access(NATIVE, os.X_OK), f"needs sfxpack.exe and a native sfxpack at {NATIVE}")
    def test_windows_packer_writes_the_native_packers_bytes(self):
        _, paths = self.edge_inputs()
        for args, files in ((["-j", "1"], list(paths.values())), (["-j", "3", "--level", "9"], list(paths.values())),
                            (["-j", "2", "--level", "11"], [paths[n] for n in self.QUICK])):
            with self.subTest(args=args):
                self.assertStatus(run("create", "--no-stub", *args, "-o", self.path("windows.pkg"), *files), OK)
                native = toolkit.run([NATIVE, "create", "--no-stub", *args, "-o", self.path("native.pkg"), *files])
                self.assertEqual(native.returncode, OK, native.stderr)
                self.assertEqual(self.read("windows.pkg"), self.read("native.pkg"))

    def test_same_bytes_for_any_thread_count_and_level(self):
        """Chunks are cut every 1 MiB whatever -j is: the same package for 1, 2 and 7
        threads, across the edges of a chunk and of the 32 KiB dictionary, each entry
        one standard zlib stream of exactly its recorded length; --level 1 and 9 too,
        and zopfli's --level 11 on 1, 2 and 3 threads, smaller than 9 and verified."""
        every, paths = self.edge_inputs()
        quick = {n: every[n] for n in self.QUICK}
        mixed = every["mixed.dat"]
        packages = {}
        # Values also come attached, as other tools take them: -j2, --threads=7.
        zopfli = [["--level", "11", "--iterations", "1", f"-j{n}"] for n in (1, 2, 3)]
        for args, inputs in ((["-j", "1"], every), (["-j2"], every), (["--threads=7"], every), (["--level", "1"], every),
                             (["--level", "9", "-j", "2"], every), *((a, quick) for a in zopfli)):
            with self.subTest(args=args):
                name = "".join(args) + ".pkg"
                files = [paths[n] for n in inputs]
                self.assertStatus(run("create", "--no-stub", *args, "-o", self.path(name), *files), OK)
                data = packages[name] = self.read(name)
                for entry, content in zip(fmt.read_toc(data).entries, inputs.values()):
                    self.assertEqual(fmt.inflate_entry(data, entry), content, entry)
                    self.assertEqual(zlib.decompress(data[entry[1]:entry[1] + entry[3]]), content, entry)
        self.assertEqual(packages["-j1.pkg"], packages["-j2.pkg"])
        self.assertEqual(packages["-j1.pkg"], packages["--threads=7.pkg"])
        self.assertReadBack(packages["-j1.pkg"], b"", every)
        self.assertLess(len(packages["--level9-j2.pkg"]), len(packages["--level1.pkg"]))
        level11 = ["".join(a) + ".pkg" for a in zopfli]
        self.assertEqual(packages[level11[0]], packages[level11[1]])
        self.assertEqual(packages[level11[0]], packages[level11[2]])
        self.assertLess(sum(e[3] for e in fmt.read_toc(packages[level11[0]]).entries),
                        sum(len(zlib.compress(content, 9)) for content in quick.values()))
        self.assertStatus(run("verify", self.path(level11[0])), OK)
        # Cutting into chunks costs next to nothing against one stream at the same level.
        entry = fmt.read_toc(packages["-j1.pkg"]).entries[-1]
        self.assertLess(entry[3], len(zlib.compress(mixed, 6)) * 1.001)

    def test_existing_output_is_replaced(self):
        src = self.write("a.bin", os.urandom(3000))
        self.write("out.pkg", b"old" * 100000)
        self.assertStatus(run("create", "--no-stub", "-o", self.path("out.pkg"), src), OK)
        self.assertEqual(fmt.read_toc(self.read("out.pkg")).code, fmt.OK)

    def test_256_files_and_not_257(self):
        files = [self.write(os.path.join("in", f"f{i:03}.txt"), b"x" * (10 + i)) for i in range(257)]
        refused = run("create", "--no-stub", "-o", self.path("out.pkg"), *files)
        self.assertStatus(refused, REFUSED)
        self.assertOneLineError(refused, "256")
        self.assertEqual(self.listing(), ["in"])
        self.assertStatus(run("create", "--no-stub", "-o", self.path("out.pkg"), *files[:256]), OK)
        toc = fmt.read_toc(self.read("out.pkg"))
        self.assertEqual(len(toc.entries), 256)
        self.assertStatus(run("verify", self.path("out.pkg")), OK)


class Errors(Scratch):
    def test_usage(self):
        for args in ([], ["bogus"], ["create", "a"], ["create", "-o"], ["create", "--no-stub", "-o", "x"], ["list"],
                     ["verify", "a", "b"], ["list", "--stub", "x", "y"], ["extract"], ["info"], ["info", "a", "b"],
                     ["verify", "--json", "a"], ["create", "--stub", "s", "--no-stub", "-o", "x", "a"],
                     ["create", "-q", "-v", "--no-stub", "-o", "x", "a"],
                     *(["create", "--no-stub", option, value, "-o", "x", "a"]
                       for option, value in (("-j", "0"), ("--threads", "257"), ("-j", "x"), ("-j", "-1"),
                                             ("--level", "0"), ("--level", "10"), ("--level", "12"), ("--level", "6.5"),
                                             ("--iterations", "0"), ("--iterations", "1001"))),
                     # zopfli's rounds mean nothing to zlib's levels.
                     ["create", "--no-stub", "--iterations", "5", "-o", "x", "a"],
                     ["create", "--no-stub", "--level", "9", "--iterations=5", "-o", "x", "a"],
                     ["create", "--no-stub", "-o", "x", "a", "--level"], ["create", "--no-stub", "-j0", "-o", "x", "a"],
                     ["create", "--no-stub", "--threads=", "-o", "x", "a"], ["create", "--quiet=1", "-o", "x", "a"],
                     ["create", "--no-stub", "--level=10", "-o", "x", "a"], ["create", "--no-stub", "-o", "x", "a", "-j"]):
            result = run(*args)
            self.assertStatus(result, USAGE)
            self.assertOneLineError(result)

    def test_help_and_version(self):
        result = run("--help")
        self.assertStatus(result, OK)
        text = result.stdout.decode()
        for word in ("create", "list", "extract", "verify", "try", "Exit status", "--allow-signed-stub", "--threads",
                     "--level", "--iterations"):
            self.assertIn(word, text)
        for status in (*range(7), 130):
            self.assertIn(f"\n  {status}  ", text)
        self.assertEqual(run("try", "--help").stdout.decode(), text)
        version = run("--version")
        self.assertStatus(version, OK)
        self.assertRegex(version.stdout.decode(), r"^sfxpack \d+\.\d+")

    def test_try_needs_linux_and_names_what_it_lacks(self):
        if ON_WINDOWS:
            result = run("try", "CorvellaSetup.exe")
            self.assertStatus(result, USAGE)
            self.assertOneLineError(result, "for Linux")
            return
        for env, words in (({"PATH": "/nonexistent"}, ("python3", "Xvfb", "apt install python3 wine xvfb")),
                           ({"SFXPACK_TRY_PYTHON": self.dir}, ("sfxtry", "cannot be read"))):
            with self.subTest(env=env):
                result = run("try", "CorvellaSetup.exe", env=env)
                self.assertStatus(result, CANNOT_READ)
                self.assertOneLineError(result, *words)

    def test_unreadable_inputs_leave_no_output(self):
        good = self.write("a.txt", b"a" * 1000)
        self.write("out.pkg", b"previous")
        for args, status, word in (
                (["create", "--no-stub", "-o", self.path("out.pkg"), good, self.path("missing.txt")], CANNOT_READ, "missing.txt"),
                (["create", "--stub", self.path("nostub.exe"), "-o", self.path("out.pkg"), good], CANNOT_READ,
                 "nostub.exe"),
                (["create", "--no-stub", "-o", self.path("out.pkg"), self.dir], CANNOT_READ, "folder"),
                (["create", "--no-stub", "-o", self.path("nofolder", "out.pkg"), good], CANNOT_WRITE, "out.pkg"),
                (["create", "--no-stub", "-o", self.dir, good], CANNOT_WRITE, "folder")):
            result = run(*args)
            self.assertStatus(result, status)
            self.assertOneLineError(result, word)
            # OUT keeps what it held, and no temporary file stays beside it.
            self.assertEqual(self.read("out.pkg"), b"previous")
            self.assertEqual(self.listing(), ["a.txt", "out.pkg"])

    def test_a_failing_disk_is_named_with_the_systems_reason(self):
        """Reads of an input, a stub or a package, or writes of an output, that the
        system refuses (a bad sector: EIO; a full disk: ENOSPC): every command names
        the file that failed, whether it was read or written, and the system's
        reason, ends with 3 or 5, and leaves the folders as they were."""
        mib = 1 << 20
        data = os.urandom(5 * mib)
        bad = self.write("BAD.bin", data)
        stub = self.write("stub.exe", pe_stub(False, size=70001))
        package = self.write("BAD.pkg", fmt.build([fmt.Entry("BAD.bin", data)]))
        self.write("out.pkg", b"previous")
        os.mkdir(self.path("x"))
        out, x = self.path("out.pkg"), self.path("x")
        # The temporary file an output is written to first, whatever its random name.
        temporary = ".sfxpack-"
        rows = [(["create", "--no-stub", "-o", out, bad], ("/BAD.bin", "read", errno.EIO, 3 * mib), bad, "read"),
                (["create", "--force", "--stub", stub, "-o", out, bad], ("/stub.exe", "read", errno.EIO, 8192), stub,
                 "read"),
                (["create", "--no-stub", "-o", out, bad], (temporary, "write", errno.EIO, mib), out, "written"),
                (["create", "--no-stub", "-o", out, bad], (temporary, "write", errno.ENOSPC, 0), out, "written"),
                (["extract", package, "-C", x], (temporary, "write", errno.ENOSPC, mib), os.path.join(x, "BAD.bin"),
                 "written")]
        # The table at the package's end, then only its entry's data, cannot be read.
        for command in (["list", package], ["verify", package], ["info", package], ["extract", package, "-C", x]):
            rows.append((command, ("/BAD.pkg", "read", errno.EIO, 3 * mib), package, "read"))
            if command[0] != "list":
                rows.append((command, ("/BAD.pkg", "read", errno.EIO, mib, 4096), package, "read"))
        before = self.listing()
        for args, disk, named, side in rows:
            with self.subTest(args=args[0], disk=disk):
                result = run(*args, env=failing_disk(*disk))
                self.assertStatus(result, CANNOT_READ if side == "read" else CANNOT_WRITE)
                self.assertFileFailed(result, named, side, disk[2])
                self.assertEqual(self.read("out.pkg"), b"previous")
                self.assertEqual((self.listing(), self.listing("x")), (before, []))
        self.assertEqual(self.read("BAD.pkg"), fmt.build([fmt.Entry("BAD.bin", data)]))

    def test_output_that_is_an_input_or_the_stub(self):
        a = self.write("a.txt", b"a" * 1000)
        stub = self.write("stub.exe", pe_stub(False))
        result = run("create", "--no-stub", "-o", a, a)
        self.assertStatus(result, USAGE)
        self.assertEqual(self.read("a.txt"), b"a" * 1000)
        result = run("create", "--stub", stub, "-o", stub, a)
        self.assertStatus(result, USAGE)
        self.assertEqual(self.read("stub.exe"), pe_stub(False))

    @unittest.skipIf(ON_WINDOWS, "names Windows cannot hold")
    def test_names_the_installer_cannot_extract(self):
        for name in ("trailing.", "drive:x", "back\\slash", "space "):
            path = self.write(os.path.join("in", name), b"data" * 300)
            result = run("create", "--no-stub", "-o", self.path("out.pkg"), path)
            self.assertStatus(result, REFUSED)
            self.assertOneLineError(result, "name")
            self.assertFalse(os.path.exists(self.path("out.pkg")))

    def test_device_names_are_refused_and_names_reach_the_terminal_escaped(self):
        """Windows device names are refused when packing and extracting; C1, DEL and
        bidirectional controls in a name are escaped on the terminal."""
        for n, name in enumerate(("NUL", "con", "aux.txt", "COM1", "lpt9.log", "Prn.msi")):
            with self.subTest(name=name):
                # The package's own name must not be a device name on Windows either.
                package = self.write(f"device{n}.pkg", fmt.build([fmt.Entry(name, os.urandom(2000))]))
                out = self.path(f"out{n}")
                os.mkdir(out)
                self.assertStatus(run("extract", package, "-C", out), DAMAGED)
                self.assertEqual(os.listdir(out), [])
                self.assertStatus(run("verify", package), DAMAGED)
                if not ON_WINDOWS:
                    source = self.write(os.path.join(f"in{n}", name), os.urandom(2000))
                    result = run("create", "--no-stub", "-o", self.path("dev.pkg"), source)
                    self.assertStatus(result, REFUSED)
                    self.assertOneLineError(result, "device name")
                    self.assertFalse(os.path.exists(self.path("dev.pkg")))
        shown = {"a\u0085b": "a\\x85b", "\u009bc": "\\x9bc", "evil\u202etxt.exe": "evil\\u202etxt.exe",
                 "\u200e\u200f": "\\u200e\\u200f", "\u2066x\u2069": "\\u2066x\\u2069",
                 "\u202ax\u202c": "\\u202ax\\u202c", "del\x7f": "del\\x7f"}
        package = self.write("shown.pkg", fmt.build([fmt.Entry(n, os.urandom(700)) for n in shown]))
        listing = run("list", package)
        self.assertStatus(listing, OK)
        text = listing.stdout.decode("utf-8")
        for raw, escaped in shown.items():
            self.assertIn(escaped, text)
            self.assertNotIn(raw, text)

    def test_two_entries_of_one_name_fail_verify_and_extract_only_the_first(self):
        """Names equal but for ASCII case count as one file, as on Windows: verify and
        info fail on the second, list marks it, and extract keeps the first untouched."""
        for first, second in (("same.txt", "same.txt"), ("Setup.msi", "setup.MSI")):
            with self.subTest(names=(first, second)):
                one, two = os.urandom(1500), os.urandom(1500)
                package = self.write("dup.pkg", fmt.build([fmt.Entry(first, one), fmt.Entry(second, two)]))
                verify = run("verify", package)
                self.assertStatus(verify, DAMAGED)
                self.assertIn(b"1 of 2", verify.stdout)
                self.assertOneLineError(verify, "entry 1", "same name")
                info = run("info", "--json", package)
                self.assertStatus(info, DAMAGED)
                entries = json.loads(info.stdout)["entries"]
                self.assertEqual([e["checksum"] for e in entries], ["ok", "damaged"])
                self.assertEqual(("problem" in entries[0], "same name" in entries[1]["problem"]), (False, True))
                self.assertIn("same name", run("list", package).stdout.decode().splitlines()[2])
                out = self.path("out-" + second)
                os.mkdir(out)
                self.assertStatus(run("extract", package, "-C", out), DAMAGED)
                self.assertEqual(os.listdir(out), [first])
                self.assertEqual(self.read(os.path.join("out-" + second, first)), one)

    @unittest.skipIf(ON_WINDOWS, "FIFOs and POSIX devices")
    def test_only_regular_files_are_read(self):
        """A FIFO as input, stub or package is refused at once, as is a device."""
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        data = self.write("data.bin", os.urandom(3000))
        package = self.write("ok.pkg", fmt.build([fmt.Entry("data.bin", os.urandom(3000))]))
        for args in (("create", "--no-stub", "-o", self.path("out.pkg"), fifo),
                     ("create", "--stub", fifo, "-o", self.path("out.exe"), data),
                     ("create", "--no-stub", "-o", self.path("out.pkg"), "/dev/zero"),
                     ("list", fifo), ("verify", fifo), ("info", fifo), ("extract", fifo, "-C", self.dir),
                     ("list", "/dev/null")):
            with self.subTest(args=args):
                result = run(*args)
                self.assertStatus(result, CANNOT_READ)
                self.assertOneLineError(result, "not a regular file")
        self.assertEqual(self.listing(), sorted(["data.bin", "fifo", "ok.pkg"]))
        self.assertStatus(run("verify", package), OK)

    def test_two_files_with_one_name(self):
        """Names that differ only in case are one file on Windows, so one name too."""
        for second in ("same.txt", "SAME.Txt"):
            with self.subTest(second=second):
                a = self.write(os.path.join("one", "same.txt"), b"1" * 1000)
                b = self.write(os.path.join("two-" + second.lower(), second), b"2" * 1000)
                result = run("create", "--no-stub", "-o", self.path("out.pkg"), a, b)
                self.assertStatus(result, REFUSED)
                self.assertOneLineError(result, second)
                self.assertFalse(os.path.exists(self.path("out.pkg")))

    def test_package_too_small_to_be_found_again(self):
        a = self.write("a.txt", b"tiny")
        result = run("create", "--no-stub", "-o", self.path("out.pkg"), a)
        self.assertStatus(result, REFUSED)
        self.assertOneLineError(result, "512")
        self.assertEqual(self.listing(), ["a.txt"])
        # Behind a stub it is found.
        stub = self.write("stub.exe", pe_stub(False))
        self.assertStatus(run("create", "--force", "--stub", stub, "-o", self.path("out.exe"), a), OK)

    def test_signed_stub_is_refused_unless_allowed(self):
        a = DATABASE
        signed = self.write("signed.exe", pe_stub(True))
        result = run("create", "--stub", signed, "-o", self.path("out.exe"), a)
        self.assertStatus(result, REFUSED)
        self.assertOneLineError(result, "signed", "--allow-signed-stub")
        self.assertFalse(os.path.exists(self.path("out.exe")))
        self.assertStatus(run("create", "--stub", signed, "--allow-signed-stub", "-o", self.path("out.exe"), a), OK)
        self.assertStatus(run("verify", self.path("out.exe")), OK)

    def test_not_a_package(self):
        noise = self.write("noise.bin", os.urandom(5000))
        for command in ("list", "verify"):
            result = run(command, noise)
            self.assertStatus(result, NOT_PACKAGE)
            self.assertOneLineError(result, "noise.bin", "not a package")
            result = run(command, self.path("missing.bin"))
            self.assertStatus(result, CANNOT_READ)
            self.assertOneLineError(result, "missing.bin")
        stub = self.write("stub.exe", pe_stub(False))
        self.assertStatus(run("create", "--stub", stub, "-o", self.path("p.exe"), DATABASE), OK)
        result = run("extract", self.path("p.exe"), "-C", self.path("nofolder"))
        self.assertStatus(result, CANNOT_WRITE)
        self.assertOneLineError(result, "nofolder")


class InstallerChecks(Scratch):
    """create behind a stub (given or default) makes only installers that can run: one
    entry, an installer database, a stub that is a PE image; --force packs the rest
    anyway. A bare package named like a program is warned about, even with -q."""

    def test_installers_that_could_not_work(self):
        notes = self.write("notes.txt", b"Corvella notes\n" * 200)
        fake = self.write(os.path.join("fake", "Setup.msi"), os.urandom(3000))
        stub = self.write("stub.exe", pe_stub(False))
        no_pe_signature = bytearray(pe_stub(False))
        no_pe_signature[0x80:0x84] = b"NE\0\0"
        past_the_end = bytearray(pe_stub(False))
        struct.pack_into("<I", past_the_end, 0x3C, len(past_the_end) - 2)  # "PE\0\0" cannot fit there
        bad_stubs = {"zeros": b"\0" * 5000, "no MZ": b"ZM" + pe_stub(False)[2:], "no PE signature": no_pe_signature,
                     "e_lfanew past the end": past_the_end}
        refusals = [("two entries", ["--stub", stub], "setup.exe", [DATABASE, notes], {}, ("setup.exe", "2 files")),
                    ("a non-database entry", ["--stub", stub], "setup.exe", [fake], {},
                     ("Setup.msi", "not a Windows Installer database", "compound-file signature")),
                    ("a default stub that is no PE image", [], "setup.exe", [DATABASE],
                     {"SFXPACK_STUB": self.write("env-stub.exe", b"\0" * 5000)}, ("env-stub.exe", "Windows program"))]
        for name, data in bad_stubs.items():
            path = self.write(name.replace(" ", "-") + ".exe", bytes(data))
            refusals.append((f"a stub with {name}", ["--stub", path], "setup.exe", [DATABASE], {},
                             (os.path.basename(path), "not a Windows program")))
        rows = []
        for case, options, out, files, env, words in refusals:
            rows.append((case, options, out, files, env, REFUSED, words + ("--force",)))
            rows.append((case + ", with --force", ["--force", *options], out, files, env, OK, None))
        rows += [("a bare package named .exe", ["--no-stub"], "bare.exe", [DATABASE], {}, OK,
                  ("bare.exe", "warning", "--no-stub")),
                 ("a bare package named .EXE, with -q", ["--no-stub", "-q"], "BARE.Exe", [DATABASE], {}, OK,
                  ("BARE.Exe", "warning")),
                 ("a bare package named .exe.pkg", ["--no-stub"], "bare.exe.pkg", [DATABASE], {}, OK, None),
                 ("a normal installer", ["--stub", stub], "setup.exe", [DATABASE], {}, OK, None),
                 ("a normal installer with the default stub", [], "Setup.EXE", [DATABASE], {"SFXPACK_STUB": stub},
                  OK, None)]

        for case, options, out, files, env, status, words in rows:
            with self.subTest(case=case):
                target = self.write(os.path.join("out", out), b"previous")
                before = self.listing("out")
                result = run("create", *options, "-o", target, *files, env=env)
                self.assertStatus(result, status)
                if words is None:
                    self.assertEqual(result.stderr, b"")
                else:
                    self.assertOneLineError(result, *words)
                if status != OK:
                    # Refused before anything was written: OUT and its folder as they were.
                    self.assertEqual(self.read(os.path.join("out", out)), b"previous")
                    self.assertEqual(self.listing("out"), before)
                    continue
                toc = fmt.read_toc(slurp(target))
                self.assertEqual(toc.code, fmt.OK)
                self.assertEqual([e[0] for e in toc.entries], [os.path.basename(f) for f in files])
                self.assertStatus(run("verify", "-q", target), OK)
                os.remove(target)


class DefaultStub(Scratch):
    """create without --stub: SFXPACK_STUB, else the stub an installed sfxpack
    keeps beside it; where it looked when there is none."""

    def test_lookup(self):
        prefix = self.path("prefix")
        program = self.write(os.path.join("prefix", "bin", os.path.basename(SFXPACK)), slurp(SFXPACK))
        os.chmod(program, 0o755)
        installed = os.path.join(prefix, "share", "sfxpack", "sfxstub.exe")
        beside = os.path.join(prefix, "bin", "sfxstub.exe")
        named = self.write("named.exe", pe_stub(False, size=5000))
        a = DATABASE
        out = self.path("out.exe")
        none = {"SFXPACK_STUB": ""}
        for case, files, env, expected in (
                ("nothing installed", [], none, None),
                ("installed", [installed], none, installed),
                ("beside sfxpack.exe", [installed, beside], none, beside if ON_WINDOWS else installed),
                ("named by SFXPACK_STUB", [installed], {"SFXPACK_STUB": named}, named),
                ("SFXPACK_STUB names nothing", [installed], {"SFXPACK_STUB": self.path("gone.exe")}, None)):
            with self.subTest(case=case):
                for place in (installed, beside):
                    if os.path.exists(place):
                        os.remove(place)
                for place in files:
                    self.write(place, pe_stub(False, size=4096 + 512 * (place == beside)))
                result = run("create", "-v", "-o", out, a, program=program, env=env)
                if expected is None:
                    self.assertStatus(result, CANNOT_READ)
                    self.assertOneLineError(result, "no stub", "sfxstub.exe" if env is none else "gone.exe",
                                            "--no-stub")
                    self.assertFalse(os.path.exists(out))
                    continue
                self.assertStatus(result, OK)
                stub = slurp(expected)
                self.assertEqual(slurp(out)[:len(stub)], stub)
                self.assertEqual(fmt.read_toc(slurp(out)).entries[0][1], len(stub))
                self.assertIn(b"stub: ", result.stderr)
                os.remove(out)
        # A bare package is asked for, and then no stub is looked for.
        self.assertStatus(run("create", "--no-stub", "-o", out, a, program=program, env=none), OK)
        self.assertEqual(fmt.read_toc(slurp(out)).entries[0][1], 0)


class Info(Scratch):
    """info and list --json, parsed as JSON, on installers signed the way releases
    are, and the product line of a database that create and info print."""
    PRODUCT = {"ProductName": 'Corvella Größe "Test"', "ProductVersion": "2.3.4.5",
               "ProductCode": "{3F2A1B4C-5D6E-4F70-8192-A3B4C5D6E7F8}", "Manufacturer": "Corvella \\ Tests"}
    PRODUCT_LINE = ('Setup.msi: product Corvella Größe "Test" 2.3.4.5, Corvella \\ Tests, '
                    "{3F2A1B4C-5D6E-4F70-8192-A3B4C5D6E7F8}")

    @classmethod
    def setUpClass(cls):
        cls.shared = tempfile.mkdtemp(prefix="sfxpack-info-")
        cls.msi = DATABASE
        cls.publisher = toolkit.Publisher(cls.shared)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.shared, ignore_errors=True)

    def sign(self, path):
        signed = self.publisher.sign(path, path + ".signed")
        self.assertTrue(self.publisher.verifies(signed))
        os.replace(signed, path)
        return path

    @staticmethod
    def private_folders(temp):
        """The folders sfxpack inflates into, in temp or, under Wine, the prefix's own."""
        places = [temp]
        if ON_WINDOWS:
            drive = os.path.join(os.environ["SFX_WINE_DIR"], "prefix", "drive_c")
            places += glob.glob(os.path.join(drive, "users", "*", "AppData", "Local", "Temp"))
            places += glob.glob(os.path.join(drive, "users", "*", "Temp")) + [os.path.join(drive, "windows", "temp")]
        return {os.path.join(p, n) for p in places if os.path.isdir(p) for n in os.listdir(p)
                if n.startswith("sfxpack-")}

    def info(self, *args, status=OK):
        result = run(*args)
        self.assertStatus(result, status)
        return json.loads(result.stdout)

    def assertEntries(self, doc, data, checked):
        toc = fmt.read_toc(data)
        self.assertEqual([(e["index"], e["name"], e["offset"], e["size"], e["compressed_size"])
                          for e in doc["entries"]], [(i, *e) for i, e in enumerate(toc.entries)])
        for entry in doc["entries"]:
            self.assertEqual(entry.get("checksum"), "ok" if checked else None, entry)

    def test_installers_signed_or_not(self):
        notes = self.write("notes.txt", b"Corvella notes\n" * 100)
        stub = pe_stub(signed=False, size=8192)
        for case in ("signed after packing", "signed stub", "unsigned", "no stub"):
            with self.subTest(case=case):
                out = self.path(case.replace(" ", "-") + ".exe")
                if case == "no stub":
                    made = run("create", "--no-stub", "-o", out, self.msi, notes)
                else:
                    stub_path = self.write("stub.exe", stub)
                    if case == "signed stub":
                        self.sign(stub_path)
                    made = run("create", "--force", "--allow-signed-stub", "--stub", stub_path, "-o", out, self.msi,
                               notes)
                self.assertStatus(made, OK)
                self.assertIn(self.PRODUCT_LINE, made.stdout.decode().splitlines())
                if case == "signed after packing":
                    self.sign(out)
                data = slurp(out)

                doc = self.info("info", "--json", out)
                self.assertEqual(doc["file"], out)
                self.assertEqual(doc["stub_size"], 0 if case == "no stub" else len(slurp(stub_path)))
                self.assertEqual(doc["signed"], case.startswith("signed"))
                # A stub signed before packing leaves the package outside the signed range.
                self.assertEqual(doc["signature_covers_package"], case == "signed after packing")
                self.assertEntries(doc, data, checked=True)
                self.assertEqual(doc["entries"][0]["msi"], self.PRODUCT)
                self.assertNotIn("msi", doc["entries"][1])

                listed = self.info("list", "--json", out)
                self.assertEqual({k: listed[k] for k in ("file", "stub_size", "signed")},
                                 {k: doc[k] for k in ("file", "stub_size", "signed")})
                self.assertEntries(listed, data, checked=False)
                self.assertNotIn("msi", listed["entries"][0])

                text = run("info", out)
                self.assertStatus(text, OK)
                self.assertIn("       " + self.PRODUCT_LINE, text.stdout.decode().splitlines())

    def test_names_and_damage(self):
        """Names JSON must escape come back exactly; a damaged entry is reported as
        such; a file that only looks like a database is named in an error; nothing
        inflated for the look stays behind."""
        odd = 'quote" back\\slash \x01\x1f\x7f tab\t Größe 日本 \U0001F600'
        good = fmt.Entry("Setup.msi", slurp(self.msi))
        fake = fmt.Entry("fake.msi", b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 4000)
        broken = fmt.Entry("broken.bin", os.urandom(5000))
        broken.stream = broken.stream[:-4] + b"\0\0\0\0"  # wrong Adler-32
        data = fmt.build([good, fmt.Entry(odd, b"x" * 1000), fake, broken], prefix=pe_stub(False))
        package = self.write("odd.exe", data)
        temp = self.path("temp")
        os.mkdir(temp)
        before = self.private_folders(temp)
        result = run("info", "--json", package, env={"TMPDIR": temp})
        self.assertStatus(result, DAMAGED)
        doc = json.loads(result.stdout)
        self.assertEqual([e["name"] for e in doc["entries"]], ["Setup.msi", odd, "fake.msi", "broken.bin"])
        self.assertEqual([e["checksum"] for e in doc["entries"]], ["ok", "damaged", "ok", "damaged"])
        msi = [e.get("msi", "-") for e in doc["entries"]]
        self.assertIsInstance(msi[0], dict)
        self.assertEqual(msi[1:], ["-", None, "-"])
        self.assertIn("installer database", doc["entries"][2]["msi_error"])
        self.assertOneLineError(result, "fake.msi", "installer database")
        self.assertEqual(self.private_folders(temp) - before, set())
        self.assertEqual(json.loads(run("list", "--json", package).stdout)["entries"][1]["name"], odd)

    def test_damaged_databases(self):
        """Seeded byte damage to a real database, which can crash or hang the library
        that reads it: info --json stays standing on every case, with valid JSON, a
        documented status and, for an unreadable database, its reason; create refuses
        to make an installer of an unreadable one and writes nothing."""
        base = slurp(self.msi)
        stub = self.write("stub.exe", pe_stub(False))
        readable = 0
        # SFX_DAMAGE_SEEDS=300 measures more seeds, and prints the tally.
        seeds = int(os.environ.get("SFX_DAMAGE_SEEDS", 3 if ON_WINDOWS else 30))
        for seed in range(seeds):
            rnd = random.Random(seed)
            data = bytearray(base)
            for _ in range(rnd.randint(1, 24)):
                data[rnd.randrange(8, len(data))] = rnd.randrange(256)
            with self.subTest(seed=seed):
                package = self.write(f"{seed}.pkg", fmt.build([fmt.Entry("Setup.msi", bytes(data))]))
                result = run("info", "--json", package)
                self.assertIn(result.returncode, (OK, REFUSED), result.stderr)
                entry = json.loads(result.stdout)["entries"][0]
                if result.returncode == OK:
                    readable += 1
                    self.assertEqual(set(entry["msi"]), set(self.PRODUCT))
                else:
                    self.assertIsNone(entry["msi"])
                    self.assertIn("installer database", entry["msi_error"])
                    self.assertOneLineError(result, "entry 0 (Setup.msi)", entry["msi_error"])
                msi = self.write(f"{seed}/Setup.msi", bytes(data))
                out = self.path(f"{seed}/out.exe")
                created = run("create", "--stub", stub, "-o", out, msi)
                if result.returncode == OK:
                    self.assertStatus(created, OK)
                    self.assertIn(b"Setup.msi: product ", created.stdout)
                else:
                    self.assertStatus(created, REFUSED)
                    self.assertOneLineError(created, "Setup.msi", "msiexec would refuse it", "--force")
                    self.assertEqual(sorted(os.listdir(self.path(str(seed)))), ["Setup.msi"])
        self.assertLess(readable, seeds, "no seed damaged the database: the matrix tests nothing")
        if "SFX_DAMAGE_SEEDS" in os.environ:
            print(f"\n{seeds} damaged databases: {readable} readable, {seeds - readable} refused", file=sys.stderr)

    @unittest.skipIf(ON_WINDOWS, "POSIX signals")
    def test_interrupted_info_leaves_no_private_folder(self):
        # Large enough that inflating it for the look takes a while.
        package = self.write("big.exe", fmt.build([fmt.Entry("big.msi", bytes(160 << 20))], prefix=pe_stub(False)))
        temp = self.path("temp")
        os.mkdir(temp)
        info = subprocess.Popen([SFXPACK, "info", package], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                env=dict(os.environ, TMPDIR=temp))
        try:
            seen = []
            while not seen and info.poll() is None:
                seen = [n for n in os.listdir(temp) if n.startswith("sfxpack-")]
            self.assertTrue(seen, "info ended before its private folder was seen")
            info.send_signal(signal.SIGINT)
            self.assertEqual(info.wait(timeout=toolkit.scaled(60)), -signal.SIGINT)
        finally:
            if info.poll() is None:
                info.kill()
                info.wait()
        self.assertEqual(os.listdir(temp), [])


def temporary_files(folder):
    """What create and extract write before a name is final, left in folder."""
    return [n for n in os.listdir(folder) if "sfxpack" in n and n.endswith(".tmp")]


def umask_mode():
    """The mode a new file gets: 0666 less the umask."""
    mask = os.umask(0)
    os.umask(mask)
    return 0o666 & ~mask


class NothingIsLost(Scratch):
    """A package, a stub, a link or a file already at an output's name is never
    written through, truncated or removed; an output takes its final name only whole."""

    def test_extraction_replaces_only_what_it_has_whole(self):
        """Each row puts something at out/data.bin, then extracts a package holding
        data.bin into out/."""
        def plant(kind, work, target, package):
            if kind in ("symlink", "hard link"):
                victim = self.write(os.path.join(work, "victim.txt"), b"outside the folder")
                (os.symlink if kind == "symlink" else os.link)(victim, target)
            elif kind == "file, damaged entry":
                self.write(target, b"the user's file")
            elif kind == "the package":
                os.replace(package, target)
                return target
            elif kind == "folder":
                self.write(os.path.join(target, "inside.txt"), b"in the folder")
            return package
        damaged = fmt.Entry("data.bin", os.urandom(200000))
        damaged.stream = damaged.stream[:-4] + b"\0\0\0\0"  # wrong Adler-32
        for n, (kind, entry, status, keeps) in enumerate((
                ("symlink", None, OK, {"victim.txt": b"outside the folder"}),
                ("hard link", None, OK, {"victim.txt": b"outside the folder"}),
                ("file, damaged entry", damaged, DAMAGED, {"out/data.bin": b"the user's file"}),
                ("the package", None, CANNOT_WRITE, {}),
                ("folder", None, CANNOT_WRITE, {"out/data.bin/inside.txt": b"in the folder"}))):
            with self.subTest(kind=kind):
                work, data = str(n), os.urandom(200000)
                os.makedirs(self.path(work, "out"))
                package = self.write(os.path.join(work, "in.pkg"),
                                     fmt.build([entry or fmt.Entry("data.bin", data)], prefix=pe_stub(False)))
                package = plant(kind, work, self.path(work, "out", "data.bin"), package)
                result = run("extract", package, "-C", self.path(work, "out"))
                self.assertStatus(result, status)
                for name, content in keeps.items():
                    self.assertEqual(self.read(os.path.join(work, name)), content)
                if status == CANNOT_WRITE:
                    self.assertOneLineError(result, "data.bin", "package" if kind == "the package" else "replaced")
                if kind == "the package":
                    self.assertStatus(run("verify", package), OK)
                elif status == OK:
                    self.assertFalse(os.path.islink(self.path(work, "out", "data.bin")))
                    self.assertTrue(self.read(os.path.join(work, "out", "data.bin")) == data)
                self.assertEqual(self.listing(work, "out"), ["data.bin"])

    def test_a_disk_that_fills_up_keeps_the_users_file(self):
        out = self.path("out")
        os.mkdir(out)
        package = self.write("in.pkg", fmt.build([fmt.Entry("data.bin", os.urandom(4 << 20))], prefix=pe_stub(False)))
        with toolkit.small_disk(out, 1 << 20, skip=unittest.SkipTest):
            self.write("out/data.bin", b"the user's file")
            result = run("extract", package, "-C", out)
            self.assertStatus(result, CANNOT_WRITE)
            self.assertFileFailed(result, os.path.join(out, "data.bin"), "written", errno.ENOSPC)
            self.assertEqual(self.read("out/data.bin"), b"the user's file")
            self.assertEqual(self.listing("out"), ["data.bin"])

    def test_two_extractions_of_one_name_leave_one_whole_file(self):
        contents = [os.urandom(24 << 20), os.urandom(24 << 20)]
        packages = [self.write(f"p{i}.pkg", fmt.build([fmt.Entry("big.bin", c)], prefix=pe_stub(False)))
                    for i, c in enumerate(contents)]
        out = self.path("out")
        os.mkdir(out)
        for round in range(3):
            with self.subTest(round=round):
                runs = [subprocess.Popen(LAUNCHER + [SFXPACK, "extract", p, "-C", out], stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for p in packages]
                self.assertEqual([r.wait(timeout=toolkit.scaled(120)) for r in runs], [OK, OK])
                self.assertTrue(self.read("out/big.bin") in contents, "a file that matches neither package")
                self.assertEqual(self.listing("out"), ["big.bin"])

    @unittest.skipIf(ON_WINDOWS, "POSIX modes, links and process numbers")
    def test_create_makes_its_temporary_file_new_and_its_own(self):
        """Nothing planted beside OUT is written through or taken over, even by one who
        knows the process number (here 1, in a process namespace of its own); OUT gets
        its mode from the umask, whatever the stub's."""
        if subprocess.run(["unshare", "-pf", "true"], capture_output=True).returncode != 0:
            self.skipTest("no process namespaces here")
        a = DATABASE
        for plant in ("symlink", "file", "read-only stub"):
            with self.subTest(plant=plant):
                out = self.path("out.exe")
                stub = self.write("stub.exe", pe_stub(False))
                victim = self.write("victim.txt", b"keep")
                planted = [out + f".sfxpack-{pid}.tmp" for pid in (1, 2)]
                for name in planted:
                    if plant == "symlink":
                        os.symlink(victim, name)
                    elif plant == "file":
                        self.write(os.path.basename(name), b"planted")
                        os.chmod(name, 0o606)
                if plant == "read-only stub":
                    os.chmod(stub, 0o444)
                result = subprocess.run(["unshare", "-pf", SFXPACK, "create", "-q", "--stub", stub, "-o", out, a],
                                        capture_output=True, timeout=toolkit.scaled(120))
                self.assertStatus(result, OK)
                self.assertEqual(result.stderr, b"")
                self.assertFalse(os.path.islink(out))
                self.assertEqual(os.stat(out).st_mode & 0o7777, umask_mode())
                self.assertEqual(slurp(victim), b"keep")
                for name in planted if plant != "read-only stub" else ():
                    self.assertEqual(os.path.islink(name), plant == "symlink")
                    self.assertEqual(slurp(name), b"keep" if plant == "symlink" else b"planted")
                    os.remove(name)
                self.assertStatus(run("verify", out), OK)
                self.assertEqual(temporary_files(self.dir), [])
                for name in (out, stub, victim):
                    os.remove(name)

    def test_read_only_stub(self):
        stub = self.write("stub.exe", pe_stub(False))
        os.chmod(stub, 0o444)
        self.assertStatus(run("create", "--stub", stub, "-o", self.path("out.exe"), DATABASE), OK)
        self.assertEqual(self.listing(), ["out.exe", "stub.exe"])
        self.assertTrue(os.stat(self.path("out.exe")).st_mode & 0o200)
        self.assertStatus(run("verify", self.path("out.exe")), OK)


class Interrupted(Scratch):
    """SIGINT, SIGTERM or SIGHUP while create or extract writes: the process ends by
    that signal, and neither its temporary file nor a partial output is left. Under
    Wine, SIGINT arrives as Ctrl+C, and sfxpack.exe ends with status 130 (SIGTERM
    and SIGHUP end Wine itself, as no Windows program can see). An input cut short
    while the workers read it ends create the same clean way, with its own status."""

    @classmethod
    def setUpClass(cls):
        cls.shared = tempfile.mkdtemp(prefix="sfxpack-interrupted-")
        cls.big = os.path.join(cls.shared, "big.bin")
        with open(cls.big, "wb") as f:
            f.write(os.urandom(64 << 20))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.shared, ignore_errors=True)

    def interrupt(self, args, folder, act, grown=0):
        """Starts sfxpack, calls act(process) once something new appears in folder
        holding at least grown bytes; answers its status."""
        before = set(os.listdir(folder))

        def written():
            sizes = []
            for name in set(os.listdir(folder)) - before:
                try:
                    sizes.append(os.path.getsize(os.path.join(folder, name)))
                except OSError:
                    pass
            return bool(sizes) and max(sizes) >= grown

        process = subprocess.Popen(LAUNCHER + [SFXPACK, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            while process.poll() is None and not written():
                time.sleep(0.001)
            self.assertIsNone(process.poll(), "ended before anything was written")
            act(process)
            return process.wait(timeout=toolkit.scaled(60))
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()

    def test_signals_leave_nothing(self):
        package = self.path("big.pkg")
        self.assertStatus(run("create", "-q", "--no-stub", "-o", package, self.big), OK)
        out = self.path("out")
        os.mkdir(out)
        for sig in (signal.SIGINT,) if ON_WINDOWS else (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            # create is stopped once its first chunk is written, with both workers busy.
            for command, args, folder, left, grown in (
                    ("create", ["create", "--no-stub", "-j", "2", "-o", self.path("new.pkg"), self.big], self.dir,
                     ["big.pkg", "out"], 1 << 20),
                    ("extract", ["extract", package, "-C", out], out, [], 0)):
                with self.subTest(signal=sig.name, command=command):
                    # Died of the signal (a shell sees 128 + its number), or ended as
                    # Windows programs do on Ctrl+C.
                    self.assertEqual(self.interrupt(args, folder, lambda p: p.send_signal(sig), grown),
                                     INTERRUPTED if ON_WINDOWS else -sig)
                    self.assertEqual(sorted(os.listdir(folder)), left)

    def test_input_cut_short_while_workers_read_leaves_nothing(self):
        shrinking = self.path("shrinking.bin")
        shutil.copyfile(self.big, shrinking)
        status = self.interrupt(["create", "-q", "--no-stub", "-j", "2", "-o", self.path("new.pkg"), shrinking],
                                self.dir, lambda _: os.truncate(shrinking, 32 << 20), 1 << 20)
        self.assertEqual(status, CANNOT_READ)
        self.assertEqual(sorted(os.listdir(self.dir)), ["shrinking.bin"])


def columns(text):
    """Terminal columns that text takes: two for the wide East Asian characters."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


@unittest.skipIf(ON_WINDOWS, "needs a POSIX terminal")
class ProgressBar(Scratch):
    def run_on_terminal(self, *args, width=80):
        """Runs sfxpack with stderr on a pseudo-terminal of the given width; answers
        (status, stdout, the redraws the terminal saw, seconds taken)."""
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, width, 0, 0))
        try:
            started = time.monotonic()
            result = subprocess.run([SFXPACK, *args], stdout=subprocess.PIPE, stderr=slave,
                                    timeout=toolkit.scaled(120))
            seconds = time.monotonic() - started
            os.close(slave)
            slave = None
            chunks = []
            while True:
                try:
                    chunk = os.read(master, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                chunks.append(chunk)
            shown = b"".join(chunks).decode()
            return result.returncode, result.stdout, [d for d in shown.split("\r") if d], seconds
        finally:
            if slave is not None:
                os.close(slave)
            os.close(master)

    def test_bar_fits_the_terminal_with_rate_and_time_left(self):
        # Long enough to be drawn several times; a wide-character name to be cut.
        name = "セットアップ-大きなファイル.bin"
        big = self.write(name, os.urandom(16 << 20))
        os.mkdir(self.path("x"))
        for width in (20, 50, 80, 132):
            # One thread: on every core the run can end before a rate is worth showing.
            for args in (["create", "-j", "1", "--no-stub", "-o", self.path("out.pkg"), big],
                         ["extract", self.path("out.pkg"), "-C", self.path("x")]):
                with self.subTest(width=width, command=args[0]):
                    status, _, draws, seconds = self.run_on_terminal(*args, width=width)
                    self.assertEqual(status, OK)
                    self.assertTrue(draws)
                    for draw in draws:
                        # One column is left free: a full last column wraps on many terminals.
                        self.assertEqual(columns(draw), width - 1, draw)
                        self.assertNotIn("\n", draw)
                    self.assertEqual(draws[-1].strip(), "")  # the bar is cleared at the end
                    bars = draws[:-1]
                    self.assertTrue(bars)
                    # At most ten redraws a second, plus the first and the clearing one.
                    self.assertLessEqual(len(draws), seconds * 10 + 2, (len(draws), seconds))
                    if width < 50:
                        continue  # too narrow for a bar: what fits of the figures
                    self.assertTrue(all(d.startswith("[") for d in bars), bars)
                    self.assertIn(name[:2], "".join(bars))
                    if args[0] == "create":  # long enough for a rate and a time left
                        self.assertTrue(any("/s" in d and " left" in d for d in bars), bars)

    def test_q_and_v_on_every_command(self):
        a = self.write("Setup.msi", os.urandom(300000))
        os.mkdir(self.path("x"))
        out = self.path("out.pkg")
        for args, quiet_output in ((["create", "--no-stub", "-o", out, a], b""),
                                   (["verify", out], b""),
                                   (["extract", out, "-C", self.path("x")], b""),
                                   (["list", out], None),
                                   (["info", out], None)):
            with self.subTest(command=args[0]):
                status, stdout, draws, _ = self.run_on_terminal(args[0], "-q", *args[1:])
                self.assertEqual((status, draws), (OK, []))
                if quiet_output is not None:
                    self.assertEqual(stdout, quiet_output)
                else:
                    self.assertIn(b"Setup.msi", stdout)  # what was asked for still comes
        for args, step in ((["create", "--no-stub", "-o", out, a], b"packing Setup.msi (300000 bytes)"),
                           (["extract", out, "-C", self.path("x")], b"extracting Setup.msi"),
                           (["verify", out], b"verifying Setup.msi"),
                           (["info", out], b"checking Setup.msi")):
            steps = run(args[0], "-v", *args[1:])
            self.assertStatus(steps, OK)
            self.assertIn(step, steps.stderr)


class HostileCorpus(Scratch):
    """Every case of the hostile corpus: a defined status, never a crash, and
    nothing written but the entries that verify, inside the target folder."""

    def test_corpus(self):
        corpus = self.path("corpus")
        subprocess.run([sys.executable, os.path.join(HERE, "..", "package", "make_hostile.py"), corpus], check=True)
        with open(os.path.join(corpus, "cases.tsv")) as manifest:
            cases = [line.rstrip("\n").split("\t") for line in manifest]
        self.assertGreater(len(cases), 30)
        for name, toc, count, flags in cases:
            with self.subTest(case=name):
                package = os.path.join(corpus, name)
                extractable = [] if flags == "-" else [f == "1" for f in flags.split(",")]
                data = slurp(package)
                entries = fmt.read_toc(data).entries
                if toc != str(fmt.OK):
                    expected = NOT_PACKAGE
                elif all(extractable):
                    expected = OK
                else:
                    expected = DAMAGED
                self.assertStatus(run("list", package), OK if toc == str(fmt.OK) else NOT_PACKAGE)
                verify = run("verify", package)
                self.assertStatus(verify, expected)

                work = self.path("work-" + name)
                target = os.path.join(work, "a", "b", "out")
                os.makedirs(target)
                extract = run("extract", package, "-C", target)
                self.assertStatus(extract, expected)
                self.assertEqual(sorted(os.listdir(work)), ["a"])
                self.assertEqual(sorted(os.listdir(os.path.join(work, "a"))), ["b"])
                self.assertEqual(sorted(os.listdir(os.path.join(work, "a", "b"))), ["out"])
                written = sorted(os.listdir(target))
                wanted = sorted(e[0] for e, ok in zip(entries, extractable) if ok)
                self.assertEqual(written, wanted)
                for entry, ok in zip(entries, extractable):
                    if ok:
                        with open(os.path.join(target, entry[0]), "rb") as f:
                            self.assertEqual(f.read(), fmt.inflate_entry(data, entry))
        # Nothing escaped to the usual places either.
        for place in ("/tmp/sfx-evil.txt", "/sfx-evil.txt", os.path.join(self.dir, "evil.txt")):
            self.assertFalse(os.path.exists(place), place)


if __name__ == "__main__":
    SFXPACK = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
