#!/usr/bin/env bash
# sfxpack itself against pigz on a deterministic, compressible 100 MiB input:
# headers of this machine, three parts text to one part shared libraries.
# `create --no-stub` at 1 and 2 threads, one plain zlib stream for its size, and
# `extract` and `verify` against pigz -d/-t (and the 4096-byte calls the installer
# makes, through bench/encoder_driver.cpp); then peak memory of create on a 1 GiB
# input at 2 threads. Then level 11 (zopfli) on 10 MB of this machine's shared
# libraries: size and time against pigz -11 and 7-Zip's zip at -mx=9, the same bytes on
# 1, 2 and 3 threads, and peak memory on that input and on ten times it. Builds the
# `bench` preset (Release, no sanitizers).
#   bench/encoder.sh [ROUNDS [ROUNDS11]]    (median of ROUNDS interleaved runs per tool,
#                                            default 5; of ROUNDS11 at level 11, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
rounds11=${2:-3}
command -v 7z >/dev/null || { echo "encoder.sh: 7z is missing (scripts/bootstrap.sh installs p7zip-full)" >&2; exit 1; }
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target sfxpack encoder_driver zloop >/dev/null
bin=build/bench/bench
sfxpack=build/bench/tools/sfxpack/sfxpack
work=build/bench/encoder-data
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

input=$work/input.bin
/usr/bin/python3 - "$input" <<'PY'
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
  head -c "$(/usr/bin/python3 -c 'import sys; sys.path.insert(0, "tests/package"); import sfxformat as f
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
    "level 11 -j1") timed "$sfxpack" create -q --no-stub --level 11 -j 1 -o "$work/z1.pkg" "$libs" ;;
    "level 11 -j2") timed "$sfxpack" create -q --no-stub --level 11 -j 2 -o "$work/z2.pkg" "$libs"
                    stream "$work/z2.pkg" >"$work/z2.zz" ;;
    "pigz -11 -p2 -z") timed pigz -11 -p 2 -z -c "$libs" >"$work/pz.zz" ;;
    "7z zip -mx=9") rm -f "$work/7z.zip"; timed 7z a -bd -bso0 -tzip -mx=9 "$work/7z.zip" "$libs" ;;
    "level 6 -j2, libs") timed "$sfxpack" create -q --no-stub -j 2 -o "$work/l6.pkg" "$libs"
                         stream "$work/l6.pkg" >"$work/l6.zz" ;;
  esac
}
declare -A runs
# measure WHAT COUNT NAME...: COUNT rounds of every named tool, interleaved.
measure() {
  local what=$1 count=$2 round name
  shift 2
  for round in $(seq "$count"); do
    for name in "$@"; do
      run_tool "$name"
      runs[$name]+="$(cat "$work/time");"
    done
    echo "$what: round $round of $count done"
  done
}
measure "level 6" "$rounds" "${names[@]}"
cmp "$work/j1.pkg" "$work/j2.pkg"
cmp "$work/x/input.bin" "$input"
cmp "$work/out4k.bin" "$input"
cmp "$work/pigz.out" "$input"

# Medians (and the best, which a passing load on the machine touches least) of wall
# time, CPU time (user + system) and peak RSS.
column() { tr ';' '\n' <<<"${runs[$1]}" | awk "NF{print $2}" | sort -g; }
median() { awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}'; }
declare -A wall best cpu rss
table() {
  printf '%-22s %8s %8s %8s %10s\n' tool "wall s" "best s" "cpu s" "peak KiB"
  for name in "$@"; do
    wall[$name]=$(column "$name" '$1' | median)
    best[$name]=$(column "$name" '$1' | head -1)
    cpu[$name]=$(column "$name" '$2 + $3' | median)
    rss[$name]=$(column "$name" '$4' | median)
    printf '%-22s %8.2f %8.2f %8.2f %10d\n' "$name" "${wall[$name]}" "${best[$name]}" "${cpu[$name]}" "${rss[$name]}"
  done
}
table "${names[@]}"

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

