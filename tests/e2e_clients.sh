#!/usr/bin/env bash
# Connects real ODBC clients through unixODBC to qxserver:
#   e2e_clients.sh MODE QXSERVER FIXTURE SQLDRIVER
# MODE isql: isql by DSN and by a DSN-less connection string.
# MODE pyodbc: /usr/bin/python3 with pyodbc connects and disconnects.
# MODE pyparams: pyodbc queries with parameters, long texts among them.
# MODE catalog: pyodbc's cursor.tables(), columns(), statistics() and
#   primaryKeys(), and isql's "help" and "help TABLE", list the demo tables.
# MODE timeouts: isql and pyodbc against a server that holds its replies and
#   one that is stopped (kill -STOP): each connect ends within its login time
#   (1 s) plus a margin (the clients start under the sanitizers, which is
#   slow on a loaded machine) with the reason.
# MODE cancel: pyodbc's cursor.cancel() from a second thread stops a long
#   query within a second, and the cursor runs the next query.
set -euo pipefail
mode=$1 server=$2 fixture=$3 driver=$4

dir=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT

"$server" --port 0 --fixture "$fixture" --log "$dir/server.log" > "$dir/out" &
pid=$!
for _ in $(seq 600); do grep -q 'listening on' "$dir/out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/listening on/{print $3; exit}' "$dir/out")
[ -n "$port" ] || { echo "qxserver did not start"; exit 1; }

printf '[QX]\nDriver=%s\n' "$driver" > "$dir/odbcinst.ini"
printf '[demo]\nDriver=QX\nDBQ=TCP/IP:127.0.0.1:%s\n' "$port" > "$dir/odbc.ini"
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini QX_DIALOG=none QX_DRIVE_ROOT_DIR=$dir/drive
# Uninstrumented clients load our sanitized libraries.
client_env=(env "LD_PRELOAD=${QX_PRELOAD:-}" "ASAN_OPTIONS=detect_leaks=0")

# Seconds since the epoch, with fractions.
now() { date +%s.%N; }
# Fails unless fewer than $2 seconds passed since $1.
within() { awk -v s="$1" -v e="$(now)" -v m="$2" 'BEGIN { d = e - s; print "took " d " s"; exit !(d < m) }'; }

case $mode in
catalog)
  "${client_env[@]}" /usr/bin/python3 - <<'PY'
import pyodbc
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", autocommit=True)
cur = c.cursor()
tables = [(r.table_name, r.table_type) for r in cur.tables()]
assert tables == [("Customers", "TABLE"), ("OrderLines", "TABLE"), ("Orders", "TABLE"),
                  ("Products", "TABLE")], tables
assert [r.table_name for r in cur.tables(table="order%")] == ["OrderLines", "Orders"]
columns = [(r.column_name, r.data_type, r.type_name, r.nullable)
           for r in cur.columns(table="Customers")]
assert columns == [("ID", 4, "LONGINT", 0), ("Name", 12, "STRING", 1), ("City", 12, "STRING", 1),
                   ("Country", 12, "STRING", 1), ("Since", 9, "DATE", 1),
                   ("Credit", 8, "REAL", 0), ("Active", -7, "BOOLEAN", 0),
                   ("Notes", -1, "TEXT", 1)], columns
assert [r.column_name for r in cur.columns(table="Orders", column="%id")] == ["ID", "CustomerID"]
stats = [(r.index_name, r.non_unique, r.type, r.column_name) for r in cur.statistics("Customers")]
assert stats == [(None, None, 0, None), ("ID", 0, 3, "ID"), ("City", 1, 3, "City"),
                 ("Name", 1, 3, "Name"), ("Since", 1, 3, "Since")], stats
keys = [(r.table_name, r.column_name, r.key_seq) for r in cur.primaryKeys("Customers")]
assert keys == [("Customers", "ID", 1)], keys
# The cursor runs a query after its catalog results.
assert cur.execute("SELECT COUNT(*) FROM Customers").fetchone()[0] > 0
c.close()
print("pyodbc catalog calls hold")
PY
  out=$(echo "help" | "${client_env[@]}" isql -b -d'|' demo demo demo 2>&1) || true
  echo "$out"
  for t in Customers OrderLines Orders Products; do grep -q "| *$t *| *TABLE" <<< "$out"; done
  out=$(echo "help Customers" | "${client_env[@]}" isql -b demo demo demo 2>&1) || true
  echo "$out"
  for c in ID Name City Country Since Credit Active Notes; do
    grep -q "| *Customers *| *$c *|" <<< "$out"
  done
  grep -q '8 rows fetched' <<< "$out"
  ;;
