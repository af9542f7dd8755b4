"""Runs a program under the UI probe (sfxprobe.exe) in a Wine session and reads what
the probe saw: one JSON event a line, in the order it happened."""
import json
import queue
import subprocess
import threading
import time

# The events after which the probe reports nothing more.
LAST_EVENTS = ("exit", "timeout", "error", "usage")


class Probe:
    """One run of a program under the UI probe: the events it reported, in order."""

    def __init__(self, events):
        self.events = events

    def of(self, kind):
        return [e for e in self.events if e["event"] == kind]

    # Wine starts these itself, under whichever program happens to need them first: the
    # desktop's explorer.exe when a session's first window opens, and the service manager
    # with its services when the wine server was idle long enough to end and starts again.
    WINE_OWN = {"explorer.exe", "services.exe", "rpcss.exe", "plugplay.exe", "svchost.exe", "winedevice.exe"}

    def first(self, kind):
        found = self.of(kind)
        return found[0] if found else None

    @property
    def exit_code(self):
        e = self.first("exit")
        return e["code"] if e else None

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

    def first_process(self, name):
        return self.index(lambda e: e["event"] == "process" and e["name"].lower() == name.lower())

    def index(self, predicate):
        for i, e in enumerate(self.events):
            if predicate(e):
                return i
        return None

    def dump(self):
        return "\n".join(json.dumps(e, ensure_ascii=False) for e in self.events)


def probe_command(session, probe, program, args, at, env, cwd, timeout_ms, boxes, value=None):
    command = ["wine", probe, "--timeout", str(timeout_ms)]
    for name, setting in (env or {}).items():
        command += ["--env", f"{name}={setting}"]
    if cwd:
        command += ["--cwd", cwd]
    if boxes:
        command += ["--boxes", boxes]
    for when, what in at:
        command += ["--at", when, what]
    if value:
        command += ["--value", *value]
    return command + ["--", session.to_windows(program)] + list(args)


def run_probe(session, probe, program, args=(), at=(), env=None, unix_env=None, cwd=None, on_pause=None,
              timeout_ms=60000, boxes=None, on_event=None, stderr=None, value=None):
    """Starts program (a Unix path) under the UI probe in the session: env is added to
    its Windows environment, unix_env to Wine's own (LANG, WINEDEBUG); `at` lists
    (when, what) actions; boxes, when given, is the key every error box gets once it
    has been reported and the driver has answered. on_pause(Probe) runs while the
    probe waits for us (held program, or a box before its key); on_event(Probe, event)
    sees each event, or None twice a second, and ends the run early by answering
    True. stderr is a file for Wine's own messages. value, a (key, name) pair: the
    registry value the program left, reported once it has ended. Returns what the probe
    saw."""
    command = probe_command(session, probe, program, args, at, env, cwd, timeout_ms, boxes, value)
    proc = subprocess.Popen(command, env=dict(session.env, **(unix_env or {})), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=stderr or subprocess.DEVNULL, start_new_session=True)
    lines = queue.Queue()

    def read():
        for raw in proc.stdout:
            lines.put(raw)
        lines.put(None)
    threading.Thread(target=read, daemon=True).start()
    events = []
    deadline = time.monotonic() + timeout_ms / 1000 + 30
    ended_early = False
    try:
        while time.monotonic() < deadline:
            try:
                raw = lines.get(timeout=0.5)
            except queue.Empty:
                if on_event and on_event(Probe(events), None):
                    ended_early = True
                    break
                continue
            if raw is None:
                break
            event = json.loads(raw.decode("utf-8"))
            events.append(event)
            if event["event"] == "paused":
                if on_pause:
                    on_pause(Probe(events))
                try:
                    proc.stdin.write(b"\n")
                    proc.stdin.flush()
                except BrokenPipeError:  # the probe has gone: its end is reported
                    pass
            # Processes the program started may hold the probe's output open after it
            # ends; its exit is the end of the report.
            if on_event and on_event(Probe(events), event):
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