# Level 11: 10 MB of shared libraries, in name order.
libs=$work/libs.bin
/usr/bin/python3 - "$libs" <<'PY'
import os, sys
paths = []
for folder, dirs, names in os.walk("/usr/lib/x86_64-linux-gnu"):
    dirs.sort()
    paths += [os.path.join(folder, n) for n in sorted(names)]
size, out, written = 10_000_000, open(sys.argv[1], "wb"), 0
for path in paths:
    if ".so" in os.path.basename(path) and os.path.isfile(path) and not os.path.islink(path) \
            and os.path.getsize(path) > 100_000 and written < size:
        data = open(path, "rb").read()[: size - written]
        out.write(data)
        written += len(data)
PY
echo "level 11 input: $(stat -c %s "$libs") bytes of shared libraries, sha256 $(sha256sum "$libs" | cut -c1-16)"
names11=("level 11 -j1" "level 11 -j2" "pigz -11 -p2 -z" "7z zip -mx=9" "level 6 -j2, libs")
measure "level 11" "$rounds11" "${names11[@]}"
"$sfxpack" create -q --no-stub --level 11 -j 3 -o "$work/z3.pkg" "$libs"
cmp "$work/z1.pkg" "$work/z2.pkg"
cmp "$work/z1.pkg" "$work/z3.pkg"
"$sfxpack" verify -q "$work/z2.pkg"
pigz -d -z -c "$work/z2.zz" | cmp - "$libs"
table "${names11[@]}"
# Peak memory does not grow with the input: the same libraries ten times over (100 MB).
for i in $(seq 10); do cat "$libs"; done >"$work/libs100.bin"
timed "$sfxpack" create -q --no-stub --level 11 -j 2 -o "$work/z100.pkg" "$work/libs100.bin"
read -r libs100Wall _ _ libs100Rss <"$work/time"

zip=$(stat -c %s "$work/7z.zip")
z2=$(stat -c %s "$work/z2.zz")
echo "== level 11, 10 MB of shared libraries: ratios of medians (goal)"
echo "size, level 11 over level 6:          $(ratio "$z2" "$(stat -c %s "$work/l6.zz")")  (<= 0.97)"
echo "size, level 11 over 7-Zip zip -mx=9:  $(ratio "$z2" "$zip")  (<= 1.0; the zip file, headers and all)"
echo "size, level 11 over pigz -11:         $(ratio "$z2" "$(stat -c %s "$work/pz.zz")")"
echo "time, -j2 over -j1:                   $(ratio "${wall[level 11 -j2]}" "${wall[level 11 -j1]}")  (<= 0.56)"
echo "time, -j2 over pigz -11 -p2:          $(ratio "${wall[level 11 -j2]}" "${wall[pigz -11 -p2 -z]}")  (<= 1.1)"
echo "time, -j2 over 7-Zip zip -mx=9:       $(ratio "${wall[level 11 -j2]}" "${wall[7z zip -mx=9]}")"
echo "time, level 11 over level 6, -j2:     $(ratio "${wall[level 11 -j2]}" "${wall[level 6 -j2, libs]}")"
echo "best of each, -j2 over -j1:           $(ratio "${best[level 11 -j2]}" "${best[level 11 -j1]}"), -j2 over pigz -11 -p2: $(ratio "${best[level 11 -j2]}" "${best[pigz -11 -p2 -z]}")"
echo "peak memory, -j2: 10 MB ${rss[level 11 -j2]} KiB, 100 MB $libs100Rss KiB (${libs100Wall} s)  (<= 262144, no growth)"
echo "same bytes on 1, 2 and 3 threads; verify and pigz -d accept them"
echo "sizes: level 11 $z2, level 6 $(stat -c %s "$work/l6.zz"), pigz -11 $(stat -c %s "$work/pz.zz"), 7-Zip zip $zip bytes"
