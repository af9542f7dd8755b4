#!/usr/bin/env python3
"""Tests of what we ship.

    test_release.py SFXPACK Docs      the manual page and bash completion against sfxpack --help
    test_release.py WORK Release      scripts/release.sh twice, in two folders under WORK:
                                      identical bytes, a .deb that works unpacked anywhere,
                                      the Windows zip, and bad input that loses nothing
"""

import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import toolkit  # noqa: E402
from pe_image import PeImage  # noqa: E402
MAN_PAGE = os.path.join(ROOT, "docs", "sfxpack.1")
COMPLETION = os.path.join(ROOT, "docs", "sfxpack.bash-completion")
RELEASE = os.path.join(ROOT, "scripts", "release.sh")
IN_RELEASE = os.path.join(ROOT, "scripts", "in-release.sh")
ARG = None


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=kwargs.pop("timeout", 120), **kwargs)


def slurp(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def served_releases():
    """{package suffix: codename} of the releases scripts/releases.sh names."""
    lines = run([os.path.join(ROOT, "scripts", "releases.sh")]).stdout.split("\n")
    return {fields[2]: fields[0] for fields in (line.split() for line in lines) if len(fields) == 3}


def in_release(codename, args, env=None, **kwargs):
    """args run in that release's root (scripts/in-release.sh), with env as their whole
    environment when given."""
    clean = ["env", "-i", *(f"{k}={v}" for k, v in env.items())] if env is not None else []
    return run([IN_RELEASE, codename, *clean, *args], **kwargs)


def render_man(page):
    """The page as man shows it, and man's warnings."""
    env = dict(os.environ, MANWIDTH="200", MANPAGER="cat", LC_ALL="C.UTF-8")
    result = run(["man", "--warnings", "-l", page], env=env)
    return result.stdout, result.stderr


def complete(words, cwd):
    """What the completion offers for the last of words, typed after them."""
    script = ('source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _sfxpack; '
              'printf "%s\\n" "${COMPREPLY[@]}"')
    result = run(["bash", "-c", script, COMPLETION, *words], cwd=cwd)
    if result.returncode != 0:
        raise AssertionError(f"completion of {words} failed: {result.stderr}")
    return sorted(line for line in result.stdout.split("\n") if line)


def help_usage(sfxpack):
    """From sfxpack --help: {command: options of its usage line}, the option table as
    {spellings: (commands, description)}, and the exit statuses."""
    text = run([sfxpack, "--help"]).stdout
    usage = {}
    for match in re.finditer(r"(?m)^  sfxpack (\w+) (.*(?:\n {12,}\S.*)*)", text.split("\nOptions:\n")[0]):
        usage[match.group(1)] = set(re.findall(r"(?<![\w-])(--?[A-Za-z][\w-]*)", match.group(2)))
    options = {}
    table = text.split("\nOptions:\n")[1].split("\n\n")[0]
    for heading, commands, description in re.findall(r"(?m)^  (-.*?)  \((.*)\)\n((?:      .*\n?)*)", table):
        spellings = tuple(re.findall(r"(?<![\w-])(--?[A-Za-z][\w-]*)", heading))
        options[spellings] = (set(usage) if commands == "every command" else set(commands.split(", ")),
                              " ".join(description.split()))
    statuses = set(re.findall(r"^  (\d+)  ", text.split("Exit status:")[1], re.M))
    return usage, options, statuses, text


def figures(text):
    """The numbers a text names, with their units: "256", "1 MiB", "2,147"."""
    return set(re.findall(r"(?<![\w.,])\d+(?:,\d{3})*(?: [KMG]iB)?(?![\w])", text))


def man_options(text):
    """The OPTIONS section of the rendered page as {heading line: its whole entry}."""
    section = text.split("\nOPTIONS\n")[1].split("\nEXIT STATUS\n")[0]
    entries = re.split(r"(?m)^(?=       -)", section)[1:]
    return {entry.splitlines()[0]: " ".join(entry.split()) for entry in entries}


class Docs(unittest.TestCase):
    """The manual page and the completion follow the program: a command or option that
    --help lists and they lack fails here."""

    @classmethod
    def setUpClass(cls):
        cls.usage, cls.options, cls.statuses, cls.help = help_usage(ARG)
        if not cls.usage:
            raise AssertionError(f"no usage lines in sfxpack --help:\n{cls.help}")

    def test_page_renders_without_warnings(self):
        groff = run(["groff", "-man", "-ww", "-z", MAN_PAGE])
        self.assertEqual((groff.returncode, groff.stderr), (0, ""))
        text, warnings = render_man(MAN_PAGE)
        self.assertEqual(warnings, "")
        for section in ("SYNOPSIS", "COMMANDS", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES", "SIGNING",
                        "EXAMPLES"):
            self.assertRegex(text, rf"(?m)^{section}$")

    def test_page_has_every_command_option_and_status(self):
        """Every command and every option of the table, each spelling, and every figure
        the help gives an option (its range, default, chunk sizes) in the page's entry."""
        text, _ = render_man(MAN_PAGE)
        options_section = text.split("\nOPTIONS\n")[1].split("\nEXIT STATUS\n")[0]
        for command, options in self.usage.items():
            with self.subTest(command=command):
                self.assertRegex(text, rf"(?m)^ +sfxpack {command}\b")  # in the synopsis
                self.assertRegex(text, rf"(?m)^       {command}\b")  # described under COMMANDS
                for option in options:
                    self.assertRegex(options_section, rf"(?m)^       {re.escape(option)}\b")
        entries = man_options(text)
        self.assertGreater(len(self.options), 15)
        for spellings, (commands, description) in self.options.items():
            with self.subTest(option=spellings):
                found = [entry for heading, entry in entries.items()
                         if all(re.search(rf"(?<![\w-]){re.escape(s)}(?![\w-])", heading) for s in spellings)]
                self.assertEqual(len(found), 1, f"{spellings} in the page's OPTIONS")
                self.assertLessEqual(figures(description), figures(found[0]), found[0])
                # Each command that takes it shows it in its usage (but the options of every command).
                if len(commands) < len(self.usage):
                    for command in commands:
                        self.assertTrue(set(spellings) & self.usage[command], (command, spellings))
        statuses = text.split("\nEXIT STATUS\n")[1].split("\nENVIRONMENT\n")[0]
        self.assertEqual(set(re.findall(r"(?m)^       (\d+)\b", statuses)), self.statuses)

    def test_exit_statuses_are_one_table(self):
        """sfxpack's table of exit statuses (--help prints it) is the one source: the page
        gives every status the same meaning word for word, and try (sfxtry) ends with
        the status whose meaning names its verdict."""
        def meanings(section, first):
            """{status: its meaning, white space folded} of section, where a status
            starts a line indented by first columns."""
            parts = re.split(rf"(?m)^ {{{first}}}(\d+) +", section)[1:]
            return {int(status): " ".join(text.split()) for status, text in zip(parts[::2], parts[1::2])}
        program = meanings(self.help.split("Exit status:\n")[1], 2)
        text, _ = render_man(MAN_PAGE)
        page = meanings(text.split("\nEXIT STATUS\n")[1].split("\nENVIRONMENT\n")[0], 7)
        self.assertEqual(sorted(page), sorted(program))
        for status, meaning in program.items():
            with self.subTest(status=status):
                self.assertIn(meaning, page[status])
        from sfxtry import cli
        for verdict, status in cli.EXIT.items():
            with self.subTest(verdict=verdict):
                self.assertIn(f"try: {verdict}", program[status])
        self.assertTrue(program[cli.USAGE].startswith("bad command line"), program[cli.USAGE])
        self.assertIn("try: a program it runs is missing", program[cli.CANNOT_RUN])

    def test_completion_offers_every_command_and_option(self):
        with tempfile.TemporaryDirectory() as cwd:
            self.assertLessEqual(set(self.usage) | {"--help", "--version"}, set(complete(["sfxpack", ""], cwd)))
            self.assertEqual(set(complete(["sfxpack", "help", ""], cwd)), set(self.usage))
            for command, options in self.usage.items():
                if command == "help":
                    continue  # takes a command, not options
                with self.subTest(command=command):
                    offered = set(complete(["sfxpack", command, "-"], cwd))
                    self.assertLessEqual(options | {"-q", "-v", "--help"}, offered)
                    for spellings, (commands, _) in self.options.items():
                        if command in commands:
                            self.assertLessEqual(set(spellings), offered)

    def test_completion_of_values_and_files(self):
        with tempfile.TemporaryDirectory() as cwd:
            for name in ("Setup.msi", "-odd.msi", "out dir/x"):
                os.makedirs(os.path.dirname(os.path.join(cwd, name)), exist_ok=True)
                open(os.path.join(cwd, name), "w").close()
            cases = [
                (["sfxpack", "li"], ["list"]),
                (["sfxpack", "extract", "a.exe", "-C", ""], ["out dir"]),
                (["sfxpack", "create", "-o", "S"], ["Setup.msi"]),
                (["sfxpack", "create", "-o", "a.exe", "Se"], ["Setup.msi"]),
                (["sfxpack", "create", "--", "-"], ["-odd.msi"]),
                (["sfxpack", "list", "--j"], ["--json"]),
                (["sfxpack", "verify", "--j"], ["--json"]),
                (["sfxpack", "extract", "a.exe", "--directory", ""], ["out dir"]),
                (["sfxpack", "try", "--keep", ""], ["out dir"]),
                (["sfxpack", "help", "ex"], ["extract"]),
                (["sfxpack", "info", "--j"], ["--json"]),
                (["sfxpack", "frobnicate", ""], []),
            ]
            for words, expected in cases:
                with self.subTest(words=words):
                    self.assertEqual(complete(words, cwd), expected)


def pe_fields(path):
    """(time stamp, checksum, checksum computed over the file, COFF symbol count)."""
    image = PeImage.read(path)
    return image.time_date_stamp, image.checksum, image.computed_checksum(), image.number_of_symbols


class Release(unittest.TestCase):
    """Two releases of this checkout: the first as the environment builds (ccache or
    not, SOURCE_DATE_EPOCH from the last commit), the second without ccache, with the
    date given explicitly, in other folders."""

    @classmethod
    def setUpClass(cls):
        cls.work = ARG
        shutil.rmtree(cls.work, ignore_errors=True)
        os.makedirs(cls.work)
        cls.epoch = int(run(["git", "-C", ROOT, "log", "-1", "--format=%ct"]).stdout)
        cls.dists = []
        for name, env in (("a", {}), ("b", {"CCACHE_DISABLE": "1", "SOURCE_DATE_EPOCH": str(cls.epoch)})):
            build, dist = os.path.join(cls.work, name, "build"), os.path.join(cls.work, name, "dist")
            environ = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
            result = run([RELEASE, "--build", build, "--dist", dist], env=dict(environ, **env), timeout=1200)
            if result.returncode != 0:
                raise AssertionError(f"release {name} failed:\n{result.stdout}\n{result.stderr}")
            cls.dists.append(dist)
        cls.build = os.path.join(cls.work, "a", "build")
        # {codename: its .deb}: one for each served release, named after it.
        cls.debs = {}
        for suffix, codename in served_releases().items():
            name = f"sfxpack_{cls.version()}{suffix}_amd64.deb"
            if os.path.exists(os.path.join(cls.dists[0], name)):
                cls.debs[codename] = name
        cls.zip = [f for f in os.listdir(cls.dists[0]) if f.endswith(".zip")][0]

    @classmethod
    def version(cls):
        cache = slurp(os.path.join(cls.work, "a", "build", "release-win32", "CMakeCache.txt"), "r")
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache, re.M).group(1)

    def test_a_deb_for_each_release(self):
        expected = served_releases()
        if os.environ.get("SFX_OTHER_RELEASE") == "none":
            own = run([os.path.join(ROOT, "scripts", "releases.sh"), "--own"]).stdout.split()[0]
            expected = {k: v for k, v in expected.items() if v == own}
        self.assertEqual(sorted(self.debs), sorted(expected.values()))
        for suffix, codename in expected.items():
            with self.subTest(release=codename):
                deb = os.path.join(self.dists[0], self.debs[codename])
                self.assertEqual(run(["dpkg-deb", "-f", deb, "Version"]).stdout.strip(), self.version() + suffix)

    def test_two_runs_give_identical_bytes(self):
        a, b = self.dists
        self.assertEqual(sorted(os.listdir(a)), sorted([*self.debs.values(), self.zip, "SHA256SUMS"]))
        match, mismatch, errors = filecmp.cmpfiles(a, b, os.listdir(a), shallow=False)
        self.assertEqual((mismatch, errors), ([], []))
        for exe in ("src/app/sfxstub.exe", "tools/sfxpack/sfxpack.exe"):
            with self.subTest(exe=exe):
                self.assertTrue(filecmp.cmp(os.path.join(self.build, "release-win32", exe),
                                            os.path.join(self.work, "b", "build", "release-win32", exe),
                                            shallow=False))
        sums = run(["sha256sum", "-c", "SHA256SUMS"], cwd=a)
        self.assertEqual(sums.returncode, 0, sums.stdout + sums.stderr)

    def test_windows_zip(self):
        folder = self.zip[:-len(".zip")]
        with zipfile.ZipFile(os.path.join(self.dists[0], self.zip)) as z:
            self.assertEqual(z.namelist(), [f"{folder}/{n}" for n in ("LICENSE.txt", "README.md", "sfxpack.exe",
                                                                      "sfxprobe.exe", "sfxstub.exe",
                                                                      "zopfli-LICENSE.txt")])
            with tempfile.TemporaryDirectory() as out:
                z.extractall(out)
                built = {"sfxpack.exe": "tools/sfxpack/sfxpack.exe", "sfxstub.exe": "src/app/sfxstub.exe",
                         "sfxprobe.exe": "tools/probe/sfxprobe.exe"}
                for name, path in built.items():
                    with self.subTest(exe=name):
                        exe = os.path.join(out, folder, name)
                        self.assertTrue(filecmp.cmp(exe, os.path.join(self.build, "release-win32", path), False))
                        stamp, checksum, computed, symbols = pe_fields(exe)
                        self.assertEqual((stamp, checksum, symbols), (self.epoch, computed, 0))
                        self.assertNotIn(b"/release-win32/", slurp(exe))

    def test_deb_unpacked_anywhere_makes_an_installer(self):
        for codename, deb in self.debs.items():
            with self.subTest(release=codename):
                self.check_unpacked(codename, os.path.join(self.dists[0], deb))

    def check_unpacked(self, codename, deb):
        """The package unpacked in a folder of its own, its sfxpack run in its release."""
        with tempfile.TemporaryDirectory() as where:
            root = os.path.join(where, "any", "where")
            os.makedirs(root)
            self.assertEqual(run(["dpkg-deb", "-x", deb, root]).returncode, 0)
            sfxpack = os.path.join(root, "usr", "bin", "sfxpack")
            stub = os.path.join(root, "usr", "share", "sfxpack", "sfxstub.exe")
            for name, built in (("sfxstub.exe", "src/app/sfxstub.exe"), ("sfxprobe.exe", "tools/probe/sfxprobe.exe")):
                self.assertTrue(filecmp.cmp(os.path.join(root, "usr/share/sfxpack", name),
                                            os.path.join(self.build, "release-win32", built), False))
            python = os.path.join(root, "usr/share/sfxpack/python/sfxtry")
            shipped = sorted(n for n in os.listdir(os.path.join(ROOT, "tools/sfxtry/sfxtry")) if n.endswith(".py"))
            self.assertEqual(sorted(os.listdir(python)), shipped)
            self.assertTrue(filecmp.cmp(os.path.join(root, "usr/share/bash-completion/completions/sfxpack"),
                                        COMPLETION, False))
            self.assertTrue(os.path.isfile(os.path.join(root, "usr/share/doc/sfxpack/copyright")))
            text, warnings = render_man(os.path.join(root, "usr/share/man/man1/sfxpack.1.gz"))
            self.assertEqual(warnings, "")
            self.assertIn("SFXPACK(1)", text)

            # The installer takes only a database, so a real one.
            database = toolkit.build_msi(os.path.join(ROOT, "tests", "sfxpack", "fixtures", "product.wxs"), where)
            installer = os.path.join(where, "CorvellaSetup.exe")
            args = [sfxpack, "create", "-q", "-o", installer, database]
            if "--no-stub" not in in_release(codename, [sfxpack, "--help"]).stdout:
                args[2:2] = ["--stub", stub]  # a packer that has no default stub yet
            created = in_release(codename, args, env={"PATH": "/usr/bin:/bin"})
            self.assertEqual(created.returncode, 0, created.stderr)
            self.assertEqual(slurp(installer)[:os.path.getsize(stub)], slurp(stub))
            verified = in_release(codename, [sfxpack, "verify", installer])
            self.assertEqual(verified.returncode, 0, verified.stderr)
            # try finds its parts in the unpacked tree, and names what the machine lacks to
            # run an installer.
            lacking = in_release(codename, [sfxpack, "try", installer], env={"PATH": "/nonexistent"})
            self.assertEqual(lacking.returncode, 3, lacking.stderr)
            self.assertIn("apt install python3 wine xvfb imagemagick", lacking.stderr)

    def test_deb_depends_on_what_sfxpack_links(self):
        """Each package asks for the packages of its release that own what sfxpack links
        there (Debian 13's libmsi is libmsi-1.0-0, 12's libmsi0)."""
        for codename, name in self.debs.items():
            with self.subTest(release=codename):
                deb = os.path.join(self.dists[0], name)
                depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
                with tempfile.TemporaryDirectory() as root:
                    run(["dpkg-deb", "-x", deb, root])
                    dynamic = run(["objdump", "-p", os.path.join(root, "usr/bin/sfxpack")]).stdout
                needed = re.findall(r"NEEDED\s+(\S+)", dynamic)
                self.assertTrue(needed, dynamic)
                # Most libraries live in the multiarch folder, some (libzopfli1) in /usr/lib.
                found = in_release(codename, ["bash", "-c", 'm=$(dpkg-architecture -qDEB_HOST_MULTIARCH); '
                                              'for l; do dpkg -S "*/$m/$l" || dpkg -S "/usr/lib/$l"; done',
                                              "_", *needed]).stdout
                owners = {line.split(":")[0] for line in found.splitlines()}
                self.assertEqual({d.split()[0] for d in depends.split(", ")}, owners)
                recommends = run(["dpkg-deb", "-f", deb, "Recommends"]).stdout
                for package in ("wine", "wine64", "wine32:i386", "xvfb", "imagemagick", "python3", "bubblewrap",
                                "fuse-overlayfs"):
                    self.assertIn(package, recommends)

    def test_bad_input_keeps_the_last_release(self):
        dist = self.dists[0]
        before = {n: slurp(os.path.join(dist, n)) for n in os.listdir(dist)}
        plain_file = os.path.join(self.work, "a-file")
        with open(plain_file, "w") as f:
            f.write("keep me")
        other = os.path.join(self.work, "c", "build")
        cases = [
            ([], {}, 2, "unknown argument '--frobnicate'", ["--frobnicate"]),
            ([], {}, 2, "--dist needs a folder", ["--dist"]),
            ([], {}, 2, "is not a folder", ["--dist", plain_file]),
            ([], {"SOURCE_DATE_EPOCH": "yesterday"}, 2, "must be a number of seconds", []),
            # The native configure fails after the Windows tree is built.
            (["--build", other], {"CC": "/bin/false", "CXX": "/bin/false"}, 1, "the build failed", []),
        ]
        for prefix, env, status, words, args in cases:
            with self.subTest(args=args, env=env):
                result = run([RELEASE, *prefix, "--dist", dist, *args], env=dict(os.environ, **env), timeout=900)
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                self.assertIn(words, result.stderr)
                self.assertEqual({n: slurp(os.path.join(dist, n)) for n in os.listdir(dist)}, before)
                self.assertEqual([n for n in os.listdir(os.path.dirname(dist)) if ".new." in n], [])
                self.assertEqual(slurp(plain_file, "r"), "keep me")


if __name__ == "__main__":
    ARG = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
