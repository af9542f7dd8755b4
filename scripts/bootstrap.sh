#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need, by the
# names of the release it runs on (/etc/os-release): Debian 12 (bookworm) and 13 (trixie).
# Idempotent: when everything is present it does nothing and touches no network.
#   scripts/bootstrap.sh              install what is missing
#   scripts/bootstrap.sh --list [CODENAME]   print the packages of this (or that) release
# Rides over a package mirror in mid-sync: a failed index download is a warning, and an
# install that fails on unmet dependencies (amd64 libraries at security versions whose
# i386 index is missing) is tried once more from the release's own main suite.
# Asks dpkg-query, dpkg, apt-get and locale by name on PATH, so tests can stand in for them.
set -euo pipefail

say() { echo "bootstrap: $*" >&2; }
os_release=${SFX_OS_RELEASE:-/etc/os-release}
codename=$( (. "$os_release" 2>/dev/null && echo "${VERSION_CODENAME:-}") || true)
listing=
if [ "${1:-}" = --list ]; then
  listing=1
  codename=${2:-$codename}
fi

# Names that every served release shares; where Debian has a name without a version
# (libclang-rt-dev: the default clang's), that one.
packages=(
  cmake ninja-build make g++ python3 time file
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev zlib1g-dev libboost-dev
  libzopfli-dev  # create --level 11 (sfxpack.exe builds zopfli from its Debian source package)
  dpkg-dev gpgv debian-archive-keyring debian-keyring  # the stub's zlib: Debian's verified source package
  libgtest-dev googletest libbenchmark-dev pigz p7zip-full  # pigz, 7-Zip: compression peers in bench/
  clang libclang-rt-dev
  wine wine32:i386 wine64
  qemu-system-x86 busybox-static  # scripts/in-vm.sh: Wine's 32-bit side where the kernel refuses i386 programs
  mmdebstrap  # scripts/in-release.sh: the other release's root (entered with bubblewrap)
  xvfb xauth x11-utils imagemagick xdotool
  bubblewrap fuse-overlayfs  # sfxpack try confines what it runs; an overlay over the cached prefix
  wixl wixl-data msitools
  libmsi-dev libglib2.0-dev pkg-config  # the native packer reads installer databases with libmsi
  osslsigncode openssl icoutils
  man-db groff-base xz-utils  # the release tests render the man page and unpack the .deb
  locales fonts-ipafont-gothic  # Wine's UI language needs generated locales; Japanese texts need glyphs
)
# What each release names otherwise or lacks. A new release is a new row here.
case $codename in
  bookworm) ;;                     # virtiofsd ships in qemu-system-common
  trixie) packages+=(virtiofsd) ;;  # its own package since qemu 8
  *)
    say "this is ${codename:-a release without a codename} ($os_release); the set-up knows Debian 12 (bookworm) and 13 (trixie)"
    exit 1 ;;
esac
if [ -n "$listing" ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

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
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# apt's own error and warning lines, indented, from the last command's log.
apt_reasons() { grep -E '^(E|W): ' "$log" | sed 's/^/  /' >&2 || true; }

# The packages that apt names as the ones it cannot install: the subjects of its unmet
# dependency lines, and those it cannot locate or has no candidate for.
uninstallable() {
  {
    sed -n 's/^ \{1,\}\([^ ]\{1,\}\) : \(Pre\)\{0,1\}Depends: .*/\1/p; s/^ \{1,\}\([^ ]\{1,\}\) : \(Conflicts\|Breaks\): .*/\1/p' "$log"
    sed -n "s/^E: Unable to locate package \(.*\)/\1/p; s/^E: Package '\(.*\)' has no installation candidate/\1/p" "$log"
  } | sort -u | tr '\n' ' ' | sed 's/ $//'
}

install() {
  $SUDO apt-get install -y -q --no-install-recommends -o Acquire::Retries=3 "$@" "${missing[@]}" >"$log" 2>&1
}

if [ ${#missing[@]} -ne 0 ]; then
  say "installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! $SUDO apt-get update -qq -o Acquire::Retries=3 >"$log" 2>&1; then
    say "warning: apt-get update failed; going on with the package indexes apt has. apt said:"
    apt_reasons
  fi
  if ! install; then
    if grep -qE 'unmet dependencies|held broken packages|not installable|is not going to be installed' "$log"; then
      held=$(uninstallable)
      say "unmet dependencies${held:+ of $held}; trying again from $codename alone, which keeps amd64 and i386 at one version"
      install -t "$codename" || {
        apt_reasons
        failed=$(uninstallable)
        say "could not install: ${failed:-${missing[*]}}"
        say "try again once the mirror has finished syncing, or point apt at another mirror; 'apt-get install -t $codename ${failed:-<package>}' shows apt's whole reason"
        exit 1
      }
      say "installed from $codename"
    else
      apt_reasons
      failed=$(uninstallable)
      say "could not install: ${failed:-${missing[*]}}"
      say "check the network and the apt sources, then run scripts/bootstrap.sh again"
      exit 1
    fi
  fi
fi

todo=$(missing_locales)
if [ -n "$todo" ]; then
  say "generating locales" $todo
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
