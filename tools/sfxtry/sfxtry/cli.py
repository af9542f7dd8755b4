"""sfxpack try INSTALLER [--update] [--json] [--timeout S] [--keep DIR] [-q | -v]

Runs INSTALLER under Wine as a user would, in a throwaway prefix on a display of its
own, and says what happened. sfxpack starts it as `python3 -m sfxtry` with
SFXPACK_PROBE naming the UI probe."""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from .session import SessionError
from .trial import VERDICTS, Runner, Trial, keep_pictures

# Exit statuses: sfxpack's table (tools/sfxpack/ExitStatus.cpp, printed by --help) is
# their source; each verdict stands there after "try: ". tests/release/test_release.py
# holds the two together.
EXIT = {"installed": 0, "installer failed": 1, "package unreadable": 4, "needs a person": 7, "timed out": 8}
USAGE, CANNOT_RUN = 2, 3


class UsageError(Exception):
    pass


class Interrupted(BaseException):
    """A signal that ends the try; everything it started ends first."""

    def __init__(self, signum):
        super().__init__(signum)
        self.signum = signum


def parse(argv):
    options = {"update": False, "json": False, "timeout": 300.0, "keep": None, "quiet": False, "verbose": False}
    operands, i = [], 0
    flags = {"--update": "update", "--json": "json", "-q": "quiet", "--quiet": "quiet", "-v": "verbose",
             "--verbose": "verbose"}
    while i < len(argv):
        arg = argv[i]
        if arg in flags:
            options[flags[arg]] = True
        elif arg in ("--timeout", "--keep"):
            if i + 1 >= len(argv) or not argv[i + 1]:
                raise UsageError(f"{arg} needs a value")
            i += 1
            options[arg[2:]] = argv[i]
        elif arg == "--":
            operands += argv[i + 1:]
            break
        elif arg.startswith("-") and len(arg) > 1:
            raise UsageError(f"unknown option '{arg}' for try (try --help)")
        else:
            operands.append(arg)
        i += 1
    if len(operands) != 1:
        raise UsageError("try needs one INSTALLER" if not operands else "try takes one INSTALLER")
    if options["quiet"] and options["verbose"]:
        raise UsageError("-q and -v contradict each other")
    try:
        options["timeout"] = float(options["timeout"])
    except ValueError:
        raise UsageError(f"--timeout takes seconds, not '{options['timeout']}'")
    if not 0 < options["timeout"] <= 86400:
        raise UsageError("--timeout takes seconds, more than 0")
    keep = options["keep"]
    if keep and os.path.exists(keep) and (not os.path.isdir(keep) or os.listdir(keep)):
        raise UsageError(f"--keep {keep}: not an empty folder")
    options["installer"] = operands[0]
    return options


def cache_root():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "sfxpack")


def text_report(trial, doc):
    """The verdict and its evidence, for a person."""
    lines = [f"{doc['verdict']}: {doc['reason']}"]

    def row(label, value):
        lines.append(f"  {label:<10} {value}")
    if doc["window_titles"] or doc["status_lines"]:
        statuses = " -> ".join(f'"{s}"' for s in doc["status_lines"])
        row("window", f"{' / '.join(doc['window_titles'])}: {statuses}")
    if doc["box_text"]:
        row("box", doc["box_text"].replace("\r\n", " ").replace("\n", " "))
    if doc["installer_command_line"]:
        code = doc["installer_exit_code"]
        row("installer", doc["installer_command_line"] + (f" -> exit code {code}" if code is not None else ""))
    if doc["install_dir"]:
        files = f"{doc['files']} file" + ("" if doc["files"] == 1 else "s")
        row("folder", f"{doc['install_dir']} ({files}, {doc['bytes']:,} bytes)")
    row("started", doc["application"] or "nothing")
    for line in doc["log_tail"]:
        row("log", line)
    for path in doc["pictures"]:
        row("picture", path)
    steps = ", ".join(f"{name} {seconds:.1f} s" for name, seconds in doc["steps"].items())
    row("time", f"{doc['seconds']:.1f} s ({steps})")
    if doc["verdict"] == "needs a person":
        lines.append(f"  Try again with --update: sfxpack try --update {trial.installer}")
    return "\n".join(lines) + "\n"


def run(options):
    installer = options["installer"]
    if not os.path.isfile(installer) or not os.access(installer, os.R_OK):
        print(f"sfxpack: {installer}: cannot read the installer", file=sys.stderr)
        return CANNOT_RUN
    probe = os.environ.get("SFXPACK_PROBE", "")
    if not os.path.isfile(probe):
        print(f"sfxpack: no UI probe at '{probe}' (SFXPACK_PROBE)", file=sys.stderr)
        return CANNOT_RUN

    def say(text):
        if options["verbose"]:
            print(f"sfxpack: try: {text}", file=sys.stderr, flush=True)
    keep = options["keep"]
    if keep:
        os.makedirs(keep, exist_ok=True)
        folder = os.path.abspath(keep)
    else:
        folder = tempfile.mkdtemp(prefix="sfxpack-try-")
    # Wine keeps its server's folder in $TMPDIR and leaves a lock there when the server
    # ends: the try's own folder holds it, and goes with the try.
    wine_tmp = os.path.join(folder, "tmp")
    os.makedirs(wine_tmp, exist_ok=True)
    os.environ["TMPDIR"] = wine_tmp
    trial = Trial(installer, options["update"])
    try:
        Runner(probe, cache_root(), folder, options["timeout"], say).run(trial)
        if not keep:
            stem = os.path.splitext(os.path.basename(installer))[0] or "installer"
            keep_pictures(trial, os.path.join(cache_root(), "pictures", stem))
    except (SessionError, OSError, subprocess.SubprocessError) as error:
        print(f"sfxpack: try: {error}", file=sys.stderr)
        return CANNOT_RUN
    finally:
        shutil.rmtree(wine_tmp if keep else folder, ignore_errors=True)
    doc = trial.as_json()
    if options["json"]:
        print(json.dumps(doc, ensure_ascii=False, indent=2))
    elif options["quiet"]:
        print(f"{doc['verdict']}: {doc['reason']}")
    else:
        sys.stdout.write(text_report(trial, doc))
    assert doc["verdict"] in VERDICTS
    return EXIT[doc["verdict"]]


def main(argv):
    try:
        options = parse(argv)
    except UsageError as error:
        print(f"sfxpack: {error}", file=sys.stderr)
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
