#!/usr/bin/env python3
"""The stub's code is compiled without guards on function-local statics, which is safe
only for statics whose first use is known to come before the worker thread starts.
This lists the objects of the stub's libraries (built with the guards) that have such a
static, and fails unless they are exactly the ones that argument covers.
   check_stub_statics.py NM COVERED_OBJECTS LIBRARY...
COVERED_OBJECTS: comma-separated object names, e.g. ResourceManager.cpp.obj"""
import re
import subprocess
import sys


def main(nm, covered, libraries):
    covered = set(covered.split(","))
    symbols = subprocess.run([nm, "-A", *libraries], check=True, capture_output=True, text=True).stdout
    guarded = {member for member in re.findall(r"^[^:]+:([^:]+):\s+U _+cxa_guard_acquire$", symbols, re.M)}
    failures = []
    if guarded - covered:
        failures.append(f"{sorted(guarded - covered)} have function-local statics that the stub initialises "
                        "without a guard: show that each is first used before the worker starts, then "
                        "list the object in tests/app/CMakeLists.txt")
    if covered - guarded:
        failures.append(f"{sorted(covered - guarded)} no longer have a guarded static: take them off the list")
    for failure in failures:
        print(f"FAIL: {failure}", file=sys.stderr)
    if not failures:
        print(f"ok: guarded statics only in {sorted(guarded)}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
