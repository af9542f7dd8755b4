"""One try of an installer: a throwaway prefix on a display of our own, the installer run
under the UI probe as a user would run it, and the verdict with its evidence."""
import os
import shutil
import tempfile
import time

from .probe import Probe, run_probe
from .session import Display, PrefixCache, Session, stop_server

VERDICTS = ("installed", "installer failed", "package unreadable", "needs a person", "timed out")
# Where the installer's updater and the installed application look for their folder.
REGISTRY_KEY = r"HKCU\SOFTWARE\Corvella"
# msiexec's own reasons, and nothing else of Wine's chatter.
WINEDEBUG = "-all,err+msi"
# A window of the installer's that stays up this long with the installer still running
# waits for someone.
PERSON_WAIT_S = 5.0


class Trial:
    """What one try saw and decided."""

    def __init__(self, installer, update):
        self.installer = installer
        self.update = update
        self.verdict = None
        self.reason = ""
        self.steps = {}  # step name -> seconds, in order
        self.pictures = []
        self.probe = Probe([])
        self.install_dir = None
        self.files = 0
        self.bytes = 0
        self.log_tail = []
        self.box_text = None
        self.window_title = None
        self.cache_was_warm = None
        self.started = time.monotonic()
        self.seconds = 0.0

    # What the probe saw ------------------------------------------------------------

    def msiexec(self):
        """The installer's process event and its end, or (None, None)."""
        index = self.probe.first_process("msiexec.exe")
        if index is None:
            return None, None
        start = self.probe.events[index]
        end = next((e for e in self.probe.events[index:] if e["event"] == "ended" and e["pid"] == start["pid"]),
                   None)
        return start, end

    @property
    def installer_exit_code(self):
        _, end = self.msiexec()
        return end.get("code") if end else None

    def application(self):
        """The first program started after the installer ended, Wine's own and msiexec left out."""
        _, end = self.msiexec()
        after = self.probe.events.index(end) if end else len(self.probe.events)
        for e in self.probe.events[after:]:
            if e["event"] == "process" and e["name"].lower() not in Probe.WINE_OWN | {"msiexec.exe"}:
                return e
        return None

    def decide(self, timed_out, person):
        """The verdict from what was seen, and the words that go with it."""
        own_boxes = self.probe.of("box")
        foreign = self.probe.of("foreignbox")
        msiexec, _ = self.msiexec()
        code = self.installer_exit_code
        if foreign:
            self.box_text = foreign[-1]["text"]
        if own_boxes:
            self.box_text = own_boxes[-1]["text"]
        if person:
            self.verdict = "needs a person"
            self.reason = (f"the database shows its own dialog ({person!r}) in normal mode; "
                           "--update installs it quietly")
        elif timed_out or self.probe.first("timeout"):
            self.verdict = "timed out"
            self.reason = "the installer did not end within --timeout"
        elif own_boxes and msiexec is None:
            self.verdict = "package unreadable"
            self.reason = "the installer could not read its package, and said so in its box"
        elif msiexec is None:
            self.verdict = "installer failed"
            self.reason = "the Windows Installer was never started"
        elif code not in (0, None) or (code is None and self.application() is None):
            self.verdict = "installer failed"
            self.reason = f"msiexec ended with {code}" if code is not None else "msiexec failed"
        else:
            self.verdict = "installed"
            started = "the application started" if self.application() else "no application started"
            self.reason = f"msiexec ended with {code if code is not None else 'success'}, and {started}"

    def as_json(self):
        msiexec, _ = self.msiexec()
        application = self.application()
        return {
            "verdict": self.verdict,
            "reason": self.reason,
            "installer": os.path.abspath(self.installer),
            "mode": "update" if self.update else "normal",
            "installer_exit_code": self.installer_exit_code,
            "installer_command_line": msiexec.get("cmdline") if msiexec else None,
            "exit_code": self.probe.exit_code,
            "window_titles": self.probe.titles(),
            "status_lines": [s for s in self.probe.statuses() if s],
            "box_text": self.box_text,
            "application_started": application is not None,
            "application": (application.get("cmdline") or application["name"]) if application else None,
            "install_dir": self.install_dir,
            "files": self.files,
            "bytes": self.bytes,
            "log_tail": self.log_tail,
            "steps": {name: round(seconds, 2) for name, seconds in self.steps.items()},
            "seconds": round(self.seconds, 2),
            "prefix_cache": "warm" if self.cache_was_warm else "made now",
            "pictures": self.pictures,
        }


class Step:
    """Times one step into the trial, and says so with -v."""

    def __init__(self, trial, name, say):
        self.trial, self.name, self.say = trial, name, say

    def __enter__(self):
        self.start = time.monotonic()
        self.say(f"{self.name} ...")

    def __exit__(self, kind, value, trace):
        self.trial.steps[self.name] = time.monotonic() - self.start
        if kind is None:
            self.say(f"{self.name}: {self.trial.steps[self.name]:.1f} s")


def folder_size(folder):
    files = size = 0
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            if os.path.isfile(path) and not os.path.islink(path):
                files += 1
                size += os.path.getsize(path)
    return files, size


def msi_lines(log_path, count=10):
    """The last lines in which Wine's msi said why it stopped."""
    try:
        with open(log_path, encoding="utf-8", errors="replace") as f:
            lines = [line.rstrip("\n") for line in f if ":msi:" in line or line.startswith("err:")]
    except OSError:
        return []
    return lines[-count:]


