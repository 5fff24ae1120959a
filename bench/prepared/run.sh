#!/usr/bin/env bash
# A prepared point query executed repeatedly (SELECT * FROM Orders WHERE ID
# = ?, a new value each time) beside the same query run with SQLExecDirect,
# against qxserver on loopback with the demo database. Not run by CI.
#
#   bench/prepared/run.sh [BUILD] [N]
#
# BUILD defaults to the Release tree (build/release); N to 2000 executions.
# With QX_BENCH_CALLGRIND=1 each mode runs under callgrind with 200 and
# 200 + N executions and the script prints the client's instructions per
# execution (the difference divided by N; the server runs outside valgrind).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build/release}
n=${2:-2000}
[ -x "$build/qxserver/qxserver" ] || { echo "no qxserver in $build (build it first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qxprepbench.XXXXXX")
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cc -O2 -o "$work/prepared_bench" "$top/bench/prepared/prepared_bench.c" -lodbc

port=$((20000 + RANDOM % 20000))
"$build/qxserver/qxserver" --port "$port" --fixture "$top/qxserver/fixtures/demo.json" \
    >"$work/server.out" 2>&1 &
server=$!
sleep 0.5
conn="DRIVER=$build/driver/libsqldriver.so;DBQ=TCP/IP:127.0.0.1:$port;UID=demo;PWD=demo"
export QX_DIALOG=none QX_DRIVE_ROOT_DIR="$work/drive"

instructions() { # MODE COUNT: instructions of the whole client run
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" \
        "$work/prepared_bench" "$conn" "$2" "$1" >/dev/null 2>"$work/vg.err"
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/vg.err"
}

for mode in prepared direct; do
    if [ "${QX_BENCH_CALLGRIND:-0}" = 1 ]; then
        low=$(instructions "$mode" 200)
        high=$(instructions "$mode" $((200 + n)))
        echo "$mode: $(( (high - low) / n )) instructions per execution"
    else
        "$work/prepared_bench" "$conn" "$n" "$mode"
    fi
done
