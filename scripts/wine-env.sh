#!/usr/bin/env bash
# Starts or stops the Wine session of one build tree: a virtual X display (Xvfb),
# a fresh 32-bit Wine prefix and a persistent wineserver for that prefix only.
#   wine-env.sh start DIR   (DIR is the session folder, e.g. build/win32/wine)
#   wine-env.sh stop DIR
# DIR/env holds the variables that scripts/wine-run.sh and the e2e tests source.
set -euo pipefail
cmd=${1:?start or stop}
dir=$(mkdir -p "${2:?session folder}" && cd "$2" && pwd)

stop() {
  if [ -f "$dir/env" ]; then
    # shellcheck disable=SC1091
    (. "$dir/env" && wineserver -k >/dev/null 2>&1 || true)
    (. "$dir/env" && wineserver -w >/dev/null 2>&1 || true)
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
  rm -f "$dir/env"
}

case "$cmd" in
  stop) stop ;;
  start)
    stop
    if "$(dirname "$0")/i386-refused.sh"; then echo "wine-env: no Wine session can start here" >&2; exit 1; fi
    rm -rf "$dir/prefix"
    # Let Xvfb pick a free display and tell us which (-displayfd).
    rm -f "$dir/display"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ac \
      3>"$dir/display" >"$dir/xvfb.log" 2>&1 </dev/null &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
    [ -s "$dir/display" ] || { echo "wine-env: Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    cat >"$dir/env" <<ENV
export DISPLAY=:$(tr -d '\n' <"$dir/display")
export WINEPREFIX="$dir/prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
ENV
    # shellcheck disable=SC1091
    . "$dir/env"
    wineboot -i >"$dir/wineboot.log" 2>&1
    # There is no window manager on Xvfb: a managed window that hides waits two seconds
    # for one to withdraw it, which would stretch every hide and close the tests measure.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # Keep one server alive for the whole run so every test starts quickly.
    setsid wineserver -p >/dev/null 2>&1 </dev/null &
    wineserver -w 2>/dev/null || true
    # A program that runs proves the prefix is usable.
    wine cmd /c exit 0 >/dev/null 2>&1 || { echo "wine-env: the prefix does not run programs" >&2; exit 1; }
    echo "wine-env: display $DISPLAY, prefix $WINEPREFIX"
    ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
