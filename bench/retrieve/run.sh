#!/bin/bash
# What crosses the wire for the five queries of the peer benchmark, and for
# a narrow full scan (Q0, SELECT id FROM orders): for each
# query, one execution against a fresh qxserver with --log, and from its
# request log the requests, the windows (_QX_SubSelectionToArray, code 91)
# and the bytes of their replies and of all replies; then the median of five
# timed executions after two untimed ones (odbcfetch).
#
#   bench/retrieve/run.sh BUILD_DIR BENCH_PEERS_DIR [N]
#
# BUILD_DIR holds qxserver and libsqldriver.so (a Release tree); the fixture
# is made with the harness's gen_data.py and csv2qx.py (N orders, default
# 200000) in a temporary directory, removed at the end.
set -euo pipefail
build=$(cd "$1" && pwd)
peers=$(cd "$2" && pwd)
n=${3:-200000}
work=$(mktemp -d /tmp/qxretr.XXXXXX)
srvpid=
cleanup() {
    if [ -n "$srvpid" ] && kill -0 "$srvpid" 2>/dev/null; then kill "$srvpid"; wait "$srvpid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
server=$(find "$build" -name qxserver -type f -perm -u+x | head -n 1)
driver=$(find "$build" -name libsqldriver.so \( -type f -o -type l \) | head -n 1)
cc -O2 -std=c11 -D_POSIX_C_SOURCE=200809L -o "$work/odbcfetch" "$peers/odbcfetch.c" -lodbc
/usr/bin/python3 "$peers/gen_data.py" -n "$n" "$work/data" >/dev/null
/usr/bin/python3 "$peers/csv2qx.py" "$work/data" "$work/qx.json"
"$server" --port 0 --fixture "$work/qx.json" --log "$work/server.log" >"$work/server.out" 2>&1 &
srvpid=$!
port=
for _ in $(seq 600); do
    port=$(sed -n 's/^listening on \([0-9][0-9]*\).*/\1/p' "$work/server.out" | head -n 1)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "qxserver did not start" >&2; exit 1; }
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini
printf '[QX]\nDriver=%s\n' "$driver" >"$work/odbcinst.ini"
printf '[qx]\nDriver=QX\nDBQ=TCP/IP:127.0.0.1:%s\n' "$port" >"$work/odbc.ini"
conn="DSN=qx;UID=demo;PWD=demo"
q5=12345; [ "$n" -ge "$q5" ] || q5=$(( (n + 1) / 2 ))
names=(Q0 Q1 Q2 Q3 Q4 Q5)
opts=("" "" "-g" "" "" "")
sqls=("SELECT id FROM orders" "SELECT * FROM orders" "SELECT * FROM orders"
      "SELECT customer, COUNT(*), SUM(amount) FROM orders GROUP BY customer ORDER BY customer"
      "SELECT o.id, c.name FROM orders o, customers c WHERE o.customer = c.id AND o.amount > 900"
      "SELECT * FROM orders WHERE id = $q5")
printf '%-3s %9s %8s %13s %7s %13s %8s\n' query requests windows window_bytes fields reply_bytes ms
for i in "${!names[@]}"; do
    before=$(wc -l <"$work/server.log")
    # shellcheck disable=SC2086
    "$work/odbcfetch" ${opts[$i]} "$conn" "${sqls[$i]}" >/dev/null
    tail -n +"$((before + 1))" "$work/server.log" >"$work/one.log"
    # The connection's own requests (login, table list, ...) are counted
    # too: they are the same before and after.
    stats=$(awk '/request code=/ {
            n++; split($0, a, "reply="); split(a[2], b, " "); bytes += b[1]
            if ($0 ~ /code=91 /) { w++; wb += b[1]; split($0, c, "length="); split(c[2], d, " ")
                                   f = (d[1] - 12) / 4; if (f > maxf) maxf = f } }
        END { printf "%d %d %d %d %d", n, w, wb, maxf, bytes }' "$work/one.log")
    read -r reqs wins wbytes fields bytes <<<"$stats"
    # shellcheck disable=SC2086
    line=$("$work/odbcfetch" ${opts[$i]} -n 5 -w 2 $([ "${names[$i]}" = Q5 ] && echo "-b 1000") \
           "$conn" "${sqls[$i]}")
    secs=$(tr ' ' '\n' <<<"$line" | sed -n 's/^total_s=//p')
    ms=$(awk -v s="$secs" -v q="${names[$i]}" 'BEGIN { printf "%.1f", (q == "Q5" ? s * 1e6 / 1000 : s * 1e3) }')
    printf '%-3s %9s %8s %13s %7s %13s %8s\n' "${names[$i]}" "$reqs" "$wins" "$wbytes" "$fields" "$bytes" "$ms"
done
echo "(ms: median of 5 timed executions after 2 untimed; Q5 in us per execution, 1000 per sample)"
