#!/usr/bin/env bash
# Everything the tests need, from a fresh Debian 12 machine: installs the packages,
# builds the host tree (sanitizers, fuzz targets) and the Windows tree, and runs every
# tier: host unit tests, fuzz runs, Windows unit tests under Wine, whole installers
# under Wine on Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
scripts/bootstrap.sh

echo "== host build (clang, ASan/UBSan, libFuzzer)"
cmake --preset host >/dev/null
cmake --build --preset host
echo "== host tests and fuzz runs"
ctest --preset host -j2

echo "== Windows build (mingw-w64, i686)"
cmake --preset win32 >/dev/null
cmake --build --preset win32
# Wine's 32-bit side runs only where the kernel runs i386 programs; elsewhere the whole
# tier runs in one VM (one boot, one Wine session), with the same tests and assertions.
if why=$(scripts/i386-refused.sh 2>&1); then
  echo "== Windows tests and whole installers under Wine, in a VM ($why)"
else
  echo "== Windows tests and whole installers under Wine"
fi
scripts/in-vm.sh --timeout 3600 ctest --preset win32 -j2

echo "== all tiers passed in $(( $(date +%s) - start )) s"
