"""Runs a job of ours (sfxtry.inside) in a sandbox made with bubblewrap: the host's
files read-only, the user's home, /tmp and /run out of sight, writes only into the
folders the job names, no network, and processes of its own that end with it. Without
the sandbox (--no-sandbox) the same job runs as a plain child. Either way it reports
its steps and its result as JSON lines on a pipe of its own."""
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time

from .session import SessionError, last_line

# Out of sight in the sandbox (each an empty folder there), besides the user's home.
HIDDEN = ("/home", "/root", "/tmp", "/var/tmp", "/run", "/mnt", "/media", "/srv")
# Where the sandbox shows what the job reads: our Python package, the cached prefix
# (the overlay's lower layer), the overlay's own folders, and the programs Wine runs.
INSIDE = "/run/sfxtry"
# How long a job that has gone past its deadline gets to report before it is ended.
GRACE_S = 15
# What the sandbox's environment keeps of ours.
KEPT_ENV = ("HOME", "USER", "LOGNAME", "LANG", "LANGUAGE", "TZ")


class CannotConfine(SessionError):
    """The kernel or the container refuses the namespaces a sandbox needs."""


def package_folder():
    """The folder that holds the sfxtry package."""
    return os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def bwrap_version():
    try:
        out = subprocess.run(["bwrap", "--version"], capture_output=True, text=True, timeout=30).stdout.split()
    except (OSError, subprocess.TimeoutExpired):
        return None
    return out[-1] if out else None


def hidden(path):
    home = os.path.realpath(os.path.expanduser("~"))
    return any(path == h or path.startswith(h.rstrip("/") + "/") for h in HIDDEN + (home,))


def environment(tmp):
    env = {k: v for k, v in os.environ.items() if k in KEPT_ENV or k.startswith("LC_")}
    env.update(PATH="/usr/local/bin:/usr/bin:/bin", TMPDIR=tmp, PYTHONDONTWRITEBYTECODE="1")
    return env


class Sandbox:
    """What one sandbox shows: writable and read-only folders and files, each a
    {path inside: path outside}; the first writable one is the job's own folder."""

    def __init__(self, writable, readable):
        self.writable = {target: os.path.realpath(source) for target, source in writable.items()}
        self.readable = dict(readable)
        self.home = next(iter(self.writable))

    def command(self, argv, env):
        home = os.path.realpath(os.path.expanduser("~"))
        words = ["bwrap", "--unshare-user", "--unshare-pid", "--unshare-net", "--unshare-ipc", "--unshare-uts",
                 "--unshare-cgroup-try", "--die-with-parent", "--new-session", "--ro-bind", "/", "/"]
        for folder in sorted(set(HIDDEN + (home,))):
            if os.path.isdir(folder) and not os.path.islink(folder) and folder != "/":
                words += ["--tmpfs", folder]
        words += ["--proc", "/proc", "--dev", "/dev", "--dev-bind-try", "/dev/fuse", "/dev/fuse"]
        # Debian's python3 lives in /usr; one a version manager put in the home is shown.
        for prefix in {sys.prefix, sys.base_prefix}:
            if hidden(os.path.realpath(prefix)):
                words += ["--ro-bind", prefix, prefix]
        for target, source in self.writable.items():
            words += ["--bind", source, target]
        for target, source in self.readable.items():
            words += ["--ro-bind", source, target]
        # Only for the job's first moments: the overlay's mount, after which it gives
        # up every capability before anything else runs.
        words += ["--cap-add", "CAP_SYS_ADMIN", "--cap-add", "CAP_SETPCAP", "--clearenv"]
        for name, value in sorted(env.items()):
            words += ["--setenv", name, value]
        return words + ["--chdir", self.home, "--"] + argv


class Job:
    """One run of sfxtry.inside, confined or not: tell(message) hears its steps as they
    happen; run() returns its last message ("result" or "error") and ends everything it
    started, also when the caller is interrupted."""

    def __init__(self, job, sandbox, tell, deadline):
        self.job, self.sandbox, self.tell, self.deadline = job, sandbox, tell, deadline
        self.process = None
        self.started = False

    def run(self, stderr_path):
        read, write = os.pipe()
        job = dict(self.job, status_fd=write)
        argv = [sys.executable, "-m", "sfxtry.inside", json.dumps(job)]
        env = environment(os.path.join(self.job["folder"], "tmp"))
        env["PYTHONPATH"] = os.path.join(INSIDE, "python") if self.sandbox else package_folder()
        if self.sandbox:
            argv = self.sandbox.command(argv, env)
        try:
            with open(stderr_path, "ab") as stderr:
                self.process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                                stderr=stderr, pass_fds=(write,), start_new_session=True)
            os.close(write)
            write = None
            return self.listen(read)
        finally:
            if write is not None:
                os.close(write)
            os.close(read)
            self.end()

    def listen(self, read):
        last, buffer = None, b""
        while True:
            wait = self.deadline + GRACE_S - time.monotonic()
            if wait <= 0 or not select.select([read], [], [], wait)[0]:
                return None  # past its time: end() ends it
            chunk = os.read(read, 65536)
            if not chunk:
                return last
            buffer += chunk
            while b"\n" in buffer:
                line, buffer = buffer.split(b"\n", 1)
                message = json.loads(line)
                if message.get("started"):
                    self.started = True
                elif "step" in message:
                    self.tell(message)
                else:
                    last = message

    def end(self):
        """Ends the job and all it started: a sandbox ends with its first process; a job
        that is not confined cleans up on SIGTERM."""
        if not self.process or self.process.poll() is not None:
            return
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(timeout=30)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()


def run_job(job, sandbox, tell, deadline, stderr_path):
    """Runs job (a dict for sfxtry.inside) in sandbox (None: unconfined) and returns its
    last message."""
    runner = Job(job, sandbox, tell, deadline)
    message = runner.run(stderr_path)
    if sandbox and not runner.started:
        raise CannotConfine(last_line(stderr_path))
    return message


def remove_tree(folder):
    """Removes what a job left, the overlay's work folder too, which the kernel leaves
    without permissions."""
    if not os.path.lexists(folder):
        return
    for root, folders, _ in os.walk(folder):
        for name in folders:
            path = os.path.join(root, name)
            if not os.path.islink(path):
                os.chmod(path, 0o700)
    shutil.rmtree(folder, ignore_errors=True)
