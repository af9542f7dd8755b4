"""Runs a program under the UI probe (sfxprobe.exe) in a Wine session and reads what
the probe saw: one JSON event a line, in the order it happened."""
import dataclasses
import json
import queue
import subprocess
import threading
import time

# The events after which the probe reports nothing more.
LAST_EVENTS = ("exit", "timeout", "error", "usage")


class Probe:
    """One run of a program under the UI probe: the events it reported, in order."""

    # Wine starts these itself, under whichever program happens to need them first: the
    # desktop's explorer.exe when a session's first window opens, and the service manager
    # with its services when the wine server was idle long enough to end and starts again.
    WINE_OWN = {"explorer.exe", "services.exe", "rpcss.exe", "plugplay.exe", "svchost.exe", "winedevice.exe"}

    def __init__(self, events):
        self.events = events

    @classmethod
    def load(cls, text):
        """The events of a recorded run (probe.jsonl)."""
        return cls([json.loads(line) for line in text.splitlines() if line.strip()])

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    def first(self, kind):
        found = self.of(kind)
        return found[0] if found else None

    @property
    def exit_code(self):
        e = self.first("exit")
        return e["code"] if e else None

    def index(self, predicate):
        for i, e in enumerate(self.events):
            if predicate(e):
                return i
        return None

    def first_process(self, name):
        return self.index(lambda e: e["event"] == "process" and e["name"].lower() == name.lower())

    def ended(self, pid):
        """The index of the "ended" event of process pid, or None while it runs."""
        return self.index(lambda e: e["event"] == "ended" and e["pid"] == pid)

    def process_run(self, name):
        """The first process of that image name and its end: (start index, end index),
        either None where not seen."""
        start = self.first_process(name)
        if start is None:
            return None, None
        return start, self.ended(self.events[start]["pid"])

    def name_of(self, pid):
        return next((e["name"].lower() for e in self.of("process") if e["pid"] == pid), None)

    def foreign(self):
        """The processes the program started, Wine's own left out."""
        return [e for e in self.of("process") if e["name"].lower() not in self.WINE_OWN]

    def dialog_events(self):
        """The window's states, without the last one before it is destroyed when that one
        has lost its texts: a window being destroyed is hidden and emptied first."""
        kept = []
        for i, e in enumerate(self.events):
            if e["event"] != "dialog":
                continue
            following = next((f for f in self.events[i + 1:] if f["event"] in ("dialog", "destroyed")), None)
            dying = following is not None and following["event"] == "destroyed"
            if dying and not e["visible"] and (e["status"] == "" or e["title"] == ""):
                continue
            kept.append(e)
        return kept

    def statuses(self):
        """Status line texts in the order shown, repeats folded."""
        texts = []
        for e in self.dialog_events():
            if not texts or texts[-1] != e["status"]:
                texts.append(e["status"])
        return texts

    def titles(self):
        """Titles the user could see (a window being destroyed loses its text first)."""
        return sorted({e["title"] for e in self.dialog_events() if e["visible"]})

    def dump(self):
        return "\n".join(json.dumps(e, ensure_ascii=False) for e in self.events)


@dataclasses.dataclass
class ProbeRequest:
    """What to run under the probe and how.

    program: the program's Windows path; args its arguments. env is added to its Windows
    environment, unix_env to Wine's own (LANG, WINEDEBUG). at: (when, what) actions.
    boxes: the key every error box gets once reported and answered by the driver.
    value: a (key, name) registry value the program left, reported once it has ended.
    on_pause(Probe) runs while the probe waits for us (a held program, or a box before
    its key); on_event(Probe, event) sees each event, or None twice a second, and ends
    the run early by answering True. stderr: a file for Wine's own messages."""
    program: str
    args: tuple = ()
    at: tuple = ()
    env: dict = None
    unix_env: dict = None
    cwd: str = None
    timeout_ms: int = 60000
    boxes: str = None
    value: tuple = None
    on_pause: object = None
    on_event: object = None
    stderr: object = None

    def command(self, probe_exe):
        command = ["wine", probe_exe, "--timeout", str(self.timeout_ms)]
        for name, setting in (self.env or {}).items():
            command += ["--env", f"{name}={setting}"]
        if self.cwd:
            command += ["--cwd", self.cwd]
        if self.boxes:
            command += ["--boxes", self.boxes]
        for when, what in self.at:
            command += ["--at", when, what]
        if self.value:
            command += ["--value", *self.value]
        return command + ["--", self.program] + list(self.args)


def run_probe(session, probe_exe, request):
    """Starts request.program under the UI probe (probe_exe, as Wine names it) in the
    session; returns what the probe saw."""
    proc = subprocess.Popen(request.command(probe_exe), env=dict(session.env, **(request.unix_env or {})),
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=request.stderr or subprocess.DEVNULL, start_new_session=True)
    lines = queue.Queue()

    def read():
        for raw in proc.stdout:
            lines.put(raw)
        lines.put(None)
    threading.Thread(target=read, daemon=True).start()
    events = []
    deadline = time.monotonic() + request.timeout_ms / 1000 + 30
    ended_early = False
    try:
        while time.monotonic() < deadline:
            try:
                raw = lines.get(timeout=0.5)
            except queue.Empty:
                if request.on_event and request.on_event(Probe(events), None):
                    ended_early = True
                    break
                continue
            if raw is None:
                break
            event = json.loads(raw.decode("utf-8"))
            events.append(event)
            if event["event"] == "paused":
                if request.on_pause:
                    request.on_pause(Probe(events))
                try:
                    proc.stdin.write(b"\n")
                    proc.stdin.flush()
                except BrokenPipeError:  # the probe has gone: its end is reported
                    pass
            # Processes the program started may hold the probe's output open after it
            # ends; its exit is the end of the report.
            if request.on_event and request.on_event(Probe(events), event):
                ended_early = True
                break
            if event["event"] in LAST_EVENTS:
                break
        # A run the caller ended is not waited for: the program is still running.
        if not ended_early:
            proc.wait(timeout=max(1, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        pass
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    return Probe(events)
