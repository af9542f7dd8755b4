#!/usr/bin/env bash
# The main job in one command: set up the machine, build everything, make a sample
# Setup.msi with wixl, pack it into CorvellaSetup.exe with sfxpack, install it under
# Wine on a virtual display, and say where Corvella went, that it started, and how the
# installer ended. Leaves build/demo/{Setup.msi,CorvellaSetup.exe,progress.png}.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
mkdir -p build
log=build/demo-build.log
echo "Building the Windows stub and the Linux packer (log: $log) ..."
{
  cmake --preset win32 && cmake --build --preset win32 &&
    cmake --preset host && cmake --build --preset host --target sfxpack
} >"$log" 2>&1 || { tail -n 30 "$log"; echo "demo: the build failed, see $log" >&2; exit 1; }

# Wine's part runs where Wine's 32-bit side works: here, or in a VM where this kernel
# refuses 32-bit programs (scripts/in-vm.sh decides, and says so).
scripts/in-vm.sh bash -c '
  session=build/demo-wine
  trap "scripts/wine-env.sh stop $session >/dev/null 2>&1 || true" EXIT
  echo "Starting Wine on a virtual display ..."
  scripts/wine-env.sh start "$session" --probe build/win32/tools/probe/sfxprobe.exe >/dev/null
  /usr/bin/python3 tests/e2e/demo.py --win32 build/win32 --packer build/host/tools/sfxpack/sfxpack \
    --out build/demo --wine-dir "$session"'
