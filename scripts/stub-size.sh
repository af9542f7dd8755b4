#!/usr/bin/env bash
# Prints the stub's file size and its size without the resource section, with the
# file size of every section. With --max, fails when the size without the resource
# section is above BYTES.
#   scripts/stub-size.sh [--max BYTES] [STUB]   (default: build/win32/src/app/sfxstub.exe)
set -euo pipefail
limit=
if [ "${1:-}" = --max ]; then
  limit=${2:?--max needs a number of bytes}
  shift 2
fi
stub=${1:-build/win32/src/app/sfxstub.exe}
/usr/bin/python3 - "$stub" "$limit" <<'PY'
import struct
import sys

path, limit = sys.argv[1], sys.argv[2]
if limit and not limit.isdigit():
    sys.exit(f"--max {limit}: not a number of bytes")
try:
    with open(path, "rb") as f:
        data = f.read()
except OSError as e:
    sys.exit(f"{path}: {e.strerror}")
pe = struct.unpack_from("<I", data, 0x3C)[0] if len(data) >= 0x40 else 0
if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0" or len(data) < pe + 24 + 96:
    sys.exit(f"{path}: not a PE image")
sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
headers = struct.unpack_from("<I", data, pe + 24 + 60)[0]  # SizeOfHeaders
table = pe + 24 + optional_size
rows, resources = [], 0
for i in range(sections):
    name, raw_size = struct.unpack_from("<8s8xI", data, table + 40 * i)
    name = name.rstrip(b"\0").decode(errors="replace")
    rows.append((name, raw_size))
    if name == ".rsrc":
        resources += raw_size
print(f"{path}")
print(f"  {'headers':<10}{headers:>10,}")
for name, raw_size in rows:
    print(f"  {name:<10}{raw_size:>10,}")
print(f"file size              {len(data):>10,} bytes ({len(data) / 1024:.1f} KiB)")
rest = len(data) - resources
print(f"without .rsrc          {rest:>10,} bytes ({rest / 1024:.1f} KiB)")
if limit and rest > int(limit):
    sys.exit(f"{path}: {rest:,} bytes without .rsrc, over the limit of {int(limit):,}")
PY
