#!/usr/bin/env bash
# Runs COMMAND in another Debian release, as that release's users would build and test:
# in a root of its own, made once by mmdebstrap and this checkout's scripts/bootstrap.sh
# and kept in ~/.cache/sfx-debian/CODENAME-KEY (KEY: the release's package list, the
# mirror and how the root is made, so a changed list makes a new root). The root enters
# the cache whole, by a rename. COMMAND runs there through bubblewrap (no root needed to
# enter it), as the same user, in the same folder and environment, with the checkout,
# /tmp and the current folder shared read-write and a /dev with its own pseudo-terminals
# and the machine's /dev/fuse.
#   scripts/in-release.sh [--share DIR]... CODENAME COMMAND [ARG...]
#   scripts/in-release.sh CODENAME --root     makes the root if need be and prints its folder
#     --share DIR   shares DIR read-write too (made if missing)
# Where CODENAME is this machine's own release it simply runs COMMAND. Status: COMMAND's,
# or 125 when the root cannot be made or entered (the reason on stderr).
#   SFX_DEBIAN_MIRROR   where the packages come from (default http://deb.debian.org/debian)
#   SFX_DEBIAN_CACHE    where the roots are kept (default ~/.cache/sfx-debian)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "in-release: $*" >&2; }
cannot() { say "$*"; exit 125; }
usage="usage: $0 [--share DIR]... CODENAME (COMMAND [ARG...] | --root)"
extra=()
while [ "${1:-}" = --share ]; do
  [ -n "${2:-}" ] || { echo "$usage (--share needs a folder)" >&2; exit 2; }
  mkdir -p "$2"
  extra+=("$(cd "$2" && pwd -P)")
  shift 2
done
codename=${1:?$usage}
shift
[ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
[[ $codename =~ ^[a-z]+$ ]] || { echo "$usage (not a release's codename: '$codename')" >&2; exit 2; }
packages=$("$root/scripts/bootstrap.sh" --list "$codename") || exit 2

own=$(. "${SFX_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
if [ "$codename" = "$own" ] && [ "$1" != --root ]; then
  exec "$@"
fi

mirror=${SFX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${SFX_DEBIAN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sfx-debian}
options=(--variant=minbase --architectures=amd64,i386 --include=ca-certificates --skip=cleanup/apt/lists)
key=$( { echo "$packages"; echo "$mirror"; echo "${options[*]}"; } | sha256sum | cut -c1-12)
release_root=$cache/$codename-$key
if [ ! -d "$release_root" ]; then
  command -v mmdebstrap >/dev/null || cannot "no mmdebstrap to make a $codename root (scripts/bootstrap.sh installs it)"
  mkdir -p "$cache"
  work=$(mktemp -d "$cache/.$codename.XXXXXX")
  # mmdebstrap mounts /proc, /sys and /dev/pts in the root while it works: never remove
  # across a mount, and let it unmount before we go.
  trap 'rm -rf --one-file-system "$work"' EXIT
  say "making a Debian $codename root in $release_root, once (about 10 minutes; log: $work/log while it runs)"
  security=${mirror%/debian}/debian-security
  # The release's own set-up installs the packages, as on a fresh machine of that release;
  # apt's lists stay, so that apt-get download works there (in-vm.sh fetches a kernel).
  mmdebstrap "${options[@]}" \
    --customize-hook="upload $root/scripts/bootstrap.sh /root/bootstrap.sh" \
    --customize-hook='chroot "$1" bash /root/bootstrap.sh && rm "$1/root/bootstrap.sh"' \
    "$codename" "$work/root" "deb $mirror $codename main" "deb $mirror $codename-updates main" \
    "deb $security $codename-security main" >"$work/log" 2>&1 &
  builder=$!
  trap 'say "interrupted; stopping mmdebstrap"; kill -INT "$builder" 2>/dev/null; wait "$builder"; exit 130' INT TERM HUP
  if ! wait "$builder"; then
    tail -n 20 "$work/log" >&2
    cannot "cannot make the Debian $codename root (mmdebstrap failed, above)"
  fi
  trap - INT TERM HUP
  # Another run may have made the same root meanwhile: then that one is kept.
  mv -T "$work/root" "$release_root" 2>/dev/null || [ -d "$release_root" ] ||
    cannot "cannot move the new root to $release_root"
  rm -rf --one-file-system "$work"
  trap - EXIT
  # Roots of older package lists are not used again.
  for old in "$cache/$codename"-*; do
    [ "$old" = "$release_root" ] || rm -rf --one-file-system "$old"
  done
  say "made $release_root"
fi
if [ "$1" = --root ]; then
  echo "$release_root"
  exit 0
fi

command -v bwrap >/dev/null || cannot "no bwrap to enter the $codename root (scripts/bootstrap.sh installs bubblewrap)"
shared=(--bind "$root" "$root" --bind /tmp /tmp)
for dir in "$(pwd -P)" "${extra[@]}"; do
  [ "$dir" = / ] || shared+=(--bind "$dir" "$dir")
done
[ ! -e /etc/resolv.conf ] || shared+=(--ro-bind /etc/resolv.conf /etc/resolv.conf)
# /dev/fuse too: `sfxpack try` lays its prefix with fuse-overlayfs where the kernel
# refuses an overlay, as in the VM.
# SFX_IN_RELEASE tells tests they run here, where no sandbox of their own nests.
exec bwrap --setenv SFX_IN_RELEASE "$codename" --bind "$release_root" / --proc /proc --dev /dev --dev-bind-try /dev/fuse /dev/fuse --tmpfs /dev/shm \
  "${shared[@]}" \
  --chdir "$(pwd -P)" --die-with-parent -- "$@"
