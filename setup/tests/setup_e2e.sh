#!/usr/bin/env bash
# drvinstall and setupboot from a staging directory (as unpacked from a
# distribution) into private directories:
#   setup_e2e.sh DRVINSTALL SETUPBOOT SQLDRIVER DSNCONFIG NETCLIENT QXSERVER FIXTURE
set -euo pipefail
drvinstall=$1 setupboot=$2 sqldriver=$3 dsnconfig=$4 netclient=$5 server=$6 fixture=$7

dir=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$server" --port 0 --fixture "$fixture" > "$dir/server.out" &
pid=$!
for _ in $(seq 50); do grep -q 'listening on' "$dir/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/listening on/{print $3; exit}' "$dir/server.out")
[ -n "$port" ] || fail "qxserver did not start"

stage=$dir/stage
mkdir -p "$stage" "$dir/sys" "$dir/lock"
cp "$drvinstall" "$setupboot" "$sqldriver" "$dsnconfig" "$netclient" "$stage/"
: > "$dir/sys/odbcinst.ini"
export ODBCSYSINI=$dir/sys ODBCINI=$dir/user.ini QX_LOCK_DIR=$dir/lock QX_DIALOG=none
export ASAN_OPTIONS=detect_leaks=0
unset QX_INSTALL_PREFIX
client_env=(env "LD_PRELOAD=${QX_PRELOAD:-}")
desc="ODBC Driver for QX Server"
dbq="TCP/IP:127.0.0.1:$port"

echo "== install with --auto from another directory"
(cd / && "$stage/drvinstall" --prefix "$dir/inst" --auto --dsn qxdemo --dbq "$dbq") || fail "drvinstall exit $?"
for f in libsqldriver.so libdsnconfig.so libnetclient.so; do
  cmp -s "$stage/$f" "$dir/inst/$f" || fail "$f not installed"
done
[ "$(ls -A "$dir/inst" | wc -l)" = 3 ] || fail "stray files: $(ls -A "$dir/inst")"
grep -q "^\[$desc\]" "$dir/sys/odbcinst.ini" || fail "driver not registered"
grep -Eq "^Driver *= *$dir/inst/libsqldriver.so" "$dir/sys/odbcinst.ini" || fail "Driver= $(cat "$dir/sys/odbcinst.ini")"
grep -Eq "^Setup *= *$dir/inst/libdsnconfig.so" "$dir/sys/odbcinst.ini" || fail "Setup= $(cat "$dir/sys/odbcinst.ini")"
grep -q "^\[qxdemo\]" "$dir/sys/odbc.ini" || fail "no system data source: $(cat "$dir/sys/odbc.ini")"
# (ldd's output is read whole: grep -q closing the pipe early would fail the
# pipeline under pipefail.)
deps=$(ldd "$dir/inst/libsqldriver.so")
grep -q "$dir/inst/libnetclient.so" <<< "$deps" || fail "the installed driver loads another client library"
out=$(echo "" | "${client_env[@]}" isql -v qxdemo demo demo 2>&1) || true
grep -q 'Connected!' <<< "$out" || fail "isql: $out"

echo "== a second --auto keeps the existing data source's other keys"
printf 'OdbcTrace = 0\nEngineTrace = 0\n' >> "$dir/sys/odbc.ini"
"$stage/drvinstall" --prefix "$dir/inst" /AUTO --dsn qxdemo --dbq "$dbq" > /dev/null || fail "second install"
grep -q '^EngineTrace' "$dir/sys/odbc.ini" || fail "keys lost: $(cat "$dir/sys/odbc.ini")"

