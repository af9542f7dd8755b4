#!/usr/bin/env python3
"""The stub's code is compiled without guards on function-local statics, which is safe
only for statics whose first use is known to come before the worker thread starts.
This lists the objects of the stub's libraries (built with the guards) that have such a
static, and fails unless they are exactly the ones that argument covers.
   check_stub_statics.py NM COVERED_OBJECTS LIBRARY...
COVERED_OBJECTS: comma-separated object names, e.g. ResourceManager.cpp.obj"""
import re
import subprocess

import stub_check


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
    return stub_check.report(failures, f"guarded statics only in {sorted(guarded)}")


if __name__ == "__main__":
    stub_check.run(lambda nm, covered, *libraries: main(nm, covered, libraries), __doc__, 3, at_least=True)
