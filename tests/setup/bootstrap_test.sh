#!/usr/bin/env bash
# The set-up on a mirror in mid-sync, with stand-ins for dpkg-query, dpkg, locale, sudo
# and apt-get on PATH: nothing is installed, every locale is there, and apt-get plays the
# scenario named by its row. Checks the exit status, the lines said and the apt calls.
#   bootstrap_test.sh BOOTSTRAP_SCRIPT
set -uo pipefail
bootstrap=${1:?usage: bootstrap_test.sh BOOTSTRAP_SCRIPT}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
bin=$root/bin
mkdir -p "$bin"
failures=0

stand_in() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$bin/$1" && chmod +x "$bin/$1"; }
stand_in dpkg-query 'exit 1'
stand_in dpkg '[ "$1" = --print-foreign-architectures ] && echo i386; exit 0'
stand_in locale 'printf "%s\n" en_US.utf8 de_DE.utf8 fr_FR.utf8 fr_CA.utf8 ja_JP.utf8'
stand_in sudo 'exec "$@"'
# apt-get: records its arguments; SCENARIO is "<update> <install> <install -t>", each
# ok, fail (a lost connection) or unmet (held broken packages).
stand_in apt-get '
echo "$*" >>"$CALLS"
read -r update first second <<<"$SCENARIO"
case "$*" in
  *update*) step=$update ;;
  *" -t "*) step=$second ;;
  *) step=$first ;;
esac
case $step in
  ok) echo "Setting up wine (8.0~repack-4) ..." ;;
  fail)
    echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  unmet)
    echo "The following packages have unmet dependencies:"
    echo " libwine:i386 : Depends: zlib1g:i386 (>= 1:1.2.0) but it is not installable"
    echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac'
printf 'ID=debian\nVERSION_CODENAME=trixie\n' >"$root/os-release"

# row NAME SCENARIO STATUS INSTALL_CALLS PATTERN...: runs the set-up and checks its status,
# the number of install calls, that each PATTERN is in what it said, and that every apt
# call retries downloads.
row() {
  local name=$1 scenario=$2 status=$3 installs=$4 out got pattern
  shift 4
  : >"$root/calls"
  out=$(PATH="$bin:$PATH" CALLS=$root/calls SCENARIO=$scenario SFX_OS_RELEASE=$root/os-release \
    "$bootstrap" 2>&1)
  got=$?
  fail() { echo "FAIL $name: $*"$'\n'"--- it said:"$'\n'"$out" >&2; failures=$((failures + 1)); }
  [ "$got" -eq "$status" ] || fail "exit $got, wanted $status"
  [ "$(grep -cE '(^| )install ' "$root/calls")" -eq "$installs" ] || fail "$(grep -cE '(^| )install ' "$root/calls") install calls, wanted $installs"
  grep -v -- '-o Acquire::Retries=3' "$root/calls" | grep -q . && fail "an apt call without retries"
  for pattern in "$@"; do
    grep -qF -- "$pattern" <<<"$out" || fail "no '$pattern'"
  done
}

row update_fails "fail ok ok" 0 1 \
  "warning: apt-get update failed; going on with the package indexes apt has" \
  "  E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
row unmet_then_main_suite "ok unmet ok" 0 2 \
  "unmet dependencies of libwine:i386 wine32:i386; trying again from trixie alone" "installed from trixie"
grep -q -- '-t trixie .*wine32:i386' "$root/calls" || { echo "FAIL unmet_then_main_suite: no install -t trixie of the list" >&2; failures=$((failures + 1)); }
row both_fail "fail unmet unmet" 1 2 \
  "could not install: libwine:i386 wine32:i386" "E: Unable to correct problems, you have held broken packages." \
  "apt-get install -t trixie libwine:i386 wine32:i386"
row lost_connection "ok fail ok" 1 1 \
  "could not install: cmake" "check the network and the apt sources"

# A release it does not serve: said, and apt is not asked.
printf 'ID=debian\nVERSION_CODENAME=forky\n' >"$root/os-release"
row unserved_release "ok ok ok" 1 0 "this is forky" "the set-up knows Debian 12 (bookworm) and 13 (trixie)"
[ -s "$root/calls" ] && { echo "FAIL unserved_release: apt was called" >&2; failures=$((failures + 1)); }

# Each release's list: its own extras, and no version in a name where Debian has one without.
for release in bookworm trixie; do
  list=$("$bootstrap" --list "$release") || { echo "FAIL list $release: refused" >&2; failures=$((failures + 1)); }
  versioned=$(grep -E -- '-[0-9]+(\.[0-9]+)?-dev$' <<<"$list" | tr '\n' ' ')
  [ -z "$versioned" ] || { echo "FAIL list $release: versioned names $versioned" >&2; failures=$((failures + 1)); }
  grep -qx libclang-rt-dev <<<"$list" || { echo "FAIL list $release: no libclang-rt-dev" >&2; failures=$((failures + 1)); }
done
grep -qx virtiofsd <<<"$("$bootstrap" --list trixie)" || { echo "FAIL list trixie: no virtiofsd" >&2; failures=$((failures + 1)); }
grep -qx virtiofsd <<<"$("$bootstrap" --list bookworm)" && { echo "FAIL list bookworm: virtiofsd is qemu's there" >&2; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "ok: update fails, unmet then main suite, both fail, lost connection, unserved release, lists"
exit $((failures > 0))