timeouts)
  "$server" --port 0 --fixture "$fixture" --delay 600000 > "$dir/out2" &
  slow=$!
  for _ in $(seq 600); do grep -q 'listening on' "$dir/out2" 2>/dev/null && break; sleep 0.1; done
  slowport=$(awk '/listening on/{print $3; exit}' "$dir/out2")
  trap 'kill -CONT $pid 2>/dev/null; kill $slow 2>/dev/null; cleanup' EXIT
  printf '[slow]\nDriver=QX\nDBQ=TCP/IP:127.0.0.1:%s\nLoginTimeout=1\n' "$slowport" >> "$dir/odbc.ini"
  printf '[stopped]\nDriver=QX\nDBQ=TCP/IP:127.0.0.1:%s\nLoginTimeout=1\n' "$port" >> "$dir/odbc.ini"

  start=$(now)
  out=$(echo "" | "${client_env[@]}" isql -v slow demo demo 2>&1) || true
  echo "$out"
  grep -q 'S1T00.*Timed out' <<< "$out"
  within "$start" 5

  "${client_env[@]}" /usr/bin/python3 - "$pid" "$slowport" <<'PY'
import os, signal, sys, time
import pyodbc
pid, slowport = int(sys.argv[1]), sys.argv[2]

def timed(call, state, text, limit):
    start = time.monotonic()
    try:
        call()
        raise SystemExit("no failure")
    except pyodbc.Error as e:
        took = time.monotonic() - start
        assert e.args[0] in state and text in e.args[1], e.args
        assert took < limit, (e.args, took)
        print(state, text, "in", round(took, 2), "s")

os.kill(pid, signal.SIGSTOP)
try:
    # timeout= is the login time; the connect as a whole honours it.
    for connect in ("DSN=demo;UID=demo;PWD=demo",
                    "DRIVER={QX};DBQ=TCP/IP:127.0.0.1:%s;UID=demo;PWD=demo" % slowport):
        timed(lambda: pyodbc.connect(connect, timeout=1), ("S1T00", "HYT00") if "DRIVER" in connect else ("08001",),
              "Timed out" if "DRIVER" in connect else "Server not answering", 4.5)
finally:
    os.kill(pid, signal.SIGCONT)
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", timeout=1)
c.close()
print("pyodbc timeouts hold")
PY
  kill -STOP "$pid"
  start=$(now)
  out=$(echo "" | "${client_env[@]}" isql -v stopped demo demo 2>&1) || true
  kill -CONT "$pid"
  echo "$out"
  grep -q '08001.*Server not answering' <<< "$out"
  within "$start" 5
  ;;
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
# A change left open at close: pyodbc rolls back before it disconnects, so
# the driver lets the connection go and the change is gone; a committed one
# stays.
for commit, city in ((False, "Milano"), (True, "Turin")):
    c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo")
    c.cursor().execute("UPDATE Customers SET City = 'Nowhere' WHERE ID = 1")
    c.cursor().execute("UPDATE Customers SET City = 'Turin' WHERE ID = 1")
    if commit:
        c.commit()
    c.close()
    c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", autocommit=True)
    got = c.cursor().execute("SELECT City FROM Customers WHERE ID = 1").fetchone()[0]
    assert got == city, (commit, got)
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
  # Passwords holding the characters connection strings give a meaning,
  # braced ("}}" for "}"); 31 characters is what the login record holds.
  "${client_env[@]}" /usr/bin/python3 - "$server" "$dir" <<'PY'
import json, subprocess, sys, time
import pyodbc
server, work = sys.argv[1], sys.argv[2]
passwords = ["p[w]d", "{br}ace}", "a;b", "x=y!@", "(),?*", "x" * 31, "}}", " lead and trail "]
users = [{"name": "u%d" % i, "password": pw} for i, pw in enumerate(passwords)]
with open(work + "/users.json", "w") as f:
    json.dump({"users": users, "tables": []}, f)
p = subprocess.Popen([server, "--port", "0", "--fixture", work + "/users.json"], stdout=subprocess.PIPE, text=True)
try:
    port = int(p.stdout.readline().split()[2])
    for i, pw in enumerate(passwords):
        braced = "{" + pw.replace("}", "}}") + "}"
        c = pyodbc.connect("DRIVER={QX};DBQ=TCP/IP:127.0.0.1:%d;UID=u%d;PWD=%s" % (port, i, braced),
                           autocommit=True)
        c.close()
    for bad, state in (("PWD=" + "x" * 32, "28000"), ("PWD={x", "08004")):
        try:
            pyodbc.connect("DRIVER={QX};DBQ=TCP/IP:127.0.0.1:%d;UID=u5;%s" % (port, bad), autocommit=True)
            raise SystemExit("connected with " + bad)
        except pyodbc.Error as e:
            assert e.args[0] == state, (bad, e.args)
    print("pyodbc passwords hold")
finally:
    p.terminate()
    p.wait()
PY
  ;;
cancel)
  "${client_env[@]}" /usr/bin/python3 - <<'PY'
import threading, time
import pyodbc
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", autocommit=True)
cur = c.cursor()
cancelled = {}
def cancel():
    cancelled["at"] = time.monotonic()
    cur.cancel()
    cancelled["took"] = time.monotonic() - cancelled["at"]
