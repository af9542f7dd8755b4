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
root=$(cd "$(dirname "$0")/.." && pwd)
PYTHONPATH="$root/tests/support" /usr/bin/python3 - "$stub" "$limit" <<'PY'
import sys

from pe_image import PeError, PeImage

path, limit = sys.argv[1], sys.argv[2]
if limit and not limit.isdigit():
    sys.exit(f"--max {limit}: not a number of bytes")
try:
    image = PeImage.read(path)
except OSError as e:
    sys.exit(f"{path}: {e.strerror}")
except PeError as e:
    sys.exit(f"{path}: {e}")
rows = [("headers", image.size_of_headers)] + image.section_sizes()
resources = sum(size for name, size in image.section_sizes() if name == ".rsrc")
print(f"{path}")
for name, size in rows:
    print(f"  {name:<10}{size:>10,}")
size = len(image.data)
print(f"file size              {size:>10,} bytes ({size / 1024:.1f} KiB)")
rest = size - resources
print(f"without .rsrc          {rest:>10,} bytes ({rest / 1024:.1f} KiB)")
if limit and rest > int(limit):
    sys.exit(f"{path}: {rest:,} bytes without .rsrc, over the limit of {int(limit):,}")
PY
