#!/usr/bin/env python3
"""Safe file handling: failing disks, only regular files read, nothing a user has
written through or lost, and nothing left on an interrupt.

    test_files.py SFXPACK [unittest options]"""

import errno
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import packer
from packer import (CANNOT_READ, CANNOT_WRITE, DAMAGED, INTERRUPTED, LAUNCHER, NATIVE, NOT_PACKAGE, OK, ON_WINDOWS,  # noqa: F401
                    REFUSED, USAGE, Scratch, columns, database, failing_disk, fmt, pe_stub, run, slurp,
                    temporary_files, toolkit, umask_mode)


class Disks(Scratch):
    """A disk that fails, and what is no regular file."""

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
                runs = [subprocess.Popen(LAUNCHER + [packer.SFXPACK, "extract", p, "-C", out], stdin=subprocess.DEVNULL,
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
        a = database()
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
                result = subprocess.run(["unshare", "-pf", packer.SFXPACK, "create", "-q", "--stub", stub, "-o", out, a],
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
        self.assertStatus(run("create", "--stub", stub, "-o", self.path("out.exe"), database()), OK)
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

        process = subprocess.Popen(LAUNCHER + [packer.SFXPACK, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
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


if __name__ == "__main__":
    packer.main()
