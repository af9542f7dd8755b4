"""The Wine session of a test run, on the session code that `sfxpack try` ships: a
display, a prefix copied once from try's cache of fresh ones (with a Z: drive for the
host's root, which the tests reach their files through), and its wineserver, started
and stopped by CTest's fixtures around the Windows tests.

    wine_session.py start DIR [--cache DIR] [--probe EXE]   a session that outlives this
    wine_session.py stop DIR                                process, described by DIR/env;
                                                            with the probe, its desktop stays up"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "sfxtry"))

from sfxtry.prefixes import PrefixCache  # noqa: E402
from sfxtry.session import BASE_ENV, Display, Session, SessionError, stop_pid, stop_server  # noqa: E402


class TestSession(Session):
    """A session of the tests: attached to from its folder, with the registry at hand."""

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


def start(folder, cache_root, probe=None):
    """A display, a fresh prefix in folder/prefix and its server (and, given the probe,
    its desktop), left running and described by folder/env (for scripts/wine-run.sh
    and the tests)."""
    stop(folder)
    subprocess.run(["rm", "-rf", os.path.join(folder, "prefix")], check=True)
    cache = PrefixCache(cache_root)
    cache.ensure(True, lambda message: None, time.monotonic() + 1800)
    subprocess.run(["cp", "-a", "--reflink=auto", cache.path, os.path.join(folder, "prefix")], check=True,
                   capture_output=True, timeout=600)
    os.symlink("/", os.path.join(folder, "prefix", "dosdevices", "z:"))
    display = Display(os.path.join(folder, "xvfb.log"))
    with open(os.path.join(folder, "xvfb.pid"), "w") as f:
        f.write(f"{display.pid}\n")
    session = TestSession(os.path.join(folder, "prefix"), display.name)
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
        stop_server(TestSession.attach(folder).prefix)
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
