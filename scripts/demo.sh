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

if scripts/i386-refused.sh 2>/dev/null; then
  echo "demo: built the stub and the packer, but cannot install under Wine: $(scripts/i386-refused.sh 2>&1)" >&2
  exit 1
fi
session=build/demo-wine
trap 'scripts/wine-env.sh stop "$session" >/dev/null 2>&1 || true' EXIT
echo "Starting Wine on a virtual display ..."
scripts/wine-env.sh start "$session" >/dev/null
python3 tests/e2e/demo.py --win32 build/win32 --packer build/host/tools/sfxpack/sfxpack \
  --out build/demo --wine-dir "$session"
