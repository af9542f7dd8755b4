"""sfxpack try INSTALLER [--update] [--json] [--junit FILE] [--timeout S] [--keep DIR]
                    [--no-sandbox] [-q | -v]

Runs INSTALLER under Wine as a user would, confined in a sandbox with a throwaway
prefix on a display of its own, and says what happened. sfxpack starts it as
`python3 -m sfxtry` with SFXPACK_PROBE naming the UI probe and SFXPACK_TRY_FILE what it
found the file to be."""
import argparse
import json
import os
import shutil
import signal
import sys
import tempfile
import time
import traceback

from . import report
from .prefixes import PrefixCache
from .sandbox import HIDDEN, INSIDE, CannotConfine, Sandbox, bwrap_version, package_folder, remove_tree, run_job
from .session import SessionError, last_line
from .trial import TimedOut, Trial, VERDICTS

# Exit statuses: sfxpack's table (tools/sfxpack, printed by --help) is their source;
# each verdict stands there after "try: ". tests/release/test_release.py holds the two
# together.
EXIT = {"installed": 0, "installer failed": 1, "package unreadable": 4, "not an installer": 4,
        "needs a person": 7, "timed out": 8}
USAGE, CANNOT_RUN, INTERNAL = 2, 3, 9


class UsageError(Exception):
    pass


class CannotRun(Exception):
    """try cannot run here or cannot read what it was given; the words say why."""


class Interrupted(BaseException):
    """A signal that ends the try; everything it started ends first."""

    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


class Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError(message)


def seconds(text):
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"takes seconds, not '{text}'")
    if not 0 < value <= 86400:
        raise argparse.ArgumentTypeError("takes seconds, more than 0 and at most a day")
    return value


def default_timeout():
    """The whole run's time when --timeout is not given: sfxpack's front says it."""
    return seconds(os.environ.get("SFXPACK_TRY_TIMEOUT_DEFAULT") or "300")


def parse(argv):
    parser = Parser(prog="sfxpack try", add_help=False, allow_abbrev=False)
    parser.add_argument("installer")
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--json", action="store_true")
    parser.add_argument("--junit", metavar="FILE")
    parser.add_argument("--timeout", type=seconds)
    parser.add_argument("--keep", metavar="DIR")
    parser.add_argument("--no-sandbox", action="store_true")
    loudness = parser.add_mutually_exclusive_group()
    loudness.add_argument("-q", "--quiet", action="store_true")
    loudness.add_argument("-v", "--verbose", action="store_true")
    options = parser.parse_args(argv)
    if options.timeout is None:
        options.timeout = default_timeout()
    for name in ("keep", "junit"):
        if getattr(options, name) == "":
            raise UsageError(f"--{name} needs a value")
    keep = options.keep
    if keep and os.path.exists(keep) and (not os.path.isdir(keep) or os.listdir(keep)):
        raise UsageError(f"--keep {keep}: not an empty folder")
    if options.junit and os.path.isdir(options.junit):
        raise UsageError(f"--junit {options.junit}: a folder, not a file")
    return options


def cache_root():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "sfxpack")


def file_facts(installer):
    """What sfxpack's front found the file to be; without the front, the file is read
    as an installer."""
    facts = json.loads(os.environ.get("SFXPACK_TRY_FILE") or '{"kind": "installer"}')
    if facts.get("kind") == "installer" and not os.access(installer, os.R_OK):
        try:
            open(installer, "rb").close()
        except OSError as error:
            facts = {"kind": "unreadable", "words": f"cannot be read: {error.strerror}"}
    return facts


def sandbox_facts(confine, how):
    if not confine:
        return {"confined": False, "engine": None, "prefix": how}
    return {"confined": True, "engine": f"bubblewrap {bwrap_version() or ''}".strip(), "prefix": how,
            "network": None, "hidden": ["your home", *HIDDEN]}


