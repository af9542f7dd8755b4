#!/usr/bin/env bash
# Runs a Windows program in the build tree's Wine session (see wine-env.sh) and
# returns its exit code. CTest uses it as the cross-compiling emulator.
set -eu
dir=${SFX_WINE_DIR:?SFX_WINE_DIR names the Wine session folder}
if [ ! -f "$dir/env" ]; then
  echo "wine-run: no Wine session in $dir (run: scripts/wine-env.sh start $dir)" >&2
  exit 125
fi
# shellcheck disable=SC1091
. "$dir/env"
# Debian 13's Wine 10 aborts at its start whenever TMPDIR is set (see tools/sfxtry's session.py).
unset TMPDIR
exec wine "$@"
