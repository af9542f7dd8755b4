#!/usr/bin/env python3
"""Seed corpus for the fuzz targets: small valid packages and the hostile corpus.

    make_seeds.py OUTDIR"""

import os
import subprocess
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "package"))
import sfxformat as fmt  # noqa: E402

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
prefix = b"MZ" + b"\0" * 598
seeds = {
    "one": fmt.build([fmt.Entry("Setup.msi", b"hello " * 300)], prefix),
    "three": fmt.build([fmt.Entry("a.txt", b"a" * 1000), fmt.Entry("b.bin", bytes(range(256)) * 4),
                        fmt.Entry("c", b"")], prefix),
    "suffix": fmt.build([fmt.Entry("Setup.msi", b"data" * 100)], prefix, suffix=b"\0" * 7 + b"\x55" * 900),
    "stored": fmt.build([fmt.Entry("s.bin", stream=zlib.compress(bytes(range(256)) * 2, 0), size=512)], prefix),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
hostile = os.path.join(out, "hostile")
subprocess.run([sys.executable, os.path.join(here, "..", "tests", "package", "make_hostile.py"), hostile],
               check=True)
# Keep the seeds small: the big ones only slow each run down.
for name in os.listdir(hostile):
    path = os.path.join(hostile, name)
    if name.endswith(".bin") and os.path.getsize(path) <= 16384:
        os.replace(path, os.path.join(out, "hostile-" + name))
for name in os.listdir(hostile):
    os.remove(os.path.join(hostile, name))
os.rmdir(hostile)
