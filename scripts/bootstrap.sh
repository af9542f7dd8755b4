#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: when everything is present it does nothing and touches no network.
set -euo pipefail

packages=(
  cmake ninja-build make g++ python3 time file
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev zlib1g-dev libboost-dev
  libgtest-dev googletest libbenchmark-dev pigz
  clang libclang-rt-14-dev
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick xdotool
  wixl wixl-data msitools
  osslsigncode openssl icoutils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

echo "bootstrap: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
