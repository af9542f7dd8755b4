"""A Wine session of our own: a virtual display (Xvfb), a 32-bit prefix and a
wineserver for that prefix only. The user's ~/.wine, display and wineserver are never
touched."""
import os
import select
import signal
import subprocess
import tempfile
import time

# No Mono or Gecko prompt; no menu entries or file associations written into the
# user's own desktop for a throwaway prefix; nothing but what the caller asks for on
# stderr.
BASE_ENV = {"WINEARCH": "win32", "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}


class SessionError(Exception):
    """A session that cannot start, with the reason."""


def quiet(args, env=None, timeout=60, log=None):
    """Runs a helper program in a session of its own (a Ctrl+C is ours to handle, and we
    end it); its output goes to log (a file) or nowhere."""
    return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=log or subprocess.DEVNULL,
                          stderr=subprocess.STDOUT if log else subprocess.DEVNULL, timeout=timeout,
                          start_new_session=True)


def run_caught(args, env=None, timeout=120, cwd=None, own_session=True):
    """Runs a program with its output caught in files, not pipes: the first program of a
    wineserver starts Wine's services, which inherit its output and outlive it, so a
    pipe would never reach its end. env is the whole environment (None: ours);
    own_session keeps a Ctrl+C ours to handle."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(list(args), env=env, cwd=cwd, stdout=out, stderr=err, timeout=timeout,
                                stdin=subprocess.DEVNULL, start_new_session=own_session)
        out.seek(0)
        err.seek(0)
        result.stdout, result.stderr = out.read(), err.read()
    return result


# Not handed to Wine: Debian 13's Wine 10 aborts at its start ("free(): invalid pointer")
# whenever TMPDIR is set, in the code with which Debian places wineserver's socket folder;
# and every program of one prefix must agree on that folder to find its server.
NOT_FOR_WINE = ("DISPLAY", "TMPDIR")


def wine_env(prefix, display=None):
    """The environment of programs in prefix: ours, whatever the caller's says of Wine."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k not in NOT_FOR_WINE}
    env.update(BASE_ENV, WINEPREFIX=prefix)
    if display:
        env["DISPLAY"] = display
    return env


def wine_version():
    try:
        out = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=60).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        out = ""
    return out or "wine-unknown"


class Display:
    """Xvfb on a display number it picks itself (-displayfd), in a session of its own so
    that a Ctrl+C meant for our caller does not end it before we do."""

    def __init__(self, log_path, timeout=120):
        read, write = os.pipe()
        with open(log_path, "ab") as log:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-ac"],
                pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        os.close(write)
        number = b""
        try:
            # Xvfb either writes its number or ends, which closes the pipe; the bound is
            # for a server that hangs, not for a slow one (a busy machine takes 10 s and more).
            while not number.endswith(b"\n") and select.select([read], [], [], timeout)[0]:
                chunk = os.read(read, 16)
                if not chunk:
                    break
                number += chunk
            if not number.strip().isdigit():
                raise SessionError(f"Xvfb did not start ({last_line(log_path)})")
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read)
        self.name = ":" + number.strip().decode()
        self.pid = self.process.pid

    def stop(self):
        stop_pid(self.process.pid)
        self.process.wait()


