#!/usr/bin/env python3
"""The try front: what it tells sfxtry about the file it is given, and what try needs.

    test_try.py SFXPACK [unittest options]"""

import errno
import json
import os
import re
import unittest
import packer
from packer import (CANNOT_READ, CANNOT_WRITE, DAMAGED, INTERRUPTED, LAUNCHER, NATIVE, NOT_PACKAGE, OK, ON_WINDOWS,  # noqa: F401
                    REFUSED, USAGE, Scratch, columns, database, failing_disk, fmt, pe_stub, run, slurp,
                    temporary_files, toolkit, umask_mode)


class TryFront(Scratch):
    """What the C++ front of try does before sfxtry runs: it looks at the file and tells
    sfxtry what it is (SFXPACK_TRY_FILE) with try's default time-out, passes every
    argument on as given, and names what is missing to run it."""

    def test_try_needs_linux_and_names_what_it_lacks(self):
        if ON_WINDOWS:
            result = run("try", "CorvellaSetup.exe")
            self.assertStatus(result, USAGE)
            self.assertOneLineError(result, "for Linux")
            return
        kinds = packer.file_kinds(self)
        installer, notes = kinds["installer.exe"][0], kinds["notes.exe"][0]
        # Only an installer runs under Wine: anything else needs Python alone.
        for env, file, words, absent in (
                ({"PATH": "/nonexistent"}, installer, ("python3", "Xvfb", "apt install python3 wine xvfb"), None),
                ({"PATH": "/nonexistent"}, notes, ("needs python3,", "apt install python3)"), "wine"),
                ({"SFXPACK_TRY_PYTHON": self.dir}, installer, ("sfxtry", "cannot be read"), None)):
            with self.subTest(env=env, file=os.path.basename(file)):
                result = run("try", file, env=env)
                self.assertStatus(result, CANNOT_READ)
                self.assertOneLineError(result, *words)
                if absent:
                    self.assertNotIn(absent, result.stderr.decode())
                # With --json, stdout is JSON even when try cannot start.
                result = run("try", "--json", "--update", file, env=env)
                self.assertStatus(result, CANNOT_READ)
                said = json.loads(result.stdout)
                self.assertEqual((said["verdict"], said["error"], said["mode"]), (None, "cannot run", "update"))
                self.assertIn(words[-1], said["reason"])

    @unittest.skipIf(ON_WINDOWS, "try runs on Linux")
    def test_tells_sfxtry_what_the_file_is(self):
        # A stand-in sfxtry that prints what it was given, and stand-ins for what Wine brings.
        self.write(os.path.join("python", "sfxtry", "__main__.py"),
                   b"import json, os, sys\n"
                   b"print(json.dumps({'argv': sys.argv[1:], 'file': os.environ.get('SFXPACK_TRY_FILE'),\n"
                   b"                  'timeout': os.environ.get('SFXPACK_TRY_TIMEOUT_DEFAULT')}))\n")
        for program in ("wine", "wineboot", "wineserver", "Xvfb", "import"):
            os.chmod(self.write(os.path.join("bin", program), b"#!/bin/sh\nexit 1\n"), 0o755)
        env = {"SFXPACK_TRY_PYTHON": self.path("python"), "SFXPACK_PROBE": self.write("sfxprobe.exe", b"MZ"),
               "PATH": self.path("bin") + os.pathsep + os.environ["PATH"], "SFXPACK_TRY_FILE": "stale"}
        default = re.search(r"--timeout S .*\n.*\(default (\d+)\)", run("help", "try").stdout.decode()).group(1)
        for name, (path, kind, _) in packer.file_kinds(self).items():
            with self.subTest(file=name):
                args = ["--timeout=30", "--keep", self.path("keep"), "--json", path]
                result = run("try", *args, env=env)
                self.assertStatus(result, OK)
                told = json.loads(result.stdout)
                self.assertEqual((told["argv"], told["timeout"]), (args, default))
                file = json.loads(told["file"])
                self.assertEqual(file["kind"], kind)
                self.assertEqual(file["size"], os.path.getsize(path) if os.path.exists(path) else None)
                words = {"unreadable": os.strerror(errno.ENOENT), "not-windows": "not a Windows program",
                         "not-ours": "not one of our installers", "installer": "an installer",
                         "cut-short": f"cut short or damaged after {file['size'] or 0:,} bytes"}[kind]
                self.assertIn(words, file["words"])
        # No one INSTALLER named: sfxtry says so, and hears nothing of a file.
        told = json.loads(run("try", "--json", env=env).stdout)
        self.assertEqual((told["argv"], told["file"]), (["--json"], None))

if __name__ == "__main__":
    packer.main()
