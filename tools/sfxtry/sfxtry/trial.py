"""One try of an installer: the installer run under the UI probe in a prefix of its own
on a display of its own, as a user would run it, and the verdict with its evidence."""
import os
import time

from .probe import Probe, ProbeRequest, run_probe
from .session import Display, Session, SessionError, stop_server

VERDICTS = ("installed", "installer failed", "package unreadable", "needs a person", "timed out",
            "not an installer")
# Where the installer's updater and the installed application look for their folder.
REGISTRY_KEY = r"HKCU\SOFTWARE\Corvella"
# msiexec's own reasons, and nothing else of Wine's chatter.
WINEDEBUG = "-all,err+msi"
# A window of a program the installer started that stays up this long, on the probe's
# clock, while that program still runs, waits for someone.
PERSON_WAIT_MS = 5000


class TimedOut(Exception):
    """The whole run's time ran out during a step."""

    def __init__(self, step):
        super().__init__(step)
        self.step = step


class WaitingWindow:
    """Whether the installer waits for a person: in normal mode, a window of a program
    it started (Wine's own left out) that has stayed up PERSON_WAIT_MS while that
    program still runs and the installer has not ended. Times are the probe's (its
    events' "t"), so a recorded run is judged as it was live."""

    def __init__(self, update):
        self.update = update
        self.window = None
        self.title = None

    def see(self, probe, event, now_ms):
        """Takes one event (None: a look with nothing new at now_ms); True once a
        person is needed."""
        if self.update:
            return False
        if event and event["event"] == "window" and probe.name_of(event["pid"]) not in Probe.WINE_OWN:
            self.window = event
        if self.window and now_ms - self.window["t"] >= PERSON_WAIT_MS:
            if probe.ended(self.window["pid"]) is None and not probe.first("exit"):
                self.title = self.window["title"] or "untitled"
                return True
            self.window = None
        return False


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
        self.waiting = WaitingWindow(update)
        self.install_dir = None
        self.files = 0
        self.bytes = 0
        self.log_tail = []
        self.box_text = None
        self.started = time.monotonic()
        self.seconds = 0.0

    # What the probe saw ------------------------------------------------------------

    def msiexec(self):
        """The installer's process event and its "ended" event, either None."""
        start, end = self.probe.process_run("msiexec.exe")
        events = self.probe.events
        return (events[start] if start is not None else None), (events[end] if end is not None else None)

    @property
    def installer_exit_code(self):
        _, end = self.msiexec()
        return end.get("code") if end else None

    def application(self):
        """The first program started after the installer ended, Wine's own and msiexec left out."""
        _, end = self.probe.process_run("msiexec.exe")
        after = end if end is not None else len(self.probe.events)
        for e in self.probe.events[after:]:
            if e["event"] == "process" and e["name"].lower() not in Probe.WINE_OWN | {"msiexec.exe"}:
                return e
        return None

    def time_out(self, step):
        self.verdict = "timed out"
        self.reason = f"the run did not end within --timeout (it was at step {step})"

    def decide(self, timed_out):
        """The verdict from what was seen, and the words that go with it."""
        own_boxes = self.probe.of("box")
        foreign = self.probe.of("foreignbox")
        msiexec, _ = self.msiexec()
        code = self.installer_exit_code
        if foreign:
            self.box_text = foreign[-1]["text"]
        if own_boxes:
            self.box_text = own_boxes[-1]["text"]
        if self.waiting.title:
            self.verdict = "needs a person"
            self.reason = (f"the database shows its own dialog ({self.waiting.title!r}) in normal mode; "
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
            "pictures": self.pictures,
        }


class Steps:
    """Times the steps of a run into the trial and tells them to whoever listens (the
    terminal's lines, through the status channel)."""

    def __init__(self, trial, tell, deadline):
        self.trial, self.tell, self.deadline = trial, tell, deadline

    def left(self, step):
        """Seconds left of the run's time; TimedOut when none."""
        left = self.deadline - time.monotonic()
        if left <= 0:
            raise TimedOut(step)
        return left

    def __call__(self, name, note=None):
        return _Step(self, name, note)


