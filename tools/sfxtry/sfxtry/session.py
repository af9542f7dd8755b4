"""A Wine session of our own: a virtual display (Xvfb), a 32-bit prefix copied from a
cache of fresh ones, and a wineserver for that prefix only. The user's ~/.wine, display
and wineserver are never touched.

    python3 -m sfxtry.session start DIR [--cache DIR] [--probe EXE]   a session that
    python3 -m sfxtry.session stop DIR          outlives this process, described by DIR/env;
                                                with the probe, its desktop stays up"""
import os
import re
import select
import shutil
import signal
import subprocess
import sys
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


def wine_env(prefix, display=None):
    """The environment of programs in prefix: ours, whatever the caller's says of Wine."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "DISPLAY"}
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

    def __init__(self, log_path):
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
            while not number.endswith(b"\n") and select.select([read], [], [], 120)[0]:
                chunk = os.read(read, 16)
                if not chunk:
                    break
                number += chunk
            if not number.strip().isdigit():
                raise SessionError(f"Xvfb did not start (see {log_path})")
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


def boot_prefix(prefix, display, log_path):
    """Makes a fresh prefix at prefix (which must not exist) and lets its server end."""
    env = wine_env(prefix, display)
    with open(log_path, "ab") as log:
        booted = quiet(["wineboot", "-i"], env=env, timeout=600, log=log)
        # There is no window manager on Xvfb: a managed window that hides waits two
        # seconds for one to withdraw it, which would stretch every hide and close.
        quiet(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ", "/d", "N",
               "/f"], env=env, timeout=120, log=log)
    stop_server(prefix)
    if booted.returncode != 0 or not os.path.isdir(os.path.join(prefix, "drive_c", "windows")):
        with open(log_path, encoding="utf-8", errors="replace") as log:
            said = " | ".join(line.strip() for line in log.readlines()[-3:])
        why = ("this kernel does not run 32-bit programs" if "Exec format error" in said else
               "a 32-bit prefix needs the 32-bit Wine (wine32)")
        raise SessionError(f"wineboot could not make a prefix ({said or 'it said nothing'}); {why}")


class PrefixCache:
    """Fresh prefixes, one per Wine version, made once with wineboot and copied for each
    run. A prefix enters the cache whole, by one rename, so two first runs at once each
    build one and the first rename wins; the other is thrown away."""

    def __init__(self, root):
        self.root = root
        slug = re.sub(r"[^A-Za-z0-9.+-]+", "_", wine_version())
        self.path = os.path.join(root, f"prefix-{slug}-win32")

    def ready(self):
        return os.path.isdir(os.path.join(self.path, "drive_c"))

    def ensure(self, display, log_path):
        """The cached prefix, made first when there is none."""
        if self.ready():
            return self.path
        os.makedirs(self.root, exist_ok=True)
        building = tempfile.mkdtemp(prefix=".building-", dir=self.root)
        prefix = os.path.join(building, "prefix")
        try:
            boot_prefix(prefix, display, log_path)
            try:
                os.rename(prefix, self.path)
            except OSError:
                if not self.ready():
                    raise
        finally:
            stop_server(prefix)
            shutil.rmtree(building, ignore_errors=True)
        return self.path

    def copy_to(self, target):
        """A copy of the cached prefix at target, sharing blocks where the disk can;
        finish() on the result waits for it, which may meanwhile do other work."""
        return PrefixCopy(self.path, target)


class PrefixCopy:
    def __init__(self, source, target):
        self.process = subprocess.Popen(["cp", "-a", "--reflink=auto", source, target], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def finish(self):
        try:
            _, err = self.process.communicate(timeout=600)
        finally:
            self.abandon()
        if self.process.returncode != 0:
            raise SessionError(f"cannot copy the prefix: {err.decode(errors='replace').strip()}")

    def abandon(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Session:
    """Programs run in one prefix on one display: paths, registry and pictures."""

    def __init__(self, prefix, display):
        self.prefix = prefix
        self.display = display
        self.env = wine_env(prefix, display)

    @classmethod
    def attach(cls, folder):
        """The session that `start` left in folder."""
        env_file = os.path.join(folder, "env")
        if not os.path.exists(env_file):
            raise SessionError(f"no Wine session in {folder}")
        values = {}
        with open(env_file) as f:
            for line in f:
                name, _, value = line.strip().removeprefix("export ").partition("=")
                values[name] = value.strip('"')
        return cls(values["WINEPREFIX"], values["DISPLAY"])

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
            raise SessionError(f"registry value {key}\\{name} reads {got!r}, not {value!r}")

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


# The session that CTest's fixtures start and stop around the Windows tests --------

def start(folder, cache_root, probe=None):
    """A display, a fresh prefix in folder/prefix and its server (and, given the probe,
    its desktop), left running and described by folder/env (for scripts/wine-run.sh
    and the tests)."""
    stop(folder)
    shutil.rmtree(os.path.join(folder, "prefix"), ignore_errors=True)
    display = Display(os.path.join(folder, "xvfb.log"))
    with open(os.path.join(folder, "xvfb.pid"), "w") as f:
        f.write(f"{display.pid}\n")
    cache = PrefixCache(cache_root)
    cache.ensure(display.name, os.path.join(folder, "wineboot.log"))
    cache.copy_to(os.path.join(folder, "prefix")).finish()
    session = Session(os.path.join(folder, "prefix"), display.name)
    with open(os.path.join(folder, "env"), "w") as f:
        f.write(f"export DISPLAY={session.display}\nexport WINEPREFIX=\"{session.prefix}\"\n")
        f.write("".join(f'export {k}="{v}"\n' for k, v in BASE_ENV.items()))
    session.start_server()
    if probe:
        session.keep_desktop(probe, os.path.join(folder, "desktop.log"))
    return session


def stop(folder):
    """Ends what start left running in folder: the prefix's programs, its server, the display."""
    if os.path.exists(os.path.join(folder, "env")):
        stop_server(Session.attach(folder).prefix)
        os.remove(os.path.join(folder, "env"))
    pid_file = os.path.join(folder, "xvfb.pid")
    if os.path.exists(pid_file):
        with open(pid_file) as f:
            pid = int(f.read().strip() or 0)
        if pid and is_xvfb(pid):
            stop_pid(pid)
        os.remove(pid_file)


def is_xvfb(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().startswith(b"Xvfb")
    except OSError:
        return False


def main(argv):
    options = dict(zip(argv[3::2], argv[4::2]))
    if len(argv) < 3 or argv[1] not in ("start", "stop") or len(argv) % 2 == 0 or \
            not set(options) <= {"--cache", "--probe"}:
        print(__doc__, file=sys.stderr)
        return 2
    folder = os.path.abspath(argv[2])
    os.makedirs(folder, exist_ok=True)
    try:
        if argv[1] == "stop":
            stop(folder)
            return 0
        # The layout of try's own cache, so XDG_CACHE_HOME=DIR/cache shares it with try.
        session = start(folder, options.get("--cache") or os.path.join(folder, "cache", "sfxpack"),
                        options.get("--probe"))
    except (SessionError, OSError, subprocess.SubprocessError) as error:
        # Nothing of a session that did not start is left running.
        print(f"wine-env: {error}", file=sys.stderr)
        stop(folder)
        return 1
    print(f"wine-env: display {session.display}, prefix {session.prefix}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
