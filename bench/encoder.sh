#!/usr/bin/env bash
# sfxpack itself against pigz on a deterministic, compressible 100 MiB input:
# headers of this machine, three parts text to one part shared libraries.
# `create --no-stub` at 1 and 2 threads, one plain zlib stream for its size, and
# `extract` and `verify` against pigz -d/-t (and the 4096-byte calls the installer
# makes, through bench/encoder_driver.cpp); then peak memory of create on a 1 GiB
# input at 2 threads. Builds the `bench` preset (Release, no sanitizers).
#   bench/encoder.sh [ROUNDS]    (median of ROUNDS interleaved runs per tool, default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target sfxpack encoder_driver zloop >/dev/null
bin=build/bench/bench
sfxpack=build/bench/tools/sfxpack/sfxpack
work=build/bench/encoder-data
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

input=$work/input.bin
python3 - "$input" <<'PY'
import os, sys
def files(root, keep):
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            if keep(name) and os.path.isfile(path) and not os.path.islink(path):
                yield path
def cycle(paths):
    while True:
        yield from paths
text = cycle(list(files("/usr/include", lambda n: n.endswith((".h", ".hpp")))))
libs = cycle([p for p in files("/usr/lib/x86_64-linux-gnu", lambda n: ".so" in n) if os.path.getsize(p) > 100_000])
size, out, written = 100 << 20, open(sys.argv[1], "wb"), 0
while written < size:
    for source, share in ((text, 3 << 20), (libs, 1 << 20)):
        added = 0
        while added < share and written < size:
            data = open(next(source), "rb").read()[: min(share - added, size - written)]
            out.write(data)
            added += len(data)
            written += len(data)
PY
size=$(stat -c %s "$input")
echo "input: $size bytes, sha256 $(sha256sum "$input" | cut -c1-16)"

names=("create -j1" "create -j2" "pigz -p1 -6 -z" "pigz -p2 -6 -z" "zlib, one stream"
       "extract" "extract, 4 KiB calls" "pigz -d -z" "verify" "pigz -t -z")
# Timed without a shell between, so that time's peak RSS is the tool's own.
timed() { /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" 2>"$work/err" || { cat "$work/err"; exit 1; }; }
# A bare package starts with its one entry's stream; pigz reads that stream alone.
stream() {
  head -c "$(python3 -c 'import sys; sys.path.insert(0, "tests/package"); import sfxformat as f
print(f.read_toc(open(sys.argv[1], "rb").read()).entries[0][3])' "$1")" "$1"
}
mkdir -p "$work/x"
run_tool() {
  case $1 in
    "create -j1") timed "$sfxpack" create -q --no-stub -j 1 -o "$work/j1.pkg" "$input" ;;
    "create -j2") timed "$sfxpack" create -q --no-stub -j 2 -o "$work/j2.pkg" "$input"
                  stream "$work/j2.pkg" >"$work/j2.zz" ;;
    "pigz -p1 -6 -z") timed pigz -p 1 -6 -z -c "$input" >"$work/p1.zz" ;;
    "pigz -p2 -6 -z") timed pigz -p 2 -6 -z -c "$input" >"$work/p2.zz" ;;
    "zlib, one stream") timed "$bin/zloop" deflate "$input" "$work/one.zz" ;;
    # Each writes a new file, as the previous round's output is removed untimed:
    # freeing 100 MiB of page cache is no part of inflating.
    "extract") rm -f "$work/x/input.bin"; timed "$sfxpack" extract -q "$work/j2.pkg" -C "$work/x" ;;
    "extract, 4 KiB calls") rm -f "$work/out4k.bin"; timed "$bin/encoder_driver" inflate "$work/j2.zz" "$size" "$work/out4k.bin" --plain ;;
    "pigz -d -z") rm -f "$work/pigz.out"; timed pigz -d -z -c "$work/j2.zz" >"$work/pigz.out" ;;
    "verify") timed "$sfxpack" verify -q "$work/j2.pkg" ;;
    "pigz -t -z") timed pigz -t -z "$work/j2.zz" ;;
  esac
}
declare -A runs
for round in $(seq "$rounds"); do
  for name in "${names[@]}"; do
    run_tool "$name"
    runs[$name]+="$(cat "$work/time");"
  done
  echo "round $round of $rounds done"
done
cmp "$work/j1.pkg" "$work/j2.pkg"
cmp "$work/x/input.bin" "$input"
cmp "$work/out4k.bin" "$input"
cmp "$work/pigz.out" "$input"

# Medians (and the best, which a passing load on the machine touches least) of wall
# time, CPU time (user + system) and peak RSS.
column() { tr ';' '\n' <<<"${runs[$1]}" | awk "NF{print $2}" | sort -g; }
median() { awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}'; }
declare -A wall best cpu rss
printf '%-22s %8s %8s %8s %10s\n' tool "wall s" "best s" "cpu s" "peak KiB"
for name in "${names[@]}"; do
  wall[$name]=$(column "$name" '$1' | median)
  best[$name]=$(column "$name" '$1' | head -1)
  cpu[$name]=$(column "$name" '$2 + $3' | median)
  rss[$name]=$(column "$name" '$4' | median)
  printf '%-22s %8.2f %8.2f %8.2f %10d\n' "$name" "${wall[$name]}" "${best[$name]}" "${cpu[$name]}" "${rss[$name]}"
done

# Peak memory does not grow with the input: 1 GiB (sparse, so quick to read) at 2 threads.
truncate -s 1G "$work/big.bin"
timed "$sfxpack" create -q --no-stub -j 2 -o "$work/big.pkg" "$work/big.bin"
read -r _ _ _ bigRss <"$work/time"

ratio() { awk "BEGIN{printf \"%.3f\", $1 / $2}"; }
echo "== ratios of medians (goal)"
echo "speed, -j2 over -j1:              $(ratio "${wall[create -j1]}" "${wall[create -j2]}")  (>= 1.8)"
echo "speed, -j2 over pigz -p2 -6 -z:   $(ratio "${wall[pigz -p2 -6 -z]}" "${wall[create -j2]}")  (>= 1.0)"
echo "speed, -j1 over pigz -p1 -6 -z:   $(ratio "${wall[pigz -p1 -6 -z]}" "${wall[create -j1]}")"
echo "size, stream over one zlib stream: $(ratio "$(stat -c %s "$work/j2.zz")" "$(stat -c %s "$work/one.zz")")  (<= 1.001)"
echo "size, stream over pigz -p2:        $(ratio "$(stat -c %s "$work/j2.zz")" "$(stat -c %s "$work/p2.zz")")"
echo "speed, extract over pigz -d:       $(ratio "${wall[pigz -d -z]}" "${wall[extract]}")  (>= 1.0)"
echo "speed, verify over pigz -t:        $(ratio "${wall[pigz -t -z]}" "${wall[verify]}")  (>= 1.0)"
echo "speed, large blocks over 4 KiB:    $(ratio "${wall[extract, 4 KiB calls]}" "${wall[extract]}")"
echo "best of each, -j2 over -j1:       $(ratio "${best[create -j1]}" "${best[create -j2]}"), -j2 over pigz -p2: $(ratio "${best[pigz -p2 -6 -z]}" "${best[create -j2]}")"
echo "peak memory, -j2 on 1 GiB:         $bigRss KiB  (<= 65536)"
echo "sizes: sfxpack stream $(stat -c %s "$work/j2.zz"), one stream $(stat -c %s "$work/one.zz"), pigz $(stat -c %s "$work/p2.zz") bytes"
