#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a fresh seed corpus. A crash, leak,
# time-out or memory blow-up makes libFuzzer, and so this script, fail.
#   run-fuzzer.sh FUZZER WORKDIR [SECONDS]
set -euo pipefail
fuzzer=$1
work=$2
seconds=${3:-30}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/corpus" "$work/seeds" "$work/tmp"
/usr/bin/python3 "$here/make_seeds.py" "$work/seeds"
export TMPDIR="$work/tmp"
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 -max_len=16384 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$work/seeds" >"$work/log" 2>&1 || {
  tail -60 "$work/log"
  exit 1
}
grep -E "^Done [0-9]+ runs|stat::number_of_executed_units" "$work/log" || tail -5 "$work/log"
