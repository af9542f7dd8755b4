#!/usr/bin/env python3
"""The stub as Windows' loader sees it, read from its bytes (tests/support/pe_image.py):
a 32-bit GUI program with ASLR and DEP, importing only DLLs that every Windows has, and
not importing what it must look up because older systems lack it.
   check_stub_image.py STUB"""
import os
import sys

import stub_check

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from pe_image import I386, PeError, PeImage  # noqa: E402

ALLOWED = {"kernel32.dll", "user32.dll", "comctl32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
           "ole32.dll", "msvcrt.dll"}
GUI = 2
DYNAMIC_BASE, NX_COMPAT = 0x0040, 0x0100
# Looked up at run time: an import of it would keep the stub from starting at all there.
LOOKED_UP = {"SetDefaultDllDirectories", "GetUserDefaultUILanguage", "GetSystemDefaultUILanguage"}


def main(stub):
    try:
        image = PeImage.read(stub)
    except (OSError, PeError) as e:
        return stub_check.report([f"{stub}: {e}"], "")
    failures = []
    if image.machine != I386:
        failures.append(f"machine {image.machine:#x}, not i386 ({I386:#x})")
    if image.subsystem != GUI:
        failures.append(f"subsystem {image.subsystem}, not Windows GUI ({GUI})")
    flags = image.dll_characteristics
    if not flags & DYNAMIC_BASE or not flags & NX_COMPAT:
        failures.append(f"DllCharacteristics {flags:#06x} lacks DYNAMIC_BASE or NX_COMPAT")
    dlls = {name.lower() for name in image.imports}
    if not dlls:
        failures.append("no imports found")
    if dlls - ALLOWED:
        failures.append(f"imports {sorted(dlls - ALLOWED)}, beyond {sorted(ALLOWED)}")
    functions = {function for names in image.imports.values() for function in names}
    if not functions:
        failures.append("no imported functions found")
    if functions & LOOKED_UP:
        failures.append(f"imports {sorted(functions & LOOKED_UP)}, which older systems lack")
    return stub_check.report([f"{stub}: {failure}" for failure in failures],
                             f"i386 GUI, DllCharacteristics {flags:#06x}, imports {sorted(dlls)}, "
                             f"{len(functions)} functions")


if __name__ == "__main__":
    stub_check.run(main, __doc__, 1)
