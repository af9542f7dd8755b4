#!/usr/bin/env python3
"""Fast tests of `sfxpack try`'s own code, no Wine needed: the verdict from recorded
probe logs, the command line, the report formats, and the sandbox itself (bubblewrap
runs here whatever the kernel does with 32-bit programs).

    test_sfxtry.py [unittest options]"""
import contextlib
import errno
import io
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "sfxtry"))
from sfxtry import cli, confine, report, sandbox  # noqa: E402
from sfxtry.probe import Probe  # noqa: E402
from sfxtry.trial import PERSON_WAIT_MS, Trial  # noqa: E402

FIXTURES = os.path.join(HERE, "fixtures")


def recorded(name):
    with open(os.path.join(FIXTURES, name + ".jsonl"), encoding="utf-8") as f:
        return Probe.load(f.read())


def judged(name, update=False, timed_out=False, tail_ms=0):
    """The trial of a recorded run, its events fed to the waiting rule as they came
    (and once more tail_ms after the last, as a look with nothing new)."""
    trial = Trial("CorvellaSetup.exe", update)
    events = recorded(name).events
    for i, event in enumerate(events):
        trial.waiting.see(Probe(events[:i + 1]), event, event["t"])
    if tail_ms and events:
        trial.waiting.see(Probe(events), None, events[-1]["t"] + tail_ms)
    trial.probe = Probe(events)
    trial.decide(timed_out)
    return trial


