#!/usr/bin/env bash
# The releases we serve, in one place: each line "CODENAME VERSION SUFFIX", where SUFFIX
# goes after the version of the .deb built there (as Debian's own backports name theirs).
# A new release is a line here and its package names in scripts/bootstrap.sh.
#   releases.sh            every served release
#   releases.sh --own      this machine's line (fails, saying so, on a release not served)
#   releases.sh --other    the codenames of the others, one a line
set -euo pipefail
served="bookworm 12 +deb12
trixie 13 +deb13"
own=$(. "${SFX_OS_RELEASE:-/etc/os-release}" 2>/dev/null && echo "${VERSION_CODENAME:-}") || own=
line=$(grep "^$own " <<<"$served" || true)
case ${1:-} in
  "") echo "$served" ;;
  --own | --other)
    if [ -z "$own" ] || [ -z "$line" ]; then
      echo "releases: this machine runs ${own:-a release without a codename}; served are:" \
        "$(cut -d' ' -f1,2 <<<"$served" | sed 's/\(.*\) \(.*\)/Debian \2 (\1)/' | paste -sd, | sed 's/,/, /g')" >&2
      exit 1
    fi
    if [ "$1" = --own ]; then echo "$line"; else grep -v "^$own " <<<"$served" | cut -d' ' -f1; fi ;;
  *) echo "usage: releases.sh [--own | --other]" >&2; exit 2 ;;
esac
