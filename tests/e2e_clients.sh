#!/usr/bin/env bash
# Connects real ODBC clients through unixODBC to qxserver:
#   e2e_clients.sh MODE QXSERVER FIXTURE SQLDRIVER
# MODE isql: isql by DSN and by a DSN-less connection string.
# MODE pyodbc: /usr/bin/python3 with pyodbc connects and disconnects.
set -euo pipefail
mode=$1 server=$2 fixture=$3 driver=$4

dir=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT

"$server" --port 0 --fixture "$fixture" --log "$dir/server.log" > "$dir/out" &
pid=$!
for _ in $(seq 50); do grep -q 'listening on' "$dir/out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/listening on/{print $3; exit}' "$dir/out")
[ -n "$port" ] || { echo "qxserver did not start"; exit 1; }

printf '[QX]\nDriver=%s\n' "$driver" > "$dir/odbcinst.ini"
printf '[demo]\nDriver=QX\nDBQ=TCP/IP:127.0.0.1:%s\n' "$port" > "$dir/odbc.ini"
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini QX_DIALOG=none
# Uninstrumented clients load our sanitized libraries.
client_env=(env "LD_PRELOAD=${QX_PRELOAD:-}" "ASAN_OPTIONS=detect_leaks=0")

case $mode in
isql)
  out=$(echo "" | "${client_env[@]}" isql -v demo demo demo 2>&1) || true
  echo "$out"
  grep -q 'Connected!' <<< "$out"
  out=$(echo "" | "${client_env[@]}" isql -v -k "DRIVER={QX};DBQ=TCP/IP:127.0.0.1:$port;UID=demo;PWD=demo" 2>&1) || true
  echo "$out"
  grep -q 'Connected!' <<< "$out"
  # A query's rows, in batch mode.
  out=$(echo "SELECT ID, Country FROM Customers WHERE ID <= 3 ORDER BY ID DESC" |
        "${client_env[@]}" isql -b -d'|' demo demo demo 2>&1) || true
  echo "$out"
  [ "$(grep -E '^[0-9]+\|' <<< "$out" | tr -d ' ')" = $'3|Poland\n2|Switzerland\n1|Italy' ]
  ;;
pyodbc)
  "${client_env[@]}" /usr/bin/python3 - <<PY
import pyodbc
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", autocommit=True)
c.close()
# pyodbc's default switches auto-commit off; commit and rollback then work.
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo")
assert not c.autocommit
c.commit()
c.rollback()
c.autocommit = True
c.close()
try:
    pyodbc.connect("DSN=demo;UID=demo;PWD=wrong", autocommit=True)
    raise SystemExit("a wrong password connected")
except pyodbc.Error as e:
    assert e.args[0] == "08001", e.args
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", autocommit=True)
rows = c.cursor().execute("SELECT ID, Country FROM Customers WHERE ID <= 2 ORDER BY ID").fetchall()
assert [tuple(r) for r in rows] == [(1, "Italy"), (2, "Switzerland")], rows
c.close()
print("pyodbc connected, fetched and disconnected")
PY
  ;;
esac
