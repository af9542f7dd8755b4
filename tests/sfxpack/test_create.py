#!/usr/bin/env python3
"""sfxpack create: round trips through the reference reader, its refusals, the
installer checks and the default stub.

    test_create.py SFXPACK [unittest options]"""

import os
import random
import struct
import unittest
import zlib
import packer
from packer import (CANNOT_READ, CANNOT_WRITE, DAMAGED, INTERRUPTED, LAUNCHER, NATIVE, NOT_PACKAGE, OK, ON_WINDOWS,  # noqa: F401
                    REFUSED, USAGE, Scratch, columns, database, failing_disk, fmt, pe_stub, run, slurp,
                    temporary_files, toolkit, umask_mode)


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
        self.assertEqual((first[0], first[1], first[4], first[5]), ("0", "150,000", "0", "Setup.msi"))
        self.assertEqual(rows[3].split()[-1], "empty.dat")

        self.assertStatus(run("verify", self.path("out.pkg")), OK)
        os.mkdir(self.path("x"))
        self.assertStatus(run("extract", self.path("out.pkg"), "-C", self.path("x")), OK)
        for name, data in inputs.items():
            self.assertEqual(self.read(os.path.join("x", name)), data)
        self.assertEqual(self.listing("x"), sorted(inputs))

    def test_installer_with_stub_and_selected_extraction(self):
        """Behind a stub; create and extract say what they packed and wrote, in the
        figures list uses."""
        inputs = self.make_inputs()
        files = [self.write(os.path.join("in", n), d) for n, d in inputs.items()]
        stub = self.write("stub.exe", pe_stub(signed=False, size=70001))
        setup = self.path("setup.exe")
        made = run("create", "--force", "--stub", stub, "-o", setup, *files)
        self.assertStatus(made, OK)
        self.assertReadBack(slurp(setup), pe_stub(signed=False, size=70001), inputs)
        packed = sum(e[3] for e in fmt.read_toc(slurp(setup)).entries)
        size, whole = os.path.getsize(setup), sum(map(len, inputs.values()))
        self.assertEqual(made.stdout.decode().splitlines(), [
            f"packed:     3 entries, {whole:,} bytes into {packed:,} bytes ({100 * packed / whole:.1f}%)",
            f"wrote:      {setup}, {size:,} bytes (stub 70,001 bytes, package {size - 70001:,} bytes)"])

        os.mkdir(self.path("x"))
        extracted = run("extract", setup, "-C", self.path("x"), "readme.txt", "2")
        self.assertStatus(extracted, OK)
        said = extracted.stdout.decode().replace("\\", "/" if ON_WINDOWS else "\\").splitlines()
        self.assertEqual(said, [f"wrote:      {self.path('x')}/readme.txt, {len(inputs['readme.txt']):,} bytes",
                                f"wrote:      {self.path('x')}/empty.dat, 0 bytes"])
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


class CreateRefusals(Scratch):
    """What create refuses, and that a refusal leaves every file as it was."""

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
        a = database()
        signed = self.write("signed.exe", pe_stub(True))
        result = run("create", "--stub", signed, "-o", self.path("out.exe"), a)
        self.assertStatus(result, REFUSED)
        self.assertOneLineError(result, "signed", "--allow-signed-stub")
        self.assertFalse(os.path.exists(self.path("out.exe")))
        self.assertStatus(run("create", "--stub", signed, "--allow-signed-stub", "-o", self.path("out.exe"), a), OK)
        self.assertStatus(run("verify", self.path("out.exe")), OK)


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
        refusals = [("two entries", ["--stub", stub], "setup.exe", [database(), notes], {}, ("setup.exe", "2 files")),
                    ("a non-database entry", ["--stub", stub], "setup.exe", [fake], {},
                     ("Setup.msi", "not a Windows Installer database", "compound-file signature")),
                    ("a default stub that is no PE image", [], "setup.exe", [database()],
                     {"SFXPACK_STUB": self.write("env-stub.exe", b"\0" * 5000)}, ("env-stub.exe", "Windows program"))]
        for name, data in bad_stubs.items():
            path = self.write(name.replace(" ", "-") + ".exe", bytes(data))
            refusals.append((f"a stub with {name}", ["--stub", path], "setup.exe", [database()], {},
                             (os.path.basename(path), "not a Windows program")))
        rows = []
        for case, options, out, files, env, words in refusals:
            rows.append((case, options, out, files, env, REFUSED, words + ("--force",)))
            rows.append((case + ", with --force", ["--force", *options], out, files, env, OK, None))
        rows += [("a bare package named .exe", ["--no-stub"], "bare.exe", [database()], {}, OK,
                  ("bare.exe", "warning", "--no-stub")),
                 ("a bare package named .EXE, with -q", ["--no-stub", "-q"], "BARE.Exe", [database()], {}, OK,
                  ("BARE.Exe", "warning")),
                 ("a bare package named .exe.pkg", ["--no-stub"], "bare.exe.pkg", [database()], {}, OK, None),
                 ("a normal installer", ["--stub", stub], "setup.exe", [database()], {}, OK, None),
                 ("a normal installer with the default stub", [], "Setup.EXE", [database()], {"SFXPACK_STUB": stub},
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
        program = self.write(os.path.join("prefix", "bin", os.path.basename(packer.SFXPACK)), slurp(packer.SFXPACK))
        os.chmod(program, 0o755)
        installed = os.path.join(prefix, "share", "sfxpack", "sfxstub.exe")
        beside = os.path.join(prefix, "bin", "sfxstub.exe")
        named = self.write("named.exe", pe_stub(False, size=5000))
        a = database()
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


if __name__ == "__main__":
    packer.main()