class Verdicts(unittest.TestCase):
    """decide() on what the probe reported in real runs under Wine."""

    def test_each_recorded_run_gets_its_verdict(self):
        for name, update, verdict, code, started in (
                ("installed-normal", False, "installed", 0, True),
                ("installed-update", True, "installed", 0, True),
                ("refused-update", True, "installer failed", 1603, False),
                ("refused-normal", False, "installer failed", 1603, False),
                ("no-package", False, "package unreadable", None, False),
                # Tries on a machine with a core kept busy: the probe's looks seconds apart.
                ("installed-with-a-core-busy", False, "installed", 0, True),
                ("installed-msiexec-ended-without-code", False, "installed", None, True),
                ("installed-application-command-line-unread", False, "installed", 0, True)):
            with self.subTest(name):
                trial = judged(name, update)
                self.assertEqual((trial.verdict, trial.installer_exit_code), (verdict, code), trial.reason)
                self.assertEqual(trial.application() is not None, started)

    def test_a_window_that_stays_waits_for_a_person_in_normal_mode_only(self):
        trial = judged("dialog", tail_ms=PERSON_WAIT_MS)
        self.assertEqual(trial.verdict, "needs a person")
        self.assertIn("Corvella Setup", trial.reason)
        self.assertNotEqual(judged("dialog", update=True, tail_ms=PERSON_WAIT_MS).verdict, "needs a person")
        # Not before the wait is over.
        self.assertIsNone(judged("dialog", tail_ms=PERSON_WAIT_MS // 10).waiting.title)

    def test_the_end_of_the_time_and_a_probe_time_out_are_timed_out(self):
        self.assertEqual(judged("installed-update", True, timed_out=True).verdict, "timed out")
        trial = Trial("x.exe", False)
        trial.probe = Probe([{"t": 0, "event": "start", "pid": 8, "cmdline": "x"}, {"t": 9, "event": "timeout"}])
        trial.decide(False)
        self.assertEqual(trial.verdict, "timed out")

    def test_an_installer_that_never_ran_msiexec_failed(self):
        events = [e for e in recorded("installed-normal").events
                  if not (e["event"] in ("process", "ended") and e.get("name", "msiexec.exe") == "msiexec.exe")]
        trial = Trial("x.exe", False)
        trial.probe = Probe(events)
        trial.decide(False)
        self.assertEqual((trial.verdict, trial.reason), ("installer failed", "the Windows Installer was never started"))

    def test_the_report_reads_statuses_and_titles_as_shown(self):
        probe = recorded("installed-normal")
        self.assertEqual(probe.statuses()[:2], ["Initializing...", "Installing..."])
        self.assertEqual(probe.titles(), ["Corvella Installer"])
        start, end = probe.process_run("MSIEXEC.EXE")
        self.assertLess(start, end)
        self.assertEqual(probe.events[end]["code"], 0)


def main_of(argv, env=None):
    """cli.main's status and what it printed."""
    out, err = io.StringIO(), io.StringIO()
    with mock.patch.dict(os.environ, env or {}), contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
        status = cli.main(argv)
    return status, out.getvalue(), err.getvalue()


class CommandLine(unittest.TestCase):
    def test_values_attached_or_apart(self):
        for argv in (["--timeout=30", "--keep=k", "a.exe"], ["--timeout", "30", "--keep", "k", "a.exe"]):
            options = cli.parse(argv)
            self.assertEqual((options.timeout, options.keep, options.installer), (30.0, "k", "a.exe"))
        self.assertEqual(cli.parse(["a.exe"]).timeout, 300.0)
        with mock.patch.dict(os.environ, {"SFXPACK_TRY_TIMEOUT_DEFAULT": "45"}):
            self.assertEqual(cli.parse(["a.exe"]).timeout, 45.0)

    def test_bad_command_lines_are_usage_errors(self):
        for argv in ([], ["a.exe", "b.exe"], ["--timeout", "0", "a.exe"], ["--timeout=soon", "a.exe"],
                     ["-q", "-v", "a.exe"], ["--frobnicate", "a.exe"], ["--keep=", "a.exe"], ["--upd", "a.exe"]):
            with self.subTest(argv):
                status, out, err = main_of(argv)
                self.assertEqual((status, out), (cli.USAGE, ""))
                self.assertTrue(err.startswith("sfxpack: try: ") and err.endswith("(try --help)\n"), err)


class Outcomes(unittest.TestCase):
    """Every outcome but a Wine run: valid JSON, the right status, a JUnit file."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="sfxtry-test-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.folder])
        self.junit = os.path.join(self.folder, "try.xml")
        self.installer = os.path.join(self.folder, "ls.exe")
        with open(self.installer, "wb") as f:
            f.write(b"\x7fELF")

    def outcome(self, facts=None, raising=None):
        env = {"XDG_CACHE_HOME": self.folder, "SFXPACK_TRY_FILE": json.dumps(facts) if facts else ""}
        argv = ["--json", "--junit", self.junit, self.installer]
        with mock.patch.object(cli.Try, "run", side_effect=raising or AssertionError("Wine must not start")):
            status, out, err = main_of(argv, env)
        return status, json.loads(out), err

    def test_files_that_are_no_installer_are_answered_without_wine(self):
        for kind, words in (("not-windows", "not a Windows program"),
                            ("not-ours", "a Windows program but not one of our installers"),
                            ("cut-short", "cut short or damaged after 1,024 bytes: the package's end is missing")):
            with self.subTest(kind):
                status, doc, err = self.outcome({"kind": kind, "words": words, "size": 1024})
                self.assertEqual((status, doc["verdict"], doc["reason"], err), (4, "not an installer", words, ""))
                failure = check_junit(self, self.junit).find("testsuite/testcase/failure")
                self.assertEqual(failure.get("message"), f"not an installer: {words}")

    def test_a_file_that_cannot_be_read_says_the_systems_reason(self):
        status, doc, err = self.outcome({"kind": "unreadable", "words": "cannot be opened: Permission denied"})
        self.assertEqual((status, doc["verdict"], doc["error"]), (cli.CANNOT_RUN, None, "cannot run"))
        self.assertTrue(doc["reason"].endswith("ls.exe: cannot be opened: Permission denied"), doc)
        self.assertIsNotNone(check_junit(self, self.junit).find("testsuite/testcase/skipped"))

    def test_a_fault_of_ours_is_named_as_one_with_its_trace_kept(self):
        status, doc, err = self.outcome({"kind": "installer"}, raising=KeyError("boom"))
        self.assertEqual((status, doc["error"], err), (cli.INTERNAL, "internal error", ""))
        self.assertIn("a fault in sfxpack", doc["reason"])
        with open(os.path.join(self.folder, "sfxpack", "internal-error.txt")) as f:
            self.assertIn("KeyError: 'boom'", f.read())
        self.assertIsNotNone(check_junit(self, self.junit).find("testsuite/testcase/error"))

    def test_an_installed_verdict_passes_with_steps_and_pictures(self):
        doc = judged("installed-normal").as_json()
        doc.update(steps={"display": 0.5, "install": 3.25}, pictures=["/x/progress.png"], seconds=4.0)
        root = ET.fromstring(report.junit(doc))
        check_junit_tree(self, root)
        case = root.find("testsuite/testcase")
        self.assertEqual((case.get("name"), case.find("failure")), ("CorvellaSetup.exe (normal mode)", None))
        self.assertEqual(case.find("system-out").text, "display: 0.50 s\ninstall: 3.25 s\n[[ATTACHMENT|/x/progress.png]]\n")

    def test_the_junit_file_is_whole_or_absent(self):
        with mock.patch("os.fsync", side_effect=KeyboardInterrupt):
            with self.assertRaises(KeyboardInterrupt):
                report.write_whole(self.junit, "<x/>")
        self.assertEqual(os.listdir(self.folder), ["ls.exe"])


# The JUnit format as CI systems read it (the Ant/Jenkins schema): required attributes
# and their types, the children each element may have.
JUNIT = {
    "testsuites": (set(), {"name", "tests", "failures", "errors", "skipped", "time"}, {"testsuite"}),
    "testsuite": ({"name", "tests"}, {"failures", "errors", "skipped", "time", "timestamp", "hostname"},
                  {"properties", "testcase", "system-out", "system-err"}),
    "testcase": ({"name", "classname"}, {"time"}, {"skipped", "error", "failure", "system-out", "system-err"}),
    "failure": ({"message"}, {"type"}, set()),
    "error": ({"message"}, {"type"}, set()),
    "skipped": (set(), {"message"}, set()),
    "system-out": (set(), set(), set()),
}
NUMBERS = {"tests", "failures", "errors", "skipped"}


def check_junit_tree(test, element):
    required, optional, children = JUNIT[element.tag]
    test.assertLessEqual(required, set(element.attrib), element.tag)
    test.assertLessEqual(set(element.attrib), required | optional, element.tag)
    for name, value in element.attrib.items():
        if name in NUMBERS:
            test.assertRegex(value, r"^\d+$")
        elif name == "time":
            test.assertRegex(value, r"^\d+(\.\d+)?$")
    for child in element:
        test.assertIn(child.tag, children, element.tag)
        check_junit_tree(test, child)
    if element.tag == "testsuite":
        cases = element.findall("testcase")
        test.assertEqual(int(element.get("tests")), len(cases))
        for kind, count in (("failure", "failures"), ("error", "errors"), ("skipped", "skipped")):
            test.assertEqual(int(element.get(count)), sum(1 for c in cases if c.find(kind) is not None))


def check_junit(test, path):
    root = ET.parse(path).getroot()
    test.assertEqual(root.tag, "testsuites")
    check_junit_tree(test, root)
    return root


class Confinement(unittest.TestCase):
    """The sandbox as try makes it, with a script in Wine's place: what it may reach."""

    SCRIPT = r"""
import json, os, socket, sys
from sfxtry import confine
lower, layers, secret, outside, port = sys.argv[1:6]
seen = {"layer": confine.overlay(lower, layers + "/upper", layers + "/work", "/run/sfxtry/prefix")}
confine.give_up_capabilities()
def attempt(name, action):
    try:
        action()
        seen[name] = "done"
    except OSError as error:
        seen[name] = error.errno
attempt("read secret", lambda: open(secret).read())
attempt("write outside", lambda: open(outside + "/escaped", "w").write("x"))
attempt("connect", lambda: socket.create_connection(("127.0.0.1", int(port)), timeout=5))
attempt("unmount", lambda: confine._check(confine._libc.umount2(b"/tmp", 0), "umount"))
attempt("write prefix", lambda: open("/run/sfxtry/prefix/new.txt", "w").write("x"))
attempt("change lower", lambda: open("/run/sfxtry/prefix/cached.txt", "a").write("changed"))
seen["caps"] = confine.capabilities()
print(json.dumps(seen))
"""

    @unittest.skipIf(os.environ.get("SFX_IN_RELEASE"),
                     "inside scripts/in-release.sh's bubblewrap, where a nested sandbox cannot mount its /proc; "
                     "that release's sandbox is tried by its try cases in the VM")
    def test_it_reaches_only_its_own_folder(self):
        if not shutil.which("bwrap"):
            self.fail("bubblewrap is not installed (scripts/bootstrap.sh installs it)")
        work = tempfile.mkdtemp(prefix="sfxtry-box-", dir=os.path.join(HERE, "..", "..", "build"))
        self.addCleanup(sandbox.remove_tree, work)
        home, outside, lower, folder = (os.path.join(work, n) for n in ("home", "outside", "lower", "try"))
        for f in (home, outside, lower, os.path.join(folder, ".layers")):
            os.makedirs(f)
        secret = os.path.join(home, "secret.txt")
        for path, text in ((secret, "s3cret"), (os.path.join(lower, "cached.txt"), "cached")):
            with open(path, "w") as f:
                f.write(text)
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        self.addCleanup(listener.close)
        box = sandbox.Sandbox({folder: folder, "/run/sfxtry/layers": os.path.join(folder, ".layers")},
                              {"/run/sfxtry/python": sandbox.package_folder(), "/run/sfxtry/lower": lower})
        env = dict(sandbox.environment(folder), HOME=home, PYTHONPATH="/run/sfxtry/python")
        with mock.patch.dict(os.environ, {"HOME": home}):
            argv = box.command([sys.executable, "-c", self.SCRIPT, "/run/sfxtry/lower", "/run/sfxtry/layers",
                                secret, outside, str(listener.getsockname()[1])], env)
        done = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        seen = json.loads(done.stdout)
        self.assertEqual(seen["read secret"], errno.ENOENT)
        # Read-only, or out of sight where the checkout is under /tmp or a home.
        self.assertIn(seen["write outside"], (errno.EROFS, errno.EACCES, errno.ENOENT))
        self.assertIn(seen["connect"], (errno.ECONNREFUSED, errno.ENETUNREACH))
        self.assertEqual(seen["unmount"], errno.EPERM)
        self.assertEqual((seen["write prefix"], seen["change lower"]), ("done", "done"))
        self.assertEqual(set(seen["caps"].values()), {0})
        self.assertEqual(os.listdir(outside), [])
        with open(os.path.join(lower, "cached.txt")) as f:
            self.assertEqual(f.read(), "cached")
        listener.setblocking(False)
        with self.assertRaises(BlockingIOError):
            listener.accept()


if __name__ == "__main__":
    unittest.main()