class _Step:
    def __init__(self, steps, name, note):
        self.steps, self.name, self.note = steps, name, note

    def __enter__(self):
        self.steps.left(self.name)
        self.start = time.monotonic()
        self.steps.tell({"step": self.name, "note": self.note})
        return self

    def __exit__(self, kind, value, trace):
        seconds = time.monotonic() - self.start
        self.steps.trial.steps[self.name] = seconds
        if kind is None:
            self.steps.tell({"step": self.name, "seconds": round(seconds, 2)})
        elif issubclass(kind, SessionError) and time.monotonic() >= self.steps.deadline:
            raise TimedOut(self.name) from value


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
    """Runs one try in a ready prefix: display, desktop, install and check, with logs
    and pictures in folder. close() ends what it started."""

    def __init__(self, prefix, probe_exe, installer, folder, steps):
        self.prefix = prefix
        self.probe_exe = probe_exe  # both as Wine names them
        self.installer = installer
        self.folder = folder
        self.steps = steps
        self.display = None
        self.session = None

    def run(self, trial):
        try:
            self.prepare()
            self.install(trial)
            self.inspect(trial)
        except TimedOut as stop:
            trial.time_out(stop.step)
        trial.seconds = time.monotonic() - trial.started
        return trial

    def prepare(self):
        with self.steps("display"):
            self.display = Display(os.path.join(self.folder, "xvfb.log"), timeout=min(120, self.steps.left("display")))
        self.session = Session(self.prefix, self.display.name)
        with self.steps("desktop"):
            self.session.start_server(check=False)
            self.session.keep_desktop(self.probe_exe, os.path.join(self.folder, "desktop.log"),
                                      timeout=min(180, self.steps.left("desktop")))

    def install(self, trial):
        def on_pause(seen):
            before = seen.events[-2]["event"] if len(seen.events) > 1 else ""
            if before in ("box", "foreignbox"):
                self.picture(trial, f"box-{len(seen.of('box')) + len(seen.of('foreignbox'))}.png")
            elif seen.first("layout"):
                self.picture(trial, "progress.png", seen.first("layout"))

        clock = {"t": 0, "at": time.monotonic()}

        def on_event(seen, event):
            if event:
                clock.update(t=event["t"], at=time.monotonic())
            now_ms = clock["t"] + (time.monotonic() - clock["at"]) * 1000
            if trial.waiting.see(seen, event, now_ms):
                self.picture(trial, "dialog.png")
                return True
            return time.monotonic() > self.steps.deadline

        with self.steps("install"), open(os.path.join(self.folder, "wine.log"), "wb") as log:
            timeout_ms = int(self.steps.left("install") * 1000)
            trial.probe = run_probe(self.session, self.probe_exe, ProbeRequest(
                self.installer, args=("-update",) if trial.update else (), at=(("created", "pause"),),
                unix_env={"WINEDEBUG": WINEDEBUG}, on_pause=on_pause, on_event=on_event, timeout_ms=timeout_ms,
                boxes="enter", stderr=log, value=(REGISTRY_KEY, "InstallDir")))
        with open(os.path.join(self.folder, "probe.jsonl"), "w", encoding="utf-8") as f:
            f.write(trial.probe.dump() + "\n")
        trial.log_tail = msi_lines(os.path.join(self.folder, "wine.log"))
        trial.decide(time.monotonic() > self.steps.deadline and not trial.probe.first("exit"))

    def inspect(self, trial):
        if trial.verdict in ("timed out", "needs a person"):
            return
        with self.steps("check"):
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
        except Exception:  # a picture is evidence, not the verdict
            pass

    def close(self):
        if self.session:
            stop_server(self.session.prefix)
        if self.display:
            self.display.stop()
