#!/usr/bin/env bash
# Fetches a Debian source package and unpacks it into DEST/PACKAGE, for what the Windows
# tree compiles from source: zlib for the stub's own inflate, zopfli for sfxpack.exe's
# level 11 (mingw has neither as a Debian package of its own). apt checks the archive's signed Release file and, through it, the hashes
# of the .dsc and the tarballs; dpkg-source checks the uploader's signature on the .dsc.
# apt runs with a private source list, lists and cache under DEST: the system's apt
# state is neither read for sources nor changed. No root needed.
# Idempotent: when DEST/PACKAGE exists it does nothing and touches no network.
#   [SFX_DEBIAN_MIRROR=URL] scripts/fetch-debian-source.sh PACKAGE DEST   (default http://deb.debian.org/debian)
set -euo pipefail
usage="usage: fetch-debian-source.sh PACKAGE DEST"
package=${1:?$usage}
dest=${2:?$usage}
[[ $package =~ ^[a-z0-9][a-z0-9.+-]+$ ]] || { echo "$usage (not a package name: '$package')" >&2; exit 1; }
mirror=${SFX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The same sources on every release we build on (Debian 12's: zlib 1.2.13, zopfli 1.0.3),
# so that the stub's inflate and sfxpack.exe's zopfli do not change with the machine.
suite=bookworm
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

[ -d "$dest/$package" ] && exit 0

fail() {
  echo "fetch-debian-source: $*" >&2
  echo "fetch-debian-source: the Windows tree builds $package from Debian's $package source package; run" \
    "scripts/bootstrap.sh, make $mirror reachable, or pass" \
    "-DSFX_$(tr a-z.+- A-Z___ <<<"$package")_SOURCE_DIR=<an unpacked $package source> to cmake" >&2
  exit 1
}
for tool in apt-get dpkg-source gpgv; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/bootstrap.sh installs it)"
done
[ -r "$keyring" ] || fail "$keyring is missing (package debian-archive-keyring)"
[ -r /usr/share/keyrings/debian-keyring.gpg ] ||
  fail "Debian's developer keyring is missing (package debian-keyring): the .dsc cannot be verified"

mkdir -p "$dest"
work=$(mktemp -d "$dest/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
apt_dir=$work/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/preferences.d" "$apt_dir/lists/partial" \
  "$apt_dir/cache/archives/partial" "$work/download"
cat >"$apt_dir/sources.list.d/debian.sources" <<EOF
Types: deb-src
URIs: $mirror
Suites: $suite
Components: main
Signed-By: $keyring
EOF
apt_options=(
  -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o Dir::Etc::Preferences=/dev/null -o "Dir::Etc::PreferencesParts=$apt_dir/preferences.d"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=$(id -un)" -o Acquire::Languages=none -o Debug::NoLocking=1
  -o Acquire::Retries=3
)
log=$work/log
# A mirror in mid-sync may fail an index that the source does not need: only the
# download of the source decides, and a failed index is then a warning.
update_log=$work/update.log
apt-get -q "${apt_options[@]}" update >"$update_log" 2>&1 || true
if ! (cd "$work/download" && apt-get -q "${apt_options[@]}" source --download-only "$package") >"$log" 2>&1; then
  cat "$update_log" "$log" >&2
  compgen -G "$apt_dir/lists/*_Sources*" >/dev/null || fail "cannot read the $suite source index from $mirror"
  fail "cannot download the $package source package"
fi
if grep -qE '^(E|W): ' "$update_log"; then
  echo "fetch-debian-source: warning: some package indexes failed to download; the $package source was had all the same:" >&2
  grep -E '^(E|W): ' "$update_log" | sed 's/^/  /' >&2
fi
dsc=$(echo "$work"/download/"$package"_*.dsc)
[ -f "$dsc" ] || fail "apt-get source left no $package .dsc"
dpkg-source --require-valid-signature --require-strong-checksums -x "$dsc" "$work/$package" >"$log" 2>&1 ||
  { cat "$log" >&2; fail "cannot verify or unpack $(basename "$dsc")"; }
mv -T "$work/$package" "$dest/$package"
echo "fetch-debian-source: $(basename "$dsc" .dsc) unpacked into $dest/$package" >&2
