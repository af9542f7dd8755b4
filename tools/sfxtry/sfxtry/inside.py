"""The jobs that run in try's sandbox (or, with --no-sandbox, as a plain child):
    python3 -m sfxtry.inside JOB
JOB is a JSON object: "kind" "boot" makes a fresh prefix; "trial" tries an installer
in a prefix laid over the cached one. Steps and the last word ("result" or "error")
go as JSON lines to the pipe JOB names ("status_fd")."""
import json
import os
import shutil
import signal
import subprocess
import sys
import traceback

from . import confine
from .sandbox import INSIDE
from .session import Display, SessionError, boot_prefix, stop_server
from .trial import Runner, Steps, TimedOut, Trial


class Stopped(BaseException):
    """The caller ended the job (SIGTERM): what it started ends first."""


class Channel:
    def __init__(self, fd):
        os.set_inheritable(fd, False)
        self.out = os.fdopen(fd, "w", buffering=1, encoding="utf-8")

    def send(self, message):
        self.out.write(json.dumps(message, ensure_ascii=False) + "\n")


def without_drive(prefix, letter):
    link = os.path.join(prefix, "dosdevices", letter + ":")
    if os.path.lexists(link):
        os.remove(link)


def boot(job, channel):
    if job["confined"]:
        confine.give_up_capabilities()
    display = Display(os.path.join(job["folder"], "xvfb.log"))
    try:
        boot_prefix(job["prefix"], display.name, os.path.join(job["folder"], "wineboot.log"), job["deadline"])
    finally:
        display.stop()
    # The prefix reaches the host's files through no drive: a try maps what it runs.
    without_drive(job["prefix"], "z")
    channel.send({"result": {"prefix": job["prefix"]}})


def lay_prefix(job, steps):
    """The try's prefix: the cached one under a layer of its own (confined), or a copy
    of it. Returns the prefix and how it was made."""
    with steps("prefix"):
        if job["confined"]:
            prefix = os.path.join(INSIDE, "prefix")
            how = confine.overlay(job["lower"], os.path.join(INSIDE, "layers", "upper"),
                                  os.path.join(INSIDE, "layers", "work"), prefix)
        else:
            prefix, how = os.path.join(job["folder"], "prefix"), "copy"
            subprocess.run(["cp", "-a", "--reflink=auto", job["lower"], prefix], check=True, capture_output=True,
                           timeout=max(1, steps.left("prefix")))
        without_drive(prefix, "z")  # a cache made by an older try may still have one
        without_drive(prefix, "d")
        os.symlink(job["drive_d"], os.path.join(prefix, "dosdevices", "d:"))
    return prefix, how


def trial(job, channel):
    record = Trial(job["installer"], job["update"])
    steps = Steps(record, channel.send, job["deadline"])
    try:
        prefix, how = lay_prefix(job, steps)
    except TimedOut as stop:
        record.time_out(stop.step)
        channel.send({"result": record.as_json()})
        return
    if job["confined"]:
        confine.give_up_capabilities()
    runner = Runner(prefix, r"D:\probe\sfxprobe.exe", "D:\\installer\\" + job["name"], job["folder"], steps)
    try:
        runner.run(record)
        if job["keep"]:
            keep(job, prefix)
    finally:
        # A sandbox ends all it holds when this process ends; a plain child cleans up.
        if not job["confined"] or job["keep"]:
            runner.close()
    channel.send({"result": dict(record.as_json(), prefix_layer=how)})


def keep(job, prefix):
    """Leaves a prefix in the kept folder that plain wine runs."""
    stop_server(prefix)
    if job["confined"]:
        target = os.path.join(job["folder"], "prefix")
        subprocess.run(["cp", "-a", prefix, target], check=True, capture_output=True, timeout=3600)
        prefix = target
    without_drive(prefix, "d")
    shutil.rmtree(os.path.join(job["folder"], "in"), ignore_errors=True)


def main(argv):
    job = json.loads(argv[1])
    channel = Channel(job.pop("status_fd"))
    channel.send({"started": True})

    def stop(signum, frame):
        for other in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(other, signal.SIG_IGN)
        raise Stopped()
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stop)
    try:
        (boot if job["kind"] == "boot" else trial)(job, channel)
    except Stopped:
        return 1
    except (SessionError, OSError, subprocess.SubprocessError) as error:
        channel.send({"error": str(error)})
    except Exception:  # a fault of ours: said as one, with its trace for the report
        channel.send({"internal": traceback.format_exc()})
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
