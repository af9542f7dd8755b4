#!/usr/bin/env bash
# Packing and extraction speed and memory of sfxpack against pigz, gzip and a
# plain 4 KiB zlib loop, measured side by side in one run on a deterministic
# 256 MiB payload of real binary data (this machine's system libraries), and the
# table-of-contents search. Builds the `bench` preset (Release, no sanitizers).
#   bench/run.sh [ROUNDS]    (best of ROUNDS runs per tool, default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
bin=build/bench
work=$bin/bench-data
rm -rf "$work"
mkdir -p "$work/out"

# Deterministic payload: the system libraries in name order, repeated up to 256 MiB.
payload=$work/payload.bin
find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -size +100k | LC_ALL=C sort >"$work/libs"
/usr/bin/python3 - "$work/libs" "$payload" <<'PY'
import sys
names = open(sys.argv[1]).read().split()
size, out = 256 << 20, open(sys.argv[2], "wb")
written = 0
while written < size:
    for name in names:
        data = open(name, "rb").read()[: size - written]
        out.write(data)
        written += len(data)
        if written >= size:
            break
PY
echo "payload: $(stat -c %s "$payload") bytes from $(wc -l <"$work/libs") libraries, sha256 $(sha256sum "$payload" | cut -c1-16)"

# Each tool runs ROUNDS times, the rounds interleaved so that a passing load on
# the machine hits every tool alike; the best wall time counts, with its peak RSS.
sfxpack=$bin/tools/sfxpack/sfxpack
names=(
  "sfxpack create" "pigz -p 1 -6 -z" "gzip -6" "zloop deflate (4 KiB)"
  "sfxpack extract" "zloop inflate (4 KiB)" "pigz -d -z" "sfxpack doing nothing"
)
# Timed without a shell between: time's peak RSS must be the tool's own.
timed() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" 2>"$work/err" || { cat "$work/err"; exit 1; }; }
run_tool() {
  case $1 in
    "sfxpack create") timed "$sfxpack" create -q --no-stub -o "$work/payload.pkg" "$payload" ;;
    "pigz -p 1 -6 -z") timed pigz -p 1 -6 -z -c "$payload" >"$work/payload.zz" ;;
    "gzip -6") timed gzip -6 -c "$payload" >"$work/payload.gz" ;;
    "zloop deflate (4 KiB)") timed "$bin/bench/zloop" deflate "$payload" "$work/zloop.zz" ;;
    "sfxpack extract") timed "$sfxpack" extract -q "$work/payload.pkg" -C "$work/out" ;;
    "zloop inflate (4 KiB)") timed "$bin/bench/zloop" inflate "$work/payload.pkg" 0 "$work/zloop.out" ;;
    "pigz -d -z") timed pigz -d -z -c "$work/payload.zz" >"$work/pigz.out" ;;
    "sfxpack doing nothing") timed "$sfxpack" --version >/dev/null ;;
  esac
}
declare -A seconds rss
for round in $(seq "$rounds"); do
  for name in "${names[@]}"; do
    run_tool "$name"
    read -r t m <"$work/time"
    if [ -z "${seconds[$name]:-}" ] || awk "BEGIN{exit !($t < ${seconds[$name]})}"; then
      seconds[$name]=$t
      rss[$name]=$m
    fi
  done
  echo "round $round of $rounds done"
done
cmp "$work/out/payload.bin" "$payload"
for name in "${names[@]}"; do
  printf '%-24s %8.2f s %9d KiB\n' "$name" "${seconds[$name]}" "${rss[$name]}"
done

echo "== table of contents search (64 KiB after the trailer)"
"$bin/bench/bench_toc" --benchmark_min_time=0.5 2>/dev/null | grep -E "^Read|^Benchmark|^---"

ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }
echo "== ratios (goal)"
echo "packing speed vs pigz -p 1 -6 -z:   $(ratio "${seconds[pigz -p 1 -6 -z]}" "${seconds[sfxpack create]}")  (>= 0.90)"
echo "packing speed vs gzip -6:           $(ratio "${seconds[gzip -6]}" "${seconds[sfxpack create]}")"
echo "extraction speed vs zlib 4 KiB loop: $(ratio "${seconds[zloop inflate (4 KiB)]}" "${seconds[sfxpack extract]}")  (>= 0.90)"
echo "extraction speed vs pigz -d:        $(ratio "${seconds[pigz -d -z]}" "${seconds[sfxpack extract]}")"
echo "extraction peak memory over idle:   $(( ${rss[sfxpack extract]} - ${rss[sfxpack doing nothing]} )) KiB  (<= 2048)"
echo "compressed: sfxpack $(stat -c %s "$work/payload.pkg"), pigz $(stat -c %s "$work/payload.zz"), gzip $(stat -c %s "$work/payload.gz") bytes"
rm -rf "$work"