class Try:
    """One run of `sfxpack try`: the outer side, which prepares the sandbox's folders,
    runs the jobs in it, and keeps what is kept."""

    def __init__(self, options, tell):
        self.options = options
        self.tell = tell
        self.start = time.monotonic()
        self.deadline = self.start + options.timeout
        self.trial = Trial(options.installer, options.update)
        self.confine = not options.no_sandbox

    def run(self):
        installer = self.options.installer
        probe = os.environ.get("SFXPACK_PROBE", "")
        if not os.path.isfile(probe):
            raise CannotRun(f"no UI probe at '{probe}' (SFXPACK_PROBE)")
        if self.confine and not shutil.which("bwrap"):
            raise CannotRun("try confines the installer with bubblewrap, which is not installed (on Debian: "
                            "apt install bubblewrap); --no-sandbox runs it unconfined")
        keep = self.options.keep
        if keep:
            os.makedirs(keep, exist_ok=True)
        folder = os.path.realpath(keep or tempfile.mkdtemp(prefix="sfxpack-try-"))
        try:
            return self.run_in(folder, os.path.abspath(installer), os.path.abspath(probe))
        finally:
            for part in ([".layers", "tmp", "in"] if keep else [""]):
                remove_tree(os.path.join(folder, part) if part else folder)

    def run_in(self, folder, installer, probe):
        cache = PrefixCache(cache_root())
        warm = cache.ready()
        try:
            cache.ensure(self.confine, self.heard, self.deadline)
        except TimedOut:
            self.trial.time_out("prefix")
            return self.finish(warm, "none")
        os.makedirs(os.path.join(folder, "tmp"))
        name = os.path.basename(installer)
        job = {"kind": "trial", "installer": installer, "name": name, "update": self.options.update,
               "folder": folder, "keep": bool(self.options.keep), "confined": self.confine,
               "deadline": self.deadline, "lower": cache.path}
        sandbox = None
        if self.confine:
            os.makedirs(os.path.join(folder, ".layers"))
            sandbox = Sandbox({folder: folder, f"{INSIDE}/layers": os.path.join(folder, ".layers")},
                              {f"{INSIDE}/python": package_folder(), f"{INSIDE}/lower": cache.path,
                               f"{INSIDE}/in/installer/{name}": installer, f"{INSIDE}/in/probe/sfxprobe.exe": probe})
            job.update(lower=f"{INSIDE}/lower", drive_d=f"{INSIDE}/in")
        else:
            job["drive_d"] = self.link_inputs(folder, installer, probe)
        said = run_job(job, sandbox, self.heard, self.deadline, os.path.join(folder, "tmp", "job.log")) or {}
        return self.judge(said, warm, folder)

    @staticmethod
    def link_inputs(folder, installer, probe):
        """Without a sandbox, the drive that shows the installer and the probe to Wine."""
        drive = os.path.join(folder, "in")
        for sub, target, source in (("installer", os.path.basename(installer), installer),
                                    ("probe", "sfxprobe.exe", probe)):
            os.makedirs(os.path.join(drive, sub), exist_ok=True)
            os.symlink(source, os.path.join(drive, sub, target))
        return drive

    def heard(self, message):
        if "seconds" in message:
            name = message["step"]
            self.trial.steps[name] = self.trial.steps.get(name, 0) + message["seconds"]
        self.tell(message)

    def judge(self, said, warm, folder):
        if "result" in said:
            doc = said["result"]
            return self.finish(warm, doc.pop("prefix_layer", None), doc)
        if "internal" in said:
            raise Internal(said["internal"])
        if "error" in said:
            raise CannotRun(said["error"])
        if time.monotonic() >= self.deadline:
            self.trial.time_out(next(reversed(self.trial.steps), "prefix"))
            return self.finish(warm, None)
        raise Internal(f"the try's job ended without a word: {report_tail(folder)}")

    def finish(self, warm, how, doc=None):
        doc = doc or self.trial.as_json()
        doc["steps"] = {name: round(s, 2) for name, s in self.trial.steps.items()}
        doc["seconds"] = round(time.monotonic() - self.start, 2)
        doc["prefix_cache"] = "warm" if warm else "made now"
        doc["sandbox"] = sandbox_facts(self.confine, how)
        if not self.options.keep and doc.get("pictures"):
            stem = os.path.splitext(os.path.basename(self.options.installer))[0] or "installer"
            doc["pictures"] = keep_pictures(doc["pictures"], os.path.join(cache_root(), "pictures", stem))
        return doc


class Internal(Exception):
    """A fault of ours, with its trace."""


def report_tail(folder):
    return last_line(os.path.join(folder, "tmp", "job.log"))


