#!/usr/bin/env python3
"""Runs the asset generator into a scratch folder and compares with the committed files.

    check_assets.py make_assets.py ASSETS_DIR
"""
import filecmp
import subprocess
import sys
import tempfile
from pathlib import Path


def main():
    generator, committed = Path(sys.argv[1]), Path(sys.argv[2])
    names = sorted(p.name for p in committed.iterdir() if p.is_file())
    if not names:
        print(f"no assets in {committed}")
        return 1
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([sys.executable, str(generator), "--out", scratch], check=True)
        drawn = sorted(p.name for p in Path(scratch).iterdir())
        if drawn != names:
            print(f"generator writes {drawn}, the repository holds {names}")
            return 1
        differ = [n for n in names if not filecmp.cmp(committed / n, Path(scratch) / n, shallow=False)]
    if differ:
        print("differ from what the generator draws:", ", ".join(differ))
        return 1
    print("identical:", ", ".join(names))
    return 0


if __name__ == "__main__":
    sys.exit(main())
