#!/usr/bin/env python3
"""The command-line front: the option grammar, the help, usage errors, the console
and its progress bar.

    test_cli.py SFXPACK [unittest options]"""

import fcntl
import json
import os
import pty
import re
import struct
import subprocess
import termios
import time
import unittest
import packer
from packer import (CANNOT_READ, CANNOT_WRITE, DAMAGED, INTERRUPTED, LAUNCHER, NATIVE, NOT_PACKAGE, OK, ON_WINDOWS,  # noqa: F401
                    REFUSED, USAGE, Scratch, columns, database, failing_disk, fmt, pe_stub, run, slurp,
                    temporary_files, toolkit, umask_mode)


class CommandLine(Scratch):
    """Usage errors, the help of the whole and of each command, the version."""

    def test_usage(self):
        for args in ([], ["bogus"], ["create", "a"], ["create", "-o"], ["create", "--output"], ["list"], ["verify"],
                     ["create", "--no-stub", "-o", "x"], ["list", "--stub", "x", "y"], ["extract"], ["info"],
                     ["info", "a", "b"], ["list", "a", "b"], ["extract", "a", "--directory="], ["extract", "a", "-C"],
                     ["help", "bogus"], ["help", "create", "list"], ["help", "--json"], ["verify", "--level", "9", "a"],
                     ["create", "--stub", "s", "--no-stub", "-o", "x", "a"],
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
        text = result.stdout.decode().replace("\r\n", "\n")
        for word in ("create", "list", "extract", "verify", "try", "Exit status", "--allow-signed-stub", "--threads",
                     "--level", "--iterations"):
            self.assertIn(word, text)
        for status in (*range(10), 130):
            self.assertIn(f"\n  {status}  ", text)
        # Each command's part: its usage and its options, asked for either way, the
        # same words as in the whole.
        usages = re.findall(r"(?m)^  sfxpack (\w+) ", text)
        self.assertEqual(usages, ["create", "list", "info", "extract", "verify", "try", "help"])
        for command in usages:
            with self.subTest(command=command):
                part = run("help", command)
                self.assertStatus(part, OK)
                for other in (run(command, "--help"), run(command, "-h"), run("--help", command)):
                    self.assertEqual((other.returncode, other.stdout), (OK, part.stdout))
                # sfxpack.exe's console ends its lines with CR LF.
                usage, options = part.stdout.decode().replace("\r\n", "\n").split("\nOptions:\n")
                self.assertIn(usage.split("Usage:\n")[1], text)
                self.assertEqual(re.findall(r"(?m)^  sfxpack (\w+) ", usage), [command])
                self.assertIn("  -q, --quiet  (every command)", options)
                self.assertNotIn("Exit status", options)
        version = run("--version")
        self.assertStatus(version, OK)
        self.assertRegex(version.stdout.decode(), r"^sfxpack \d+\.\d+")

    def test_one_option_grammar(self):
        """Every option has a long form, and a value may follow it or be attached to it,
        in every command; verify takes several files and --json, as list and info take
        --json."""
        data = os.urandom(3000)
        source = self.write("data.bin", data)
        made = []
        for n, output in enumerate((["--output", "{}"], ["--output={}"], ["-o{}"], ["-o", "{}"])):
            with self.subTest(output=output[0]):
                out = self.path(f"p{n}.pkg")
                self.assertStatus(run("create", "-q", "--no-stub", *(a.format(out) for a in output), source), OK)
                made.append(self.read(f"p{n}.pkg"))
        self.assertEqual(made, [made[0]] * 4)
        for n, directory in enumerate((["--directory", "{}"], ["--directory={}"], ["-C{}"], ["-C", "{}"])):
            with self.subTest(directory=directory[0]):
                folder = self.path(f"x{n}")
                os.mkdir(folder)
                self.assertStatus(run("extract", "--quiet", self.path("p0.pkg"), *(a.format(folder) for a in directory)), OK)
                self.assertEqual(self.read(os.path.join(f"x{n}", "data.bin")), data)
        damaged = fmt.Entry("bad.bin", os.urandom(2000))
        damaged.stream = damaged.stream[:-4] + b"\0\0\0\0"  # wrong Adler-32
        packages = [self.path("p0.pkg"), self.write("bad.pkg", fmt.build([damaged])), self.path("missing.pkg")]
        text = run("verify", *packages)
        self.assertStatus(text, DAMAGED)  # the first failure's status
        self.assertEqual(text.stdout.decode().splitlines(),
                         [f"{packages[0]}: 1 of 1 entries verified", f"{packages[1]}: 0 of 1 entries verified"])
        result = run("verify", "--json", *packages)
        self.assertStatus(result, DAMAGED)
        doc = json.loads(result.stdout)
        self.assertEqual([(f["file"], f["status"]) for f in doc["files"]],
                         list(zip(packages, (OK, DAMAGED, CANNOT_READ))))
        self.assertEqual(doc["status"], DAMAGED)
        self.assertEqual([e["checksum"] for e in doc["files"][1]["entries"]], ["damaged"])
        self.assertIn("checksum", doc["files"][1]["entries"][0]["problem"])
        self.assertIn("cannot be read", doc["files"][2]["problem"])
        self.assertEqual(doc["files"][0]["verified"], 1)


@unittest.skipIf(ON_WINDOWS, "needs a POSIX terminal")
class ProgressBar(Scratch):
    def run_on_terminal(self, *args, width=80):
        """Runs sfxpack with stderr on a pseudo-terminal of the given width; answers
        (status, stdout, the redraws the terminal saw, seconds taken)."""
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, width, 0, 0))
        try:
            started = time.monotonic()
            result = subprocess.run([packer.SFXPACK, *args], stdout=subprocess.PIPE, stderr=slave,
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

    def test_a_message_clears_the_bar_first(self):
        """An error met while the bar is drawn (a damaged entry after a long one, a
        folder where a file goes) starts a line of its own on a cleared line, never
        inside the bar."""
        damaged = fmt.Entry("bad.bin", os.urandom(2000))
        damaged.stream = damaged.stream[:-4] + b"\0\0\0\0"  # wrong Adler-32
        big = fmt.Entry("big.bin", os.urandom(24 << 20))
        package = self.write("p.pkg", fmt.build([big, damaged, fmt.Entry("taken", b"x" * 100)]))
        os.makedirs(self.path("out", "taken"))
        for case, wanted in (("a damaged entry", ["big.bin", "bad.bin"]), ("a folder in the way", ["big.bin", "taken"])):
            with self.subTest(case=case):
                status, _, draws, _ = self.run_on_terminal("extract", package, "-C", self.path("out"), *wanted)
                self.assertEqual(status, DAMAGED if "damaged" in case else CANNOT_WRITE)
                at = [n for n, d in enumerate(draws) if "sfxpack:" in d]
                self.assertTrue(at, draws)
                self.assertTrue(draws[at[0]].startswith("sfxpack: "), draws[at[0]])
                self.assertEqual(draws[at[0] - 1].strip(), "", draws[at[0] - 1])  # the bar cleared

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
        for args, step in ((["create", "--no-stub", "-o", out, a], b"packing Setup.msi (300,000 bytes)"),
                           (["extract", out, "-C", self.path("x")], b"extracting Setup.msi"),
                           (["verify", out], b"verifying Setup.msi"),
                           (["info", out], b"checking Setup.msi")):
            steps = run(args[0], "-v", *args[1:])
            self.assertStatus(steps, OK)
            self.assertIn(step, steps.stderr)


if __name__ == "__main__":
    packer.main()
