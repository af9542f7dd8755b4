#!/usr/bin/env python3
"""What sfxpack makes of what it is given: every case of the hostile corpus, and
files cut short.

    test_formats.py SFXPACK [unittest options]"""

import os
import subprocess
import sys
import packer
from packer import (CANNOT_READ, CANNOT_WRITE, DAMAGED, INTERRUPTED, LAUNCHER, NATIVE, NOT_PACKAGE, OK, ON_WINDOWS,  # noqa: F401
                    REFUSED, USAGE, Scratch, columns, database, failing_disk, fmt, pe_stub, run, slurp,
                    temporary_files, toolkit, umask_mode)


class HostileCorpus(Scratch):
    """Every case of the hostile corpus: a defined status, never a crash, and
    nothing written but the entries that verify, inside the target folder."""

    def test_corpus(self):
        corpus = self.path("corpus")
        subprocess.run([sys.executable, os.path.join(packer.HERE, "..", "package", "make_hostile.py"), corpus], check=True)
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



class WhatAFileIs(Scratch):
    """list, verify, info and extract on files of every kind: a package is read wherever
    it is; a Windows program whose package lost its end (a download that stopped) is
    called cut short, after its length; anything else is no package."""

    def test_every_kind(self):
        out = self.path("out")
        os.mkdir(out)
        for name, (path, kind, found) in packer.file_kinds(self).items():
            for command in (["list"], ["verify"], ["info"], ["extract", "-C", out]):
                with self.subTest(file=name, command=command[0]):
                    result = run(command[0], path, *command[1:])
                    if found:
                        self.assertStatus(result, OK)
                    elif kind == "unreadable":
                        self.assertStatus(result, CANNOT_READ)
                        self.assertOneLineError(result, name, "cannot be read")
                    elif kind == "cut-short":
                        self.assertStatus(result, NOT_PACKAGE)
                        self.assertOneLineError(result, f"{name}: cut short or damaged after "
                                                f"{os.path.getsize(path):,} bytes: the package's end is missing")
                    else:
                        self.assertStatus(result, NOT_PACKAGE)
                        self.assertOneLineError(result, name, "not a package")

if __name__ == "__main__":
    packer.main()
