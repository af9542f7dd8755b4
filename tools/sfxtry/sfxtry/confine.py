"""What a job does first in its sandbox, while it still holds the capabilities that
bubblewrap gave it in the sandbox's own user namespace: lays the try's writable layer
over the cached prefix, then gives up every capability for good, so that nothing it
starts can mount, unmount or regain them."""
import ctypes
import os
import shutil
import subprocess

from .session import SessionError

PR_SET_DUMPABLE = 4
PR_CAPBSET_DROP = 24
PR_SET_NO_NEW_PRIVS = 38
PR_CAP_AMBIENT = 47
PR_CAP_AMBIENT_CLEAR_ALL = 4
CAPABILITY_VERSION_3 = 0x20080522

_libc = ctypes.CDLL(None, use_errno=True)


def _check(result, what):
    if result != 0:
        error = ctypes.get_errno()
        raise OSError(error, f"{what}: {os.strerror(error)}")


def supports_user_xattrs(folder):
    """Whether the kernel's overlay can keep its marks in folder (an unprivileged overlay
    keeps them in user.* attributes)."""
    probe = os.path.join(folder, ".xattr-probe")
    try:
        with open(probe, "w"):
            pass
        os.setxattr(probe, "user.sfxtry", b"1")
        return True
    except OSError:
        return False
    finally:
        if os.path.exists(probe):
            os.remove(probe)


def overlay(lower, upper, work, merged):
    """Mounts lower under the writable upper at merged: the kernel's overlay where it
    lets us, else fuse-overlayfs. Returns which one."""
    for folder in (upper, work, merged):
        os.makedirs(folder, exist_ok=True)
    if supports_user_xattrs(upper):
        options = f"lowerdir={lower},upperdir={upper},workdir={work},userxattr".encode()
        if _libc.mount(b"overlay", merged.encode(), b"overlay", 0, options) == 0:
            return "overlayfs"
    if not shutil.which("fuse-overlayfs"):
        raise SessionError("the kernel refuses an overlay here and fuse-overlayfs is not installed "
                           "(on Debian: apt install fuse-overlayfs)")
    done = subprocess.run(["fuse-overlayfs", "-o", f"lowerdir={lower},upperdir={upper},workdir={work}", merged],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
    if done.returncode != 0:
        raise SessionError(f"fuse-overlayfs could not lay the try's layer over the prefix: "
                           f"{(done.stderr.strip().splitlines() or ['it said nothing'])[-1]}")
    return "fuse-overlayfs"


def capabilities():
    """The capability sets of this process, from /proc."""
    with open("/proc/self/status") as f:
        return {line.split(":")[0]: int(line.split()[1], 16) for line in f if line.startswith("Cap")}


def give_up_capabilities():
    """Drops every capability of this process and of all it will start, and makes it
    one that others of its user cannot look into (its status pipe is ours alone)."""
    with open("/proc/sys/kernel/cap_last_cap") as f:
        last = int(f.read())
    _check(_libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), "no new privileges")
    for cap in range(last + 1):
        _check(_libc.prctl(PR_CAPBSET_DROP, cap, 0, 0, 0), "dropping a capability from the bounding set")
    _check(_libc.prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0), "clearing ambient capabilities")
    header = (ctypes.c_uint32 * 2)(CAPABILITY_VERSION_3, 0)
    data = (ctypes.c_uint32 * 6)()
    _check(_libc.capset(header, data), "clearing capabilities")
    _check(_libc.prctl(PR_SET_DUMPABLE, 0, 0, 0, 0), "not dumpable")
    left = {name: value for name, value in capabilities().items() if value}
    if left:
        raise SessionError(f"capabilities are left after giving them up: {left}")