timer = threading.Timer(0.3, cancel)
start = time.monotonic()
timer.start()
try:
    cur.execute("SELECT COUNT(*) FROM OrderLines a, Orders b, Customers c")
    raise SystemExit("the query was not cancelled")
except pyodbc.Error as e:
    ended = time.monotonic()
    # ODBC 3 names S1008 HY008.
    assert e.args[0] == "HY008" and "Operation cancelled" in e.args[1], e.args
timer.join()
latency = ended - cancelled["at"]
print("cursor.cancel() took %.3f s, the query ended %.3f s after it" % (cancelled["took"], latency))
assert cancelled["took"] < 1.0 and latency < 1.0, (cancelled, latency)
assert cur.execute("SELECT COUNT(*) FROM Products").fetchone()[0] == 60
c.close()
print("pyodbc cancelled a running query")
PY
  ;;
pyparams)
  # Parameters through pyodbc, with the encoding calls the README gives.
  "${client_env[@]}" /usr/bin/python3 - "$fixture" <<'PY'
import datetime, json, sys, pyodbc
c = pyodbc.connect("DSN=demo;UID=demo;PWD=demo", autocommit=True)
c.setdecoding(pyodbc.SQL_CHAR, encoding="cp1252")
c.setencoding(encoding="cp1252")
cur = c.cursor()
rows = cur.execute("SELECT ID, Name FROM Customers WHERE ID = ? AND Name LIKE ?", 5, "D%").fetchall()
assert [tuple(r) for r in rows] == [(5, "David Müller")], rows
assert cur.execute("SELECT ID FROM Customers WHERE ID = ? AND Name LIKE ?", 5, "A%").fetchall() == []
# Text outside ASCII, a date, a float, a NULL.
assert [r[0] for r in cur.execute("SELECT ID FROM Products WHERE Name = ?", "Crème café 1")] == [1]
assert [r[0] for r in cur.execute("SELECT ID FROM Orders WHERE OrderDate = ?",
                                  datetime.date(2023, 8, 24))] == [1001]
n = cur.execute("SELECT COUNT(*) FROM Customers WHERE Credit > ?", 16519.1).fetchone()[0]
m = cur.execute("SELECT COUNT(*) FROM Customers WHERE Credit > 16519.1").fetchone()[0]
assert n == m and n > 0, (n, m)
assert cur.execute("SELECT ID FROM Customers WHERE Name = ?", None).fetchall() == []
# A long text: bound whole, and (maxwrite) sent at execution in pieces.
note = [r for r in json.load(open(sys.argv[1], encoding="utf-8"))["tables"][0]["records"] if r["ID"] == 75][0]["Notes"]
assert len(note) > 6000, len(note)
for maxwrite in (0, 255):
    c.maxwrite = maxwrite
    assert [r[0] for r in cur.execute("SELECT ID FROM Customers WHERE Notes = ?", note)] == [75]
    assert cur.execute("SELECT ID FROM Customers WHERE Notes = ?", note + "x").fetchall() == []
# Executed again with new values.
for i in (1, 7, 150):
    assert cur.execute("SELECT ID FROM Customers WHERE ID = ?", i).fetchone()[0] == i
# executemany for INSERT; a long text sent whole and sent in pieces.
day = datetime.date(2020, 2, 29)
cur.executemany("INSERT INTO Customers (ID, Name, Since) VALUES (?, ?, ?)",
                [(901, "Zoë", day), (902, "Zed", None), (903, "Zia", day)])
rows = cur.execute("SELECT ID, Name, Since FROM Customers WHERE ID > ? ORDER BY ID", 900).fetchall()
assert [tuple(r) for r in rows] == [(901, "Zoë", day), (902, "Zed", None), (903, "Zia", day)], rows
long_note = "".join(chr(65 + i % 26) for i in range(20000))
for maxwrite, key in ((0, 904), (255, 905)):
    c.maxwrite = maxwrite
    cur.execute("INSERT INTO Customers (ID, Name, Notes) VALUES (?, ?, ?)", key, "Long", long_note)
    assert cur.rowcount == 1
    assert [r[0] for r in cur.execute("SELECT ID FROM Customers WHERE Notes = ?", long_note)] == \
        list(range(904, key + 1))
# Exact numbers: BIGINT columns read as 64-bit integers, long literals as
# decimals with every digit.
import decimal
row = cur.execute("SELECT CONVERT(-9223372036854775808, SQL_BIGINT), CONVERT(42, SQL_BIGINT), "
                  "12345678901234567890, 99999999999999999999999999999999999999 "
                  "FROM Customers WHERE ID = 1").fetchone()
assert tuple(row) == (-9223372036854775808, 42, decimal.Decimal("12345678901234567890"),
                      decimal.Decimal("9" * 38)), row
assert [d[1] for d in cur.description] == [int, int, decimal.Decimal, decimal.Decimal], cur.description
assert [(d[4], d[5]) for d in cur.description[2:]] == [(20, 0), (38, 0)], cur.description
print("pyodbc parameters hold")
PY
  ;;
esac