def last_line(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = [line.strip() for line in f if line.strip()]
    except OSError:
        return "it said nothing"
    return lines[-1] if lines else "it said nothing"


def stop_pid(pid, wait_s=5.0):
    """Ends the process pid (ours): politely, then for good."""
    for sig, patience in ((signal.SIGTERM, wait_s), (signal.SIGKILL, wait_s)):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + patience
        while time.monotonic() < deadline:
            try:
                if os.waitpid(pid, os.WNOHANG)[0] == pid:
                    return
            except ChildProcessError:  # not our child: look whether it is still there
                if not os.path.exists(f"/proc/{pid}"):
                    return
            time.sleep(0.05)


def stop_server(prefix):
    """Ends every program of prefix and its wineserver, and waits for the end."""
    env = wine_env(prefix)
    for args in (["wineserver", "-k"], ["wineserver", "-w"]):
        try:
            quiet(args, env=env, timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            pass


def boot_prefix(prefix, display, log_path, deadline):
    """Makes a fresh prefix at prefix (which must not exist) and lets its server end;
    deadline (a time.monotonic() value) bounds it."""
    env = wine_env(prefix, display)
    with open(log_path, "ab") as log:
        quiet(["wineboot", "-i"], env=env, timeout=max(1, deadline - time.monotonic()), log=log)
        # Wine 10 stops waiting for a new prefix's set-up after five minutes, which
        # emulation can pass, and returns while wineboot.exe still installs: every later
        # program would wait for it again. The server ends once the set-up has; its
        # exit status then says nothing, the prefix's files do.
        quiet(["wineserver", "-w"], env=env, timeout=max(1, deadline - time.monotonic()), log=log)
        set_up = os.path.isfile(os.path.join(prefix, "drive_c", "windows", "system32", "kernel32.dll"))
        # There is no window manager on Xvfb: a managed window that hides waits two
        # seconds for one to withdraw it, which would stretch every hide and close.
        quiet(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ", "/d", "N",
               "/f"], env=env, timeout=max(1, deadline - time.monotonic()), log=log)
    stop_server(prefix)
    if not set_up:
        with open(log_path, encoding="utf-8", errors="replace") as log:
            said = " | ".join(line.strip() for line in log.readlines()[-3:])
        why = ("this kernel does not run 32-bit programs" if "Exec format error" in said else
               "a 32-bit prefix needs the 32-bit Wine (wine32)")
        raise SessionError(f"wineboot could not make a prefix ({said or 'it said nothing'}); {why}")


class Session:
    """Programs run in one prefix on one display: paths and pictures."""

    def __init__(self, prefix, display):
        self.prefix = prefix
        self.display = display
        self.env = wine_env(prefix, display)

    def start_server(self, check=True):
        """A persistent wineserver for the prefix (it goes to the background by itself),
        so that programs start at once; check runs one to prove the prefix usable."""
        quiet(["wineserver", "-p"], env=self.env, timeout=30)
        if check and self.run(["cmd", "/c", "exit", "0"], timeout=120).returncode != 0:
            raise SessionError(f"the prefix {self.prefix} does not run programs")

    def keep_desktop(self, probe, log_path, timeout=180):
        """Starts the probe holding the desktop for the session's length (wineserver -k
        ends it with the rest) and waits until it does; see sfxprobe.exe --keep-desktop.
        A probe that gave up waiting for the desktop to start is followed by another:
        the desktop it asked for comes up meanwhile."""
        deadline = time.monotonic() + timeout
        said = []
        while time.monotonic() < deadline:
            with open(log_path, "wb") as log:
                keeper = subprocess.Popen(["wine", probe, "--keep-desktop"], env=self.env, stdin=subprocess.DEVNULL,
                                          stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
            while keeper.poll() is None and time.monotonic() < deadline:
                with open(log_path, "rb") as log:
                    if b'"event":"desktop"' in log.read():
                        return
                time.sleep(0.2)
            with open(log_path, "rb") as log:
                said = log.read().decode(errors="replace").strip().splitlines()[-1:] or said
        raise SessionError(f"the desktop did not start ({said[0] if said else 'the probe said nothing'})")

    def run(self, args, env=None, timeout=120, check=False):
        result = run_caught(["wine"] + list(args), dict(self.env, **(env or {})), timeout)
        if check:
            result.check_returncode()
        return result

    def to_unix(self, path):
        """The Unix path of a Windows one, through the drive's link in the prefix
        (C: is drive_c; in a session of the tests Z: is the root)."""
        drive = os.path.join(self.prefix, "dosdevices", path[:2].lower())
        if len(path) < 2 or path[1] != ":" or not os.path.isdir(drive):
            raise ValueError(f"no Unix path for {path}")
        rest = [part for part in path[2:].split("\\") if part]
        return os.path.join(os.path.realpath(drive), *rest)

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
