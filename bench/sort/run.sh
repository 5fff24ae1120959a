#!/usr/bin/env bash
# Times qxsort against GNU sort on fixed 100-byte records with 10-byte keys
# (20 MB and 200 MB), checks that both outputs are identical and prints the
# ratio of wall times. Not run by CI.
#
#   bench/sort/run.sh [QXSORT] [MEMORY_KB]
#
# QXSORT defaults to the Release build (build/release/driver/sort/qxsort):
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQX_TESTS=OFF
#   cmake --build build/release --target qxsort
# Both programs get the same memory budget (default 65536 KB), work in the
# same temporary directory and run on one thread (GNU sort --parallel=1).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
qxsort=${1:-$top/build/release/driver/sort/qxsort}
mem=${2:-65536}
[ -x "$qxsort" ] || { echo "no qxsort at $qxsort (build the Release tree first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qxsortbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# Records: 10 random capital letters, a blank, an 88-digit sequence number, LF.
generate() {
    python3 - "$1" "$2" <<'PY'
import random, sys
count, path = int(sys.argv[1]), sys.argv[2]
rnd = random.Random(20261209)
letters = b"ABCDEFGHIJKLMNOPQRSTUVWXYZ"
with open(path, "wb") as f:
    chunk = []
    for i in range(count):
        key = bytes(rnd.choices(letters, k=10))
        chunk.append(key + b" " + b"%088d\n" % i)
        if len(chunk) == 10000:
            f.write(b"".join(chunk)); chunk = []
    f.write(b"".join(chunk))
PY
}

seconds() { date +%s.%N; }

for mb in 20 200; do
    in=$work/in$mb.dat
    generate $((mb * 10000)) "$in"
    t0=$(seconds)
    "$qxsort" "$in" "$work/qx.out" "S(1,10,CHA,A) F(FIX,100) CORE($mem) W($work/)" >/dev/null
    t1=$(seconds)
    sort -s -k1.1,1.10 -S "${mem}K" --parallel=1 -T "$work" "$in" -o "$work/gnu1.out"
    t2=$(seconds)
    cmp -s "$work/qx.out" "$work/gnu1.out" || { echo "$mb MB: outputs differ" >&2; exit 1; }
    awk -v mb="$mb" -v t0="$t0" -v t1="$t1" -v t2="$t2" 'BEGIN {
        q = t1 - t0; g = t2 - t1
        printf "%4d MB: qxsort %.2fs  GNU sort %.2fs  ratio qxsort/GNU %.2f\n", mb, q, g, q / g }'
    rm -f "$in" "$work"/*.out
done