def keep_pictures(pictures, folder):
    """Moves the pictures into folder (replacing what a previous try left there);
    returns their new paths."""
    parent = os.path.dirname(folder)
    os.makedirs(parent, exist_ok=True)
    fresh = tempfile.mkdtemp(prefix=".new-", dir=parent)
    moved = []
    for path in pictures:
        shutil.move(path, os.path.join(fresh, os.path.basename(path)))
        moved.append(os.path.join(folder, os.path.basename(path)))
    old = None
    if os.path.exists(folder):
        old = tempfile.mkdtemp(prefix=".old-", dir=parent)
        os.rename(folder, os.path.join(old, "pictures"))
    os.rename(fresh, folder)
    if old:
        shutil.rmtree(old, ignore_errors=True)
    return moved


def verdict_without_wine(options, facts):
    """The verdict on a file that is no installer of ours, told before Wine starts."""
    trial = Trial(options.installer, options.update)
    trial.verdict, trial.reason = "not an installer", facts.get("words") or "not one of our installers"
    doc = trial.as_json()
    doc.update(steps={}, prefix_cache=None, sandbox=None)
    return doc


def no_verdict(options, error, reason, trace=None):
    doc = {"verdict": None, "error": error, "reason": reason, "installer": os.path.abspath(options.installer),
           "mode": "update" if options.update else "normal", "seconds": 0}
    if trace:
        doc["trace"] = trace
    return doc


def tell(options, doc, status):
    """Says the outcome: on stdout (text or JSON), in the JUnit file, and for a try that
    could not run, on stderr."""
    if options.junit:
        report.write_whole(options.junit, report.junit(doc))
    if options.json:
        print(json.dumps(doc, ensure_ascii=False, indent=2))
    elif doc.get("error"):
        print(f"sfxpack: try: {doc['reason']}", file=sys.stderr)
    elif options.quiet:
        print(f"{doc['verdict']}: {doc['reason']}")
    else:
        sys.stdout.write(report.text_report(doc))
    return status


def run(options):
    facts = file_facts(options.installer)
    if facts.get("kind") == "unreadable":
        raise CannotRun(f"{options.installer}: {facts.get('words')}")
    if facts.get("kind") != "installer":
        return tell(options, verdict_without_wine(options, facts), EXIT["not an installer"])
    printer = report.StepPrinter(sys.stderr.isatty() and not options.quiet, options.verbose)
    try:
        doc = Try(options, printer).run()
    except CannotConfine as error:
        raise CannotRun(f"cannot confine the installer here ({error}); --no-sandbox runs it unconfined")
    except (SessionError, OSError) as error:
        raise CannotRun(str(error))
    assert doc["verdict"] in VERDICTS
    return tell(options, doc, EXIT[doc["verdict"]])


def main(argv):
    try:
        options = parse(argv)
    except UsageError as error:
        print(f"sfxpack: try: {error} (try --help)", file=sys.stderr)
        return USAGE

    def interrupt(signum, frame):
        # One signal ends the try; the clean-up it starts is not cut short by another.
        for other in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(other, signal.SIG_IGN)
        raise Interrupted(signum)
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, interrupt)
    try:
        return run(options)
    except Interrupted as stop:
        # Everything is cleaned up by now; end by the signal, as the other commands do.
        signal.signal(stop.signum, signal.SIG_DFL)
        os.kill(os.getpid(), stop.signum)
        return 128 + stop.signum
    except CannotRun as error:
        return tell(options, no_verdict(options, "cannot run", str(error)), CANNOT_RUN)
    except Exception as error:  # a fault of ours: said as one, never as a bare trace
        trace = error.args[0] if isinstance(error, Internal) else traceback.format_exc()
        saved = save_trace(trace)
        reason = (f"internal error, a fault in sfxpack: please report it with {saved} "
                  f"({trace.strip().splitlines()[-1]})")
        return tell(options, no_verdict(options, "internal error", reason, trace), INTERNAL)


def save_trace(trace):
    """Keeps the trace of a fault of ours where the user finds it to report it."""
    path = os.path.join(cache_root(), "internal-error.txt")
    try:
        os.makedirs(cache_root(), exist_ok=True)
        report.write_whole(path, trace)
    except OSError:
        return "the trace below"
    return path
