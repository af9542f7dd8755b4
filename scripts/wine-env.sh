#!/usr/bin/env bash
# Starts or stops the Wine session of one build tree: a virtual X display (Xvfb),
# a fresh 32-bit Wine prefix and a persistent wineserver for that prefix only. The
# session code is the one `sfxpack try` ships (tools/sfxtry), through
# tests/support/wine_session.py: fresh prefixes are made once per Wine version into
# DIR/cache and copied.
#   wine-env.sh start DIR [--probe EXE]   (DIR is the session folder, e.g. build/win32/wine;
#                                          with the UI probe, the desktop stays up)
#   wine-env.sh stop DIR
# DIR/env holds the variables that scripts/wine-run.sh and the e2e tests source.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = start ] && why=$("$root/scripts/in-vm.sh" --needed); then
  echo "wine-env: no Wine session can start here ($why); run it inside scripts/in-vm.sh" >&2
  exit 1
fi
exec /usr/bin/python3 "$root/tests/support/wine_session.py" "$@"
