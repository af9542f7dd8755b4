#!/usr/bin/env bash
# Builds a release from clean trees and writes it to dist/:
#   sfxpack_<version>+deb<N>_<arch>.deb   for each served release (scripts/releases.sh),
#                                  built in that release's root (scripts/in-release.sh;
#                                  this machine's own release natively): sfxpack, its
#                                  default stub, try's UI probe and Python package, manual
#                                  page, bash completion; dependencies from dpkg-shlibdeps
#   sfxpack-<version>-win32.zip    sfxpack.exe, sfxstub.exe, sfxprobe.exe, README.md, LICENSE.txt,
#                                  zopfli-LICENSE.txt (sfxpack.exe carries zopfli)
#   SHA256SUMS                     of them all
# The Windows tree is built once, here; every .deb carries the same stub and probe.
# Every time stamp comes from SOURCE_DATE_EPOCH (default: the time of the last commit),
# so two runs on one commit write the same bytes, in any folder.
# SFX_OTHER_RELEASE=none builds the .deb of this machine's release only.
#   scripts/release.sh [--build DIR] [--dist DIR]
#     --build DIR  where the trees go: DIR/release-win32, DIR/release-CODENAME (default: build)
#     --dist DIR   where the release goes (default: dist); replaced only when complete
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; }
build=build
dist=dist
while [ $# -gt 0 ]; do
  case $1 in
    --build | --dist)
      [ $# -ge 2 ] && [ -n "$2" ] || { echo "release: $1 needs a folder" >&2; exit 2; }
      if [ "$1" = --build ]; then build=$2; else dist=$2; fi
      shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "release: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
case $build in /*) ;; *) build=$root/$build ;; esac
case $dist in /*) ;; *) dist=$root/$dist ;; esac
if [ -e "$dist" ] && [ ! -d "$dist" ]; then
  echo "release: $dist exists and is not a folder" >&2
  exit 2
fi

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "release: not a git checkout: set SOURCE_DATE_EPOCH" >&2; exit 2; }
fi
case $SOURCE_DATE_EPOCH in
  *[!0-9]*) echo "release: SOURCE_DATE_EPOCH must be a number of seconds, not '$SOURCE_DATE_EPOCH'" >&2; exit 2 ;;
esac
export SOURCE_DATE_EPOCH
scripts/bootstrap.sh
# Locale and umask reach file modes and sort orders.
export LC_ALL=C.UTF-8 TZ=UTC
umask 022

# The new release is assembled beside the old one and swapped in when whole.
mkdir -p "$(dirname "$dist")"
work=$(mktemp -d "$dist.new.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM HUP

win=$build/release-win32
log=$build/release.log
mkdir -p "$build"
releases=$(scripts/releases.sh --own | cut -d' ' -f1)
[ "${SFX_OTHER_RELEASE:-}" = none ] || releases+=" $(scripts/releases.sh --other | paste -sd' ')"
echo "release: building $win and the native trees of $releases (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, log: $log)"
rm -rf "$win"
failed() { tail -n 30 "$log" >&2; echo "release: the build failed$1" >&2; exit 1; }
{ cmake --preset release-win32 -B "$win" && cmake --build "$win"; } >"$log" 2>&1 || failed ""
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
mkdir "$work/out"
for codename in $releases; do
  host=$build/release-$codename
  rm -rf "$host"
  suffix=$(scripts/releases.sh | sed -n "s/^$codename [^ ]* //p")
  # shellcheck disable=SC2016
  scripts/in-release.sh --share "$build" "$codename" bash -c 'cmake --preset release -B "$1" -DSFX_DEB_SUFFIX="$2" \
    -DSFX_STUB="$3/src/app/sfxstub.exe" -DSFX_PROBE="$3/tools/probe/sfxprobe.exe" && cmake --build "$1" &&
    cd "$1" && cpack' _ "$host" "$suffix" "$win" >>"$log" 2>&1 || failed " (Debian $codename)"
  cp "$host"/sfxpack_"$version$suffix"_*.deb "$work/out/"
done

# The zip: one folder, entries sorted, every time the same.
folder=sfxpack-$version-win32
cmake --install "$win" --prefix "$work/$folder" >>"$log"
/usr/bin/python3 - "$work" "$folder" "$work/out/$folder.zip" <<'PY'
import os, sys, time, zipfile
work, folder, out = sys.argv[1:]
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]  # zip starts in 1980
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in sorted(os.listdir(os.path.join(work, folder))):
        with open(os.path.join(work, folder, name), "rb") as f:
            data = f.read()
        info = zipfile.ZipInfo(f"{folder}/{name}", stamp)
        info.create_system = 3  # Unix, so that the modes below count
        info.external_attr = (0o100755 if name.endswith(".exe") else 0o100644) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data, compresslevel=9)
PY
(cd "$work/out" && sha256sum -- *.deb *.zip >SHA256SUMS)
touch -d "@$SOURCE_DATE_EPOCH" "$work/out"/*

if [ -e "$dist" ]; then mv "$dist" "$work/old"; fi
mv "$work/out" "$dist"
echo "release: $dist"
(cd "$dist" && ls -l -- *)
