"""What the whole-installer tests stand on: the Wine session, Windows and Unix paths,
the registry, databases built with wixl, installers packed with sfxpack, and runs of
an installer watched by the UI probe."""
import contextlib
import json
import os
import random
import shutil
import struct
import subprocess
import time

# The texts the user sees, as the product's string table holds them.
ENGLISH = {
    "initializing": "Initializing...",
    "installing": "Installing...",
    "failure": "Installation Failed, Contact customer support.\r\nDetails: %s",
    "update": "%s is installing your updates and will start in a few moments...",
}
FRENCH = {
    "initializing": "Initialisation...",
    "installing": "Installation...",
    "failure": "L'installation a échoué, veuillez contacter le service client.\r\nDétails: %s",
    "update": "%s installe les mises à jour et démarrera dans quelques instants\u2026",
}
CAPTION = "Corvella Installer"
DETAIL = {
    101: "Failed to read TOC",
    102: "Incomplete or corrupt file",
    103: "Failed to extract installer",
}
REGISTRY_KEY = r"HKCU\SOFTWARE\Corvella"
# The installer runs msiexec by this path and no other.
SYSTEM_MSIEXEC = "C:\\windows\\system32\\msiexec.exe"


def fill(fmt, arg):
    return fmt.replace("%s", arg, 1)