echo "== a missing file installs nothing and keeps what was there"
broken=$dir/broken
mkdir -p "$broken"
cp "$stage/drvinstall" "$stage/libsqldriver.so" "$stage/libdsnconfig.so" "$broken/"
echo "changed" >> "$broken/libsqldriver.so"
cp "$dir/sys/odbcinst.ini" "$dir/odbcinst.before"
rc=0; "$broken/drvinstall" --prefix "$dir/inst2" --auto > /dev/null 2>&1 || rc=$?
[ "$rc" = 4 ] || fail "copy failure exit $rc"
[ ! -e "$dir/inst2" ] || fail "left behind: $(ls -A "$dir/inst2")"
rc=0; "$broken/drvinstall" --prefix "$dir/inst" --auto > /dev/null 2>&1 || rc=$?
[ "$rc" = 4 ] || fail "copy failure over an installation exit $rc"
cmp -s "$stage/libsqldriver.so" "$dir/inst/libsqldriver.so" || fail "installed driver changed"
[ "$(ls -A "$dir/inst" | wc -l)" = 3 ] || fail "stray files: $(ls -A "$dir/inst")"
cmp -s "$dir/sys/odbcinst.ini" "$dir/odbcinst.before" || fail "registration changed"

echo "== usage errors and cancelled interactive runs install nothing"
rc=0; "$stage/drvinstall" --prefix "$dir/inst3" /bogus > /dev/null 2>&1 || rc=$?
[ "$rc" = 1 ] && [ ! -e "$dir/inst3" ] || fail "unknown switch exit $rc"
rc=0; "$stage/drvinstall" --prefix "$dir/inst3" > /dev/null 2>&1 || rc=$?
[ "$rc" = 3 ] && [ ! -e "$dir/inst3" ] || fail "no UI must leave without installing, exit $rc"
printf 'ok\n' > "$dir/script"
QX_DIALOG="script:$dir/script" "$stage/drvinstall" --prefix "$dir/inst3" > "$dir/out3" || fail "interactive install"
grep -q 'odbcinst' "$dir/out3" || fail "no hint on setting up a data source"
[ -e "$dir/inst3/libnetclient.so" ] || fail "interactive install copied nothing"

echo "== setupboot passes the result on"
"$stage/setupboot" "$stage/drvinstall" --prefix "$dir/inst4" --auto --dsn boot --dbq "$dbq" > /dev/null \
  || fail "setupboot of a good install"
[ -e "$dir/inst4/libsqldriver.so" ] || fail "setupboot did not run the install"
rc=0; "$stage/setupboot" "$broken/drvinstall" --prefix "$dir/inst5" --auto > /dev/null 2>&1 || rc=$?
[ "$rc" = 4 ] || fail "setupboot of a failing install exit $rc"
rc=0; "$stage/setupboot" "$dir/no-such-program" > /dev/null 2>&1 || rc=$?
[ "$rc" != 0 ] || fail "setupboot of a missing program succeeded"
# A setup that holds its window for a while is waited for.
start=$(date +%s%N)
"$stage/setupboot" sh -c "flock '$dir/lock/ODBCSETUP.lock' sleep 1" || fail "setupboot of a slow setup"
[ $(( ($(date +%s%N) - start) / 1000000 )) -ge 1000 ] || fail "setupboot did not wait"
# A command that opens no window and does not end: the wait ends.
rc=0; "$stage/setupboot" --appear-ms 300 sleep 3 || rc=$?
[ "$rc" = 124 ] || fail "no window exit $rc"
# While setup runs, a second setup and a bootstrapper stop at once.
# The lock is held until the checks are done (a fixed sleep could end first
# on a loaded machine), then released by ending its holder.
flock "$dir/lock/ODBCSETUP.lock" sleep 60 &
locker=$!
for _ in $(seq 50); do
  flock -n "$dir/lock/ODBCSETUP.lock" true 2>/dev/null || break
  sleep 0.1
done
rc=0; "$stage/drvinstall" --prefix "$dir/inst6" --auto > /dev/null 2>&1 || rc=$?
[ "$rc" = 2 ] && [ ! -e "$dir/inst6" ] || fail "second drvinstall exit $rc"
rc=0; "$stage/setupboot" "$stage/drvinstall" --auto > /dev/null 2>&1 || rc=$?
[ "$rc" = 3 ] || fail "setupboot while setup runs exit $rc"
kill $(pgrep -P "$locker") "$locker" 2>/dev/null || true
wait "$locker" 2>/dev/null || true
echo "setup programs: all passed"