class Runner:
    """Runs one try in folder (its prefix, logs and pictures), and leaves nothing
    running: the prefix's programs and server, and the display, end with it."""

    def __init__(self, probe_exe, cache_root, folder, timeout_s, say):
        self.probe_exe = probe_exe
        self.cache = PrefixCache(cache_root)
        self.folder = folder
        self.timeout_s = timeout_s
        self.say = say
        self.display = None
        self.session = None

    def run(self, trial):
        try:
            self.prepare(trial)
            self.install(trial)
            self.inspect(trial)
        finally:
            self.close()
        trial.seconds = time.monotonic() - trial.started
        return trial

    def prepare(self, trial):
        trial.cache_was_warm = self.cache.ready()
        prefix = os.path.join(self.folder, "prefix")
        # A cached prefix is copied while the display starts.
        copy = self.cache.copy_to(prefix) if trial.cache_was_warm else None
        try:
            with Step(trial, "display", self.say):
                self.display = Display(os.path.join(self.folder, "xvfb.log"))
            with Step(trial, "prefix", self.say):
                if copy is None:
                    self.cache.ensure(self.display.name, os.path.join(self.folder, "wineboot.log"))
                    copy = self.cache.copy_to(prefix)
                copy.finish()
        finally:
            if copy:
                copy.abandon()  # where the display could not start, or on Ctrl+C
        self.session = Session(prefix, self.display.name)
        with Step(trial, "wineserver", self.say):
            self.session.start_server(check=False)
        with Step(trial, "desktop", self.say):
            self.session.keep_desktop(self.probe_exe, os.path.join(self.folder, "desktop.log"))

    def install(self, trial):
        deadline = time.monotonic() + self.timeout_s
        person = {}
        seen_window = {}

        def on_pause(seen):
            before = seen.events[-2]["event"] if len(seen.events) > 1 else ""
            if before in ("box", "foreignbox"):
                self.picture(trial, f"box-{len(seen.of('box')) + len(seen.of('foreignbox'))}.png")
            elif seen.first("layout"):
                self.picture(trial, "progress.png", seen.first("layout"))

        def on_event(seen, event):
            if event and event["event"] == "window" and not trial.update:
                names = {e["pid"]: e["name"].lower() for e in seen.of("process")}
                if names.get(event["pid"]) not in Probe.WINE_OWN:
                    seen_window.update(event, at=time.monotonic())
            if seen_window and time.monotonic() - seen_window["at"] >= PERSON_WAIT_S:
                ended = any(e["event"] == "ended" and e["pid"] == seen_window["pid"] for e in seen.events)
                if not ended and not seen.first("exit"):
                    person["title"] = seen_window["title"] or "untitled"
                    self.picture(trial, "dialog.png")
                    return True
                seen_window.clear()
            return time.monotonic() > deadline

        installer = os.path.abspath(trial.installer)
        args = ["-update"] if trial.update else []
        with Step(trial, "install", self.say), open(os.path.join(self.folder, "wine.log"), "wb") as log:
            trial.probe = run_probe(self.session, self.probe_exe, installer, args, at=[("created", "pause")],
                                    unix_env={"WINEDEBUG": WINEDEBUG}, on_pause=on_pause, on_event=on_event,
                                    timeout_ms=int(self.timeout_s * 1000), boxes="enter", stderr=log,
                                    value=(REGISTRY_KEY, "InstallDir"))
        with open(os.path.join(self.folder, "probe.jsonl"), "w", encoding="utf-8") as f:
            f.write(trial.probe.dump() + "\n")
        trial.log_tail = msi_lines(os.path.join(self.folder, "wine.log"))
        timed_out = time.monotonic() > deadline and not trial.probe.first("exit")
        trial.decide(timed_out, person.get("title"))

    def inspect(self, trial):
        if trial.verdict in ("timed out", "needs a person"):
            return
        with Step(trial, "check", self.say):
            # The probe read the folder's registration when the installer had ended.
            folder = (trial.probe.first("value") or {}).get("data")
            if folder:
                trial.install_dir = folder.rstrip("\\")
                try:
                    trial.files, trial.bytes = folder_size(self.session.to_unix(trial.install_dir))
                except ValueError:
                    pass

    def picture(self, trial, name, layout=None):
        path = os.path.join(self.folder, name)
        try:
            self.session.screenshot(path, layout)
            trial.pictures.append(path)
        except Exception as error:  # a picture is evidence, not the verdict
            self.say(f"no picture {name}: {error}")

    def close(self):
        if self.session:
            stop_server(self.session.prefix)
        if self.display:
            self.display.stop()


def keep_pictures(trial, folder):
    """Moves the trial's pictures into folder (replacing what a previous try left there)."""
    parent = os.path.dirname(folder)
    os.makedirs(parent, exist_ok=True)
    fresh = tempfile.mkdtemp(prefix=".new-", dir=parent)
    moved = []
    for path in trial.pictures:
        target = os.path.join(fresh, os.path.basename(path))
        shutil.move(path, target)
        moved.append(os.path.join(folder, os.path.basename(path)))
    old = None
    if os.path.exists(folder):
        old = tempfile.mkdtemp(prefix=".old-", dir=parent)
        os.rename(folder, os.path.join(old, "pictures"))
    os.rename(fresh, folder)
    if old:
        shutil.rmtree(old, ignore_errors=True)
    trial.pictures = moved
