#!/usr/bin/env python3
"""Runs one whole-installer case in the test run's Wine session.
   run_case.py --list                  case names, each with the locks it needs
   run_case.py --config FILE CASE      runs CASE; exit status 0 when it passes"""
import json
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from cases import CASES, Skip  # noqa: E402
from harness import Case, toolkit  # noqa: E402


# The status CTest is told means a skip.
SKIPPED = 77


def main(argv):
    if argv[1:] == ["--list"]:
        for name, (_, locks) in CASES.items():
            print(" ".join((name,) + tuple(locks)))
        return 0
    if len(argv) != 4 or argv[1] != "--config" or argv[3] not in CASES:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[2]) as f:
        config = json.load(f)
    name = argv[3]
    session = os.environ.get("SFX_WINE_DIR") or os.path.join(os.path.dirname(config["work"]), "wine")
    wine = toolkit.Session.attach(session)
    start = time.monotonic()
    try:
        CASES[name][0](Case(config, wine, name))
    except Skip as reason:
        print(f"SKIP {name}: {reason}", file=sys.stderr)
        return SKIPPED
    except AssertionError as failure:
        print(f"FAIL {name}: {failure}", file=sys.stderr)
        return 1
    except Exception:  # a broken fixture is a failure too, with its trace
        traceback.print_exc()
        return 1
    print(f"ok {name} ({time.monotonic() - start:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
