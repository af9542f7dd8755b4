"""Fresh Wine prefixes, one per Wine version, made once with wineboot (in a sandbox of
their own, like everything try runs) and never written again: a try lays its own layer
over one. A prefix enters the cache whole, by one rename, so two first runs at once each
make one and the first rename wins; the other is thrown away."""
import os
import re
import tempfile
import time

from .sandbox import INSIDE, Sandbox, package_folder, remove_tree, run_job
from .session import SessionError, last_line, wine_version
from .trial import TimedOut

# The note of a first run, which spends a minute or so on the prefix.
FIRST_RUN = "first run: making a fresh prefix, about a minute"


class PrefixCache:
    # Cached prefixes without a drive for the host's root; those of older tries had one.
    LAYOUT = "nodrive"

    def __init__(self, root):
        self.root = root
        slug = re.sub(r"[^A-Za-z0-9.+-]+", "_", wine_version())
        self.path = os.path.join(root, f"prefix-{slug}-win32-{self.LAYOUT}")

    def ready(self):
        return os.path.isdir(os.path.join(self.path, "drive_c"))

    def ensure(self, confine, tell, deadline):
        """The cached prefix, made first when there is none; tell hears the step."""
        if self.ready():
            return self.path
        os.makedirs(self.root, exist_ok=True)
        tell({"step": "prefix", "note": FIRST_RUN})
        start = time.monotonic()
        building = os.path.realpath(tempfile.mkdtemp(prefix=".building-", dir=self.root))
        try:
            prefix = os.path.join(building, "prefix")
            job = {"kind": "boot", "prefix": prefix, "folder": building, "confined": confine, "deadline": deadline}
            os.makedirs(os.path.join(building, "tmp"))
            sandbox = Sandbox({building: building}, {os.path.join(INSIDE, "python"): package_folder()}) \
                if confine else None
            said = run_job(job, sandbox, tell, deadline, os.path.join(building, "job.log")) or {}
            if "result" not in said:
                if time.monotonic() >= deadline:
                    raise TimedOut("prefix")
                raise SessionError(said.get("error") or said.get("internal") or
                                   f"wineboot's job ended without a word ({last_line(os.path.join(building, 'job.log'))})")
            try:
                os.rename(prefix, self.path)
            except OSError:
                if not self.ready():
                    raise
        finally:
            remove_tree(building)
        tell({"step": "prefix", "seconds": round(time.monotonic() - start, 2), "part": True})
        return self.path