class Wine:
    """The test run's Wine session (scripts/wine-env.sh), shared by every test."""

    def __init__(self, session_dir):
        env_file = os.path.join(session_dir, "env")
        if not os.path.exists(env_file):
            raise RuntimeError(f"no Wine session in {session_dir}")
        self.env = dict(os.environ)
        with open(env_file) as f:
            for line in f:
                line = line.strip()
                if line.startswith("export ") and "=" in line:
                    name, value = line[len("export "):].split("=", 1)
                    self.env[name] = value.strip('"')
        self.prefix = self.env["WINEPREFIX"]
        self.display = self.env["DISPLAY"]

    def run(self, args, env=None, timeout=120, check=False):
        full_env = dict(self.env, **(env or {}))
        return subprocess.run(["wine"] + list(args), env=full_env, capture_output=True, timeout=timeout,
                              check=check)

    def to_unix(self, path):
        """C:\\x\\y -> <prefix>/drive_c/x/y, Z:\\x -> /x."""
        drive, rest = path[0].upper(), path[2:].replace("\\", "/").lstrip("/")
        if drive == "Z":
            return "/" + rest
        if drive == "C":
            return os.path.join(self.prefix, "drive_c", rest)
        raise ValueError(f"no Unix path for {path}")

    @staticmethod
    def to_windows(path):
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def reg_set(self, key, name, value):
        self.run(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"], check=True)
        got = self.reg_get(key, name)
        if got != value:
            raise RuntimeError(f"registry value {key}\\{name} reads {got!r}, not {value!r}")

    def reg_get(self, key, name):
        out = self.run(["reg", "query", key, "/v", name]).stdout.decode("utf-8", "replace")
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_delete(self, key):
        self.run(["reg", "delete", key, "/f"])

    def screenshot(self, path, layout=None, margin=12):
        """The virtual screen as a PNG; with a probe layout event, just that window."""
        crop = []
        if layout:
            left, top = max(0, layout["left"] - margin), max(0, layout["top"] - margin)
            width = layout["right"] - layout["left"] + 2 * margin
            height = layout["bottom"] - layout["top"] + 2 * margin
            crop = ["-crop", f"{width}x{height}+{left}+{top}", "+repage"]
        subprocess.run(["import", "-display", self.display, "-window", "root"] + crop + [path], check=True,
                       capture_output=True, timeout=30)


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

    def programs_started(self):
        """The processes the program started, Wine's own left out."""
        return [e for e in self.of("process") if e["name"].lower() not in self.WINE_OWN]

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

    def ended(self, name):
        """Index of the event that reported the end of the first process named name."""
        start = self.first_process(name)
        if start is None:
            return None
        pid = self.events[start]["pid"]
        return self.index(lambda e: e["event"] == "ended" and e["pid"] == pid)

    def first_process(self, name):
        return self.index(lambda e: e["event"] == "process" and e["name"].lower() == name.lower())

    def shown_while(self, name, slack_ms=100):
        """True when the window was up for the whole life of process name: it was shown
        before the process started and not hidden until it had ended (give or take the
        probe's look interval, since an end and a hide can fall between two looks)."""
        start, end = self.first_process(name), self.ended(name)
        if start is None or end is None:
            return False
        shown = self.index(lambda e: e["event"] == "dialog" and e["visible"])
        hidden = [e["t"] for e in self.dialog_events() if not e["visible"]]
        return shown is not None and shown < start and all(t >= self.events[end]["t"] - slack_ms for t in hidden)

    def index(self, predicate):
        for i, e in enumerate(self.events):
            if predicate(e):
                return i
        return None

    def dump(self):
        return "\n".join(json.dumps(e, ensure_ascii=False) for e in self.events)


class Case:
    """The room one test works in: its own folders, its own paths in the session."""

    def __init__(self, config, wine, name):
        self.config = config
        self.wine = wine
        self.name = name
        self.work = os.path.join(config["work"], name)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.temp = self.folder("temp")

    def folder(self, *parts):
        path = os.path.join(self.work, *parts)
        os.makedirs(path, exist_ok=True)
        return path

    # Databases and installers -------------------------------------------------

    def build_msi(self, wxs="corvella.wxs", folder=None, name="Setup.msi", seed=None, payload_mb=96):
        """A real database from a fixture, installing into Programs\\<folder>; large
        databases with the same seed carry the same payload."""
        build = self.folder("msi-" + os.path.splitext(name)[0] + "-" + os.path.splitext(wxs)[0])
        shutil.copy(os.path.join(self.config["fixtures"], wxs), build)
        shutil.copy(self.config["corvella"], os.path.join(build, "Corvella.exe"))
        if wxs == "corvella-large.wxs":
            # Incompressible, so the package's stream is as large as the database.
            with open(os.path.join(build, "Payload.bin"), "wb") as f:
                f.write(random.Random(seed or wxs).randbytes(payload_mb << 20))
        out = os.path.join(build, name)
        # wixl wants source paths relative to its working folder.
        subprocess.run([self.config["wixl"], "-D", "Folder=" + (folder or "Corvella-" + self.name), "-o", name, wxs],
                       cwd=build, check=True, capture_output=True, timeout=120)
        return out

    def packer(self, args):
        """Runs sfxpack; arguments that are absolute Unix paths are handed over as paths."""
        if self.config["packer_under_wine"]:
            args = [self.wine.to_windows(a) if os.path.isabs(a) else a for a in args]
            return self.wine.run([self.config["packer"]] + args)
        return subprocess.run([self.config["packer"]] + list(args), capture_output=True, timeout=120)

    def pack(self, out_name, entries, stub=None, folder=None, force=False):
        """An installer: the stub with the entries packed behind it; force for one
        that is meant not to work (the packer refuses it otherwise)."""
        target_dir = self.folder(folder or "installer")
        out = os.path.join(target_dir, out_name)
        stub = stub or self.config["stub"]
        force_option = ["--force"] if force else []
        result = self.packer(["create", "-q", *force_option, "--stub", stub, "-o", out, *entries])
        if result.returncode != 0 or not os.path.exists(out):
            raise RuntimeError(f"sfxpack failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
        return out

    def installer(self, wxs="corvella.wxs", folder=None):
        return self.pack("CorvellaSetup.exe", [self.build_msi(wxs, folder)])

    def large_installers(self, count, payload_mb=96):
        """count installers of different large databases, each packed in a folder of
        its own: [(installer, database)]."""
        made = []
        for n in range(count):
            msi = self.build_msi("corvella-large.wxs", name=f"Setup{n}.msi", seed=f"large-{n}",
                                 payload_mb=payload_mb)
            database = os.path.join(os.path.dirname(msi), "Setup.msi")
            os.replace(msi, database)  # the name the stub extracts it under
            made.append((self.pack("CorvellaSetup.exe", [database], folder=f"installer-{n}"), database))
        return made

    # The system's msiexec ---------------------------------------------------------

    @contextlib.contextmanager
    def system_msiexec(self, stand_in=True, exit_code=0, sleep_ms=0):
        """For the length of the block the system's msiexec is the stand-in (recording
        its command lines, ending with exit_code after sleep_ms) or, without stand_in, a
        file that is no program. Yields a StandIn whose env and unix_env a run needs.
        Only a case holding the msiexec lock may use it: the prefix is shared."""
        path = self.wine.to_unix(SYSTEM_MSIEXEC)
        saved = path + ".sfx-saved"
        if not os.path.exists(saved):  # else a run that was killed left the real one there
            os.rename(path, saved)
        try:
            if stand_in:
                shutil.copy(self.config["fake_msiexec"], path)
            else:
                with open(path, "w") as f:
                    f.write("This is no program.\n")
            yield StandIn(self, exit_code, sleep_ms)
        finally:
            os.replace(saved, path)

    # Runs ---------------------------------------------------------------------

    def run(self, program, args=(), at=(), env=None, temp=None, unix_env=None, cwd=None, on_pause=None,
            timeout_ms=60000):
        """Starts program under the probe with its own temporary folder, acts as `at`
        says ((when, what) pairs) and returns what the probe saw."""
        temp = temp or self.temp
        win_temp = temp if temp.startswith("C:") else self.wine.to_windows(temp)
        env = dict({"TMP": win_temp, "TEMP": win_temp}, **(env or {}))
        result = run_probe(self.wine, self.config["probe"], program, args, at=at, env=env, unix_env=unix_env,
                           cwd=cwd, on_pause=on_pause, timeout_ms=timeout_ms)
        with open(os.path.join(self.work, "probe.log"), "a", encoding="utf-8") as f:
            f.write(f"# {program} {' '.join(args)}\n{result.dump()}\n")
        return result

    # What a run leaves behind -----------------------------------------------

    def started_records(self, folder, wait_s=10.0):
        return start_records(folder, wait_s)

    def files_in(self, folder):
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


class StandIn:
    """How a run reaches the stand-in msiexec at the system path, and what it was given.
    Wine runs its builtin msiexec whatever file lies at that path unless its own
    environment says to prefer the file there."""

    def __init__(self, c, exit_code, sleep_ms):
        self.c = c
        self.log = os.path.join(c.work, "msiexec-calls.txt")
        if os.path.exists(self.log):
            os.remove(self.log)
        self.env = {"FAKE_MSIEXEC_LOG": c.wine.to_windows(self.log), "FAKE_MSIEXEC_EXIT": str(exit_code),
                    "FAKE_MSIEXEC_SLEEP": str(sleep_ms)}
        self.unix_env = {"WINEDLLOVERRIDES": c.wine.env["WINEDLLOVERRIDES"] + ";msiexec.exe=n"}

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            return f.read().splitlines()

    def keeping_copies(self, name):
        """The environment of a run whose stand-in keeps copies of the database it is
        handed, as it starts and as it ends, in the folder of that name."""
        folder = self.c.folder(name)
        return dict(self.env, FAKE_MSIEXEC_COPY=self.c.wine.to_windows(folder)), folder


def start_records(folder, wait_s=10.0):
    """What the fixture application recorded in folder (Unix path) when it started: a
    list of {exe, cmdline, cwd}, waiting up to wait_s for the first."""
    record = os.path.join(folder, "started.txt")
    deadline = time.monotonic() + wait_s
    while not os.path.exists(record) and time.monotonic() < deadline:
        time.sleep(0.1)
    if not os.path.exists(record):
        return []
    time.sleep(0.3)  # let a second, faulty start show up too
    starts, current = [], {}
    with open(record, encoding="utf-8") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key == "exe" and current:
                starts.append(current)
                current = {}
            current[key] = value
    if current:
        starts.append(current)
    return starts


def run_probe(wine, probe, program, args=(), at=(), env=None, unix_env=None, cwd=None, on_pause=None,
              timeout_ms=60000):
    """Starts program (a Unix path) under the UI probe in the session: env is added to
    its Windows environment, unix_env to Wine's own (LANG); `at` lists (when, what)
    actions; on_pause(Probe) runs while the probe holds the program. Returns the events."""
    probe_args = [probe, "--timeout", str(timeout_ms)]
    for name, value in (env or {}).items():
        probe_args += ["--env", f"{name}={value}"]
    if cwd:
        probe_args += ["--cwd", cwd]
    for when, what in at:
        probe_args += ["--at", when, what]
    probe_args += ["--", wine.to_windows(program)] + list(args)
    proc = subprocess.Popen(["wine"] + probe_args, env=dict(wine.env, **(unix_env or {})), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    events = []
    deadline = time.monotonic() + timeout_ms / 1000 + 30
    try:
        for raw in proc.stdout:
            event = json.loads(raw.decode("utf-8"))
            events.append(event)
            if event["event"] == "paused":
                if on_pause:
                    on_pause(Probe(events))
                proc.stdin.write(b"\n")
                proc.stdin.flush()
            # Processes the program started may hold the probe's output open after it
            # ends; its exit is the end of the report.
            if event["event"] in ("exit", "timeout", "error", "usage") or time.monotonic() > deadline:
                break
        proc.wait(timeout=max(1, deadline - time.monotonic()))
    finally:
        if proc.poll() is None:
            proc.kill()
    return Probe(events)


def string_table(exe, string_id):
    """A text of the executable's string table, read with icoutils' wrestool."""
    block = string_id // 16 + 1
    raw = subprocess.run(["wrestool", "-x", "--raw", "-t", "6", "-n", str(block), exe], capture_output=True,
                         check=True).stdout
    pos = 0
    for index in range(16):
        (length,) = struct.unpack_from("<H", raw, pos)
        text = raw[pos + 2:pos + 2 + 2 * length].decode("utf-16-le")
        pos += 2 + 2 * length
        if index == string_id % 16:
            return text
    return ""


def package_entries(path):
    """The table of contents behind an installer, decoded independently of our reader:
    a list of (name, offset, size, compressed_size) in table order."""
    with open(path, "rb") as f:
        data = f.read()
    count, version, marker = struct.unpack_from("<i4s10s", data, len(data) - 18)
    if marker != b"!NORBASFX!" or version != b"2.00":
        raise ValueError(f"{path}: no package trailer at the end")
    entries, pos = [], len(data) - 18
    for _ in range(count):
        (name_length,) = struct.unpack_from("<i", data, pos - 4)
        pos -= 4 + 2 * name_length
        name = data[pos:pos + 2 * name_length].decode("utf-16-le")
        offset, size, compressed = struct.unpack_from("<III", data, pos - 12)
        pos -= 12
        entries.append((name, offset, size, compressed))
    return list(reversed(entries))
