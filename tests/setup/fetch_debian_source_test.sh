#!/usr/bin/env bash
# The set-up of the Windows tree's Debian sources, where it must not fetch or cannot: an
# unreachable mirror fails with a clear message and leaves nothing behind; an existing
# source is kept and no network is touched; a missing or bad argument gets the usage.
#   fetch_debian_source_test.sh FETCH_SCRIPT
set -uo pipefail
fetch=${1:?usage: fetch_debian_source_test.sh FETCH_SCRIPT}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
unreachable=http://127.0.0.1:9/debian  # the discard port: the connection is refused

# expect CASE RC PATTERN DEST [ARG...]: runs the set-up and checks its exit status and that
# its error output matches PATTERN (when not empty).
expect() {
  local name=$1 rc=$2 pattern=$3 dest=$4
  shift 4
  local err got
  err=$(SFX_DEBIAN_MIRROR=$unreachable "$fetch" "$@" 2>&1 >/dev/null)
  got=$?
  if [ "$got" -ne "$rc" ] || { [ -n "$pattern" ] && ! grep -q -- "$pattern" <<<"$err"; }; then
    echo "FAIL $name: exit $got (wanted $rc), output: $err" >&2
    failures=$((failures + 1))
  fi
  if [ -n "$dest" ] && [ -n "$(find "$dest" -name '.fetch.*' -print -quit 2>/dev/null)" ]; then
    echo "FAIL $name: left a temporary folder in $dest" >&2
    failures=$((failures + 1))
  fi
}

expect unreachable 1 "cannot read the bookworm source index from $unreachable" "$root/a" zopfli "$root/a"
[ -e "$root/a/zopfli" ] && { echo "FAIL unreachable: made $root/a/zopfli" >&2; failures=$((failures + 1)); }
expect "unreachable, the way around" 1 "pass -DSFX_ZOPFLI_SOURCE_DIR=<an unpacked zopfli source>" "$root/a" \
  zopfli "$root/a"

mkdir -p "$root/b/zlib" && echo kept >"$root/b/zlib/inflate.c"
expect fetched 0 "" "$root/b" zlib "$root/b"
[ "$(cat "$root/b/zlib/inflate.c")" = kept ] || { echo "FAIL fetched: the source was replaced" >&2; failures=$((failures + 1)); }

expect usage 1 "usage: fetch-debian-source.sh PACKAGE DEST" "" zlib
expect "not a package" 1 "not a package name: '../zlib'" "" ../zlib "$root/c"
[ -e "$root/c" ] && { echo "FAIL not a package: made $root/c" >&2; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "ok: unreachable mirror, existing source, usage, bad package name"
exit $((failures > 0))
