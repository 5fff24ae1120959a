#!/usr/bin/env bash
# The install tree and the build's setup directory, as a user takes them:
#   install_test.sh BUILD_DIR
# cmake --install into a temporary prefix puts the libraries, the programs
# and the demo database in their places with run paths relative to
# themselves; drvinstall from there (and from BUILD_DIR/setup, as the README
# says) registers the driver with private ODBCSYSINI/ODBCINI files, and isql
# connects through unixODBC with the translation library, reading and
# writing UTF-8.
set -euo pipefail
build=$1

dir=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

echo "== cmake --install"
prefix=$dir/prefix
cmake --install "$build" --prefix "$prefix" > "$dir/install.log" || fail "$(cat "$dir/install.log")"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
libdir=${libdir:-lib}
for f in "$libdir/libsqldriver.so" "$libdir/libdsnconfig.so" "$libdir/libnetclient.so" \
         "$libdir/libqxutf8.so" bin/drvinstall bin/setupboot bin/qxserver bin/qxsort \
         share/qxodbc/demo.json; do
  [ -f "$prefix/$f" ] || fail "$f not installed: $(cd "$prefix" && find . -type f)"
done
for f in "$prefix/$libdir"/*.so "$prefix"/bin/*; do
  paths=$(readelf -d "$f" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p')
  case $f in
    *.so) [ -z "$paths" ] || [ "$paths" = '$ORIGIN' ] || fail "$f: run path $paths" ;;
    *) [ -z "$paths" ] || fail "$f: run path $paths" ;;
  esac
done

echo "== drvinstall --help, and without a terminal"
out=$("$prefix/bin/drvinstall" --help) || fail "--help exit $?"
grep -q -- '--auto' <<< "$out" || fail "usage: $out"
export QX_LOCK_DIR=$dir/lock QX_DIALOG=none ASAN_OPTIONS=detect_leaks=0
mkdir -p "$dir/lock" "$dir/sys"
: > "$dir/sys/odbcinst.ini"
export ODBCSYSINI=$dir/sys ODBCINI=$dir/user.ini
unset QX_INSTALL_PREFIX
rc=0; out=$("$prefix/bin/drvinstall" --prefix "$dir/none" 2>&1) || rc=$?
[ "$rc" = 3 ] || fail "no terminal exit $rc"
grep -q -- 'drvinstall --auto' <<< "$out" || fail "no hint of --auto: $out"

"$prefix/bin/qxserver" --port 0 --fixture "$prefix/share/qxodbc/demo.json" > "$dir/server.out" &
pid=$!
for _ in $(seq 50); do grep -q 'listening on' "$dir/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/listening on/{print $3; exit}' "$dir/server.out")
[ -n "$port" ] || fail "qxserver did not start"
client_env=(env "LD_PRELOAD=${QX_PRELOAD:-}")

for from in "$prefix/bin" "$build/setup"; do
  echo "== drvinstall from $from"
  rm -rf "$dir/drv"
  "$from/drvinstall" --prefix "$dir/drv" --auto --dsn demo --dbq "TCP/IP:127.0.0.1:$port" \
    > "$dir/drvinstall.out" || fail "drvinstall exit $?: $(cat "$dir/drvinstall.out")"
  for f in libsqldriver.so libdsnconfig.so libnetclient.so libqxutf8.so; do
    [ -f "$dir/drv/$f" ] || fail "$f not copied from $from"
  done
  grep -Eq "^Driver *= *$dir/drv/libsqldriver.so" "$dir/sys/odbcinst.ini" || fail "Driver=: $(cat "$dir/sys/odbcinst.ini")"
  grep -q "^\[demo\]" "$dir/sys/odbc.ini" || fail "no data source: $(cat "$dir/sys/odbc.ini")"
  grep -q '^TranslationDLL' "$dir/sys/odbc.ini" ||
    printf 'TranslationDLL = %s\n' "$dir/drv/libqxutf8.so" >> "$dir/sys/odbc.ini"
  out=$(echo "SELECT COUNT(*) FROM Customers WHERE City = 'Zürich'" |
        "${client_env[@]}" isql -b -d'|' demo demo demo 2>&1) || true
  [ "$(grep -E '^ *[0-9]+ *$' <<< "$out" | tr -d ' ')" = 13 ] || fail "isql: $out"
  out=$(echo "SELECT Name FROM Customers WHERE ID = 2" |
        "${client_env[@]}" isql -b -d'|' demo demo demo 2>&1) || true
  grep -q 'Zoë Müller' <<< "$out" || fail "isql read: $out"
done
echo "install tree: all passed"
