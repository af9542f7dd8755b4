#!/usr/bin/env python3
"""The stub as Windows' loader sees it, read with binutils' objdump: a 32-bit GUI
program with ASLR and DEP, importing only DLLs that every Windows has, and not
importing what it must look up because older systems lack it.
   check_stub_image.py OBJDUMP STUB"""
import re
import subprocess

import stub_check

ALLOWED = {"kernel32.dll", "user32.dll", "comctl32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
           "ole32.dll", "msvcrt.dll"}
DYNAMIC_BASE, NX_COMPAT = 0x0040, 0x0100
# Looked up at run time: an import of it would keep the stub from starting at all there.
LOOKED_UP = {"SetDefaultDllDirectories", "GetUserDefaultUILanguage", "GetSystemDefaultUILanguage"}


def main(objdump, stub):
    headers = subprocess.run([objdump, "-p", stub], check=True, capture_output=True, text=True).stdout
    failures = []
    if "file format pei-i386" not in headers:
        failures.append("not an i386 PE image")
    subsystem = re.search(r"^Subsystem\s+([0-9a-f]+)", headers, re.M)
    if not subsystem or int(subsystem.group(1), 16) != 2:
        failures.append(f"subsystem {subsystem.group(1) if subsystem else '?'}, not Windows GUI (2)")
    flags = re.search(r"^DllCharacteristics\s+([0-9a-f]+)", headers, re.M)
    flags = int(flags.group(1), 16) if flags else 0
    if not flags & DYNAMIC_BASE or not flags & NX_COMPAT:
        failures.append(f"DllCharacteristics {flags:#06x} lacks DYNAMIC_BASE or NX_COMPAT")
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    if not dlls:
        failures.append("no imports found")
    if dlls - ALLOWED:
        failures.append(f"imports {sorted(dlls - ALLOWED)}, beyond {sorted(ALLOWED)}")
    functions = set(re.findall(r"^\s*[0-9a-f]+\s+\d+\s+(\w+)\s*$", headers, re.M))
    if not functions:
        failures.append("no imported functions found")
    if functions & LOOKED_UP:
        failures.append(f"imports {sorted(functions & LOOKED_UP)}, which older systems lack")
    return stub_check.report([f"{stub}: {failure}" for failure in failures],
                             f"i386 GUI, DllCharacteristics {flags:#06x}, imports {sorted(dlls)}")


if __name__ == "__main__":
    stub_check.run(main, __doc__, 2)
