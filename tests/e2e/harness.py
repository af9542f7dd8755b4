"""What the whole-installer tests stand on besides the shared toolkit and the shipped
session and probe code: the product's texts, a room for each case, installers packed
with sfxpack, a stand-in msiexec, and what the fixture application records."""
import contextlib
import os
import random
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import toolkit  # noqa: E402
from sfxtry.probe import ProbeRequest, run_probe  # noqa: E402
from sfxtry.trial import REGISTRY_KEY  # noqa: E402  (where the product keeps its folder)


def shown_while(probe, name):
    """True when the window was up for the whole life of process name: it was shown
    before the process started and not hidden until it had ended. An end is reported
    after the window events of the look that takes it, and one that comes while the
    windows are looked at waits for the next look, so a hide may be reported a look or
    two before the end it followed (four are allowed)."""
    start, end = probe.process_run(name)
    if start is None or end is None:
        return False
    exit_event = probe.first("exit") or {}
    slack_ms = 4 * max(25, exit_event.get("slowest_look_ms", 0))
    shown = probe.index(lambda e: e["event"] == "dialog" and e["visible"])
    hidden = [e["t"] for e in probe.dialog_events() if not e["visible"]]
    return shown is not None and shown < start and all(t >= probe.events[end]["t"] - slack_ms for t in hidden)


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
# The installer runs msiexec by this path and no other.
SYSTEM_MSIEXEC = "C:\\windows\\system32\\msiexec.exe"


def fill(fmt, arg):
    return fmt.replace("%s", arg, 1)


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

    def build_msi(self, wxs="corvella.wxs", folder=None, name="Setup.msi", seed=None, payload_mb=96, hangs=False,
                  dialog=False):
        """A real database from a fixture, installing into Programs\\<folder>; large
        databases with the same seed carry the same payload. hangs: its install never
        ends; dialog: in normal mode it shows a dialog of its own that waits for a person."""
        build = self.folder("msi-" + os.path.splitext(name)[0] + "-" + os.path.splitext(wxs)[0])
        if wxs == "corvella-large.wxs":
            # Incompressible, so the package's stream is as large as the database. Its
            # size is there to make the extraction last: where time runs slower, less
            # lasts as long.
            with open(os.path.join(build, "Payload.bin"), "wb") as f:
                f.write(random.Random(seed or wxs).randbytes(max(4, payload_mb // toolkit.TIME_SCALE) << 20))
        variables = {"Folder": folder or "Corvella-" + self.name, **({"Hangs": "1"} if hangs else {})}
        msi = toolkit.build_msi(os.path.join(toolkit.FIXTURES, wxs), build, name, variables,
                                [self.config["corvella"]])
        if dialog:
            tables = os.path.join(toolkit.FIXTURES, "ui")
            subprocess.run(["msibuild", msi, "-i", *sorted(os.path.join(tables, t) for t in os.listdir(tables)
                                                           if t.endswith(".idt"))],
                           check=True, capture_output=True, timeout=60)
        return msi

    def packer(self, args):
        """Runs sfxpack; arguments that are absolute Unix paths are handed over as paths."""
        if self.config["packer_under_wine"]:
            args = [self.wine.to_windows(a) if os.path.isabs(a) else a for a in args]
            return self.wine.run([self.config["packer"]] + args, timeout=toolkit.scaled(120))
        return subprocess.run([self.config["packer"]] + list(args), capture_output=True,
                              timeout=toolkit.scaled(120))

    def pack(self, out_name, entries, stub=None, folder=None, force=False, threads=None, level=None):
        """An installer: the stub with the entries packed behind it (on threads, else
        on every processor; at level, else the packer's default); force for one that
        is meant not to work (the packer refuses it otherwise)."""
        target_dir = self.folder(folder or "installer")
        out = os.path.join(target_dir, out_name)
        stub = stub or self.config["stub"]
        options = (["--force"] if force else []) + ([f"-j{threads}"] if threads else []) + \
            ([f"--level={level}"] if level else [])
        result = self.packer(["create", "-q", *options, "--stub", stub, "-o", out, *entries])
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
        result = run_probe(self.wine, self.config["probe"], ProbeRequest(
            self.wine.to_windows(program), tuple(args), tuple(at), env=env, unix_env=unix_env, cwd=cwd,
            on_pause=on_pause, timeout_ms=toolkit.scaled(timeout_ms)))
        with open(os.path.join(self.work, "probe.log"), "a", encoding="utf-8") as f:
            f.write(f"# {program} {' '.join(args)}\n{result.dump()}\n")
        return result

    def try_installer(self, installer, *options, popen=False, env=None):
        """sfxpack try (the native packer's, or the shipped Python package itself when the
        packer is sfxpack.exe), with the prefix cache of the tests' session and the case's
        own temporary folder. Returns the result, or with popen the running process."""
        command = [self.config["packer"], "try"] if not self.config["packer_under_wine"] else \
            [sys.executable, "-m", "sfxtry"]
        env = dict(os.environ, SFXPACK_PROBE=self.config["probe"], SFXPACK_TRY_PYTHON=toolkit.SFXTRY,
                   PYTHONPATH=toolkit.SFXTRY, TMPDIR=self.folder("try-tmp"),
                   XDG_CACHE_HOME=os.path.join(os.path.dirname(self.wine.prefix), "cache"), **(env or {}))
        if popen:
            return subprocess.Popen(command + [*options, installer], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
        return toolkit.run(command + [*options, installer], env=env, timeout=600)

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

    def keeping_copies(self, name, until=None):
        """The environment of a run whose stand-in keeps copies of the database it is
        handed, as it starts and as it ends, in the folder of that name; with until (a
        path), it ends as soon as that file exists."""
        folder = self.c.folder(name)
        env = dict(self.env, FAKE_MSIEXEC_COPY=self.c.wine.to_windows(folder))
        if until:
            env["FAKE_MSIEXEC_UNTIL"] = self.c.wine.to_windows(until)
        return env, folder


def start_records(folder, wait_s=10.0):
    """What the fixture application recorded in folder (Unix path) when it started: a
    list of {exe, cmdline, cwd}, waiting up to wait_s (scaled) for the first."""
    record = os.path.join(folder, "started.txt")
    deadline = time.monotonic() + toolkit.scaled(wait_s)
    while not os.path.exists(record) and time.monotonic() < deadline:
        time.sleep(0.1)
    if not os.path.exists(record):
        return []
    time.sleep(toolkit.scaled(0.3))  # let a second, faulty start show up too
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
