#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: when everything is present it does nothing and touches no network.
set -euo pipefail

packages=(
  cmake ninja-build make g++ python3 time file
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev zlib1g-dev libboost-dev
  dpkg-dev gpgv debian-archive-keyring debian-keyring  # the stub's zlib: Debian's verified source package
  libgtest-dev googletest libbenchmark-dev pigz
  clang libclang-rt-14-dev
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick xdotool
  wixl wixl-data msitools
  libmsi-dev libglib2.0-dev pkg-config  # the native packer reads installer databases with libmsi
  osslsigncode openssl icoutils
  man-db groff-base xz-utils  # the release tests render the man page and unpack the .deb
  locales fonts-ipafont-gothic  # Wine's UI language needs generated locales; Japanese texts need glyphs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Wine takes its UI language from LANG, but only for locales generated on this machine.
locales=(en_US.UTF-8 de_DE.UTF-8 fr_FR.UTF-8 fr_CA.UTF-8 ja_JP.UTF-8)
missing_locales() {
  local have l
  have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8$/utf8/')
  for l in "${locales[@]}"; do
    grep -qx "$(echo "$l" | tr 'A-Z' 'a-z' | sed 's/utf-8$/utf8/')" <<<"$have" || echo "$l"
  done
}

if [ ${#missing[@]} -eq 0 ] && [ -z "$(missing_locales)" ]; then
  exit 0
fi

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "bootstrap: installing ${missing[*]}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

todo=$(missing_locales)
if [ -n "$todo" ]; then
  echo "bootstrap: generating locales" $todo >&2
  for l in $todo; do
    # Uncomment the line in /etc/locale.gen, or add it when the file lacks it.
    if grep -q "^# *$l UTF-8\$" /etc/locale.gen; then
      $SUDO sed -i "s/^# *\($l UTF-8\)\$/\1/" /etc/locale.gen
    elif ! grep -q "^$l UTF-8\$" /etc/locale.gen; then
      echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  done
  $SUDO locale-gen >/dev/null
fi
