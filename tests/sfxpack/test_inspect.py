#!/usr/bin/env python3
"""The commands that read a package: list, info, verify and extract, on good,
damaged and oddly named packages and on files that are none.

    test_inspect.py SFXPACK [unittest options]"""

import glob
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import packer
from packer import (CANNOT_READ, CANNOT_WRITE, DAMAGED, INTERRUPTED, LAUNCHER, NATIVE, NOT_PACKAGE, OK, ON_WINDOWS,  # noqa: F401
                    REFUSED, USAGE, Scratch, columns, database, failing_disk, fmt, pe_stub, run, slurp,
                    temporary_files, toolkit, umask_mode)


class Reading(Scratch):
    """Names, duplicates and files that are no package, as each reading command sees them."""

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
        self.assertStatus(run("create", "--stub", stub, "-o", self.path("p.exe"), database()), OK)
        result = run("extract", self.path("p.exe"), "-C", self.path("nofolder"))
        self.assertStatus(result, CANNOT_WRITE)
        self.assertOneLineError(result, "nofolder")


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
        cls.msi = database()
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
        info = subprocess.Popen([packer.SFXPACK, "info", package], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
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


if __name__ == "__main__":
    packer.main()
