#!/usr/bin/env bash
# Runs the client examples of README.md ("Clients") as they are written:
#   readme_clients.sh README QXSERVER FIXTURE SQLDRIVER QXUTF8
# Each example follows a line <!-- client: NAME expect="TEXT" --> and must
# end well and print TEXT. They connect to the data source "demo": here the
# demo database on a free port with the translation library (without it for
# NAME pyodbc-cp1252), in private ODBCSYSINI/ODBCINI files. The clients that
# scripts/setup installs must be there; PHP and R run when installed.
set -euo pipefail
readme=$1 server=$2 fixture=$3 driver=$4 utf8=$5

dir=$(mktemp -d)
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT

"$server" --port 0 --fixture "$fixture" > "$dir/out" &
pid=$!
for _ in $(seq 600); do grep -q 'listening on' "$dir/out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/listening on/{print $3; exit}' "$dir/out")
[ -n "$port" ] || { echo "qxserver did not start"; exit 1; }

printf '[ODBC Driver for QX Server]\nDriver=%s\n' "$driver" > "$dir/odbcinst.ini"
dsn="[demo]\nDriver=ODBC Driver for QX Server\nDBQ=TCP/IP:127.0.0.1:$port\n"
printf "${dsn}TranslationDLL=%s\n" "$utf8" > "$dir/utf8.ini"
printf "$dsn" > "$dir/cp1252.ini"
export ODBCSYSINI=$dir QX_DIALOG=none QX_DRIVE_ROOT_DIR=$dir/drive LANG=C.UTF-8 LC_ALL=C.UTF-8
# Uninstrumented clients load our sanitized libraries.
client=(env "LD_PRELOAD=${QX_PRELOAD:-}" "ASAN_OPTIONS=detect_leaks=0")

# The examples: "NAME<TAB>EXPECT<TAB>FILE" lines, each code block in FILE.
awk -v dir="$dir" '
  match($0, /^<!-- client: [a-z0-9-]+ expect="[^"]*" -->$/) {
    line = $0; sub(/^<!-- client: /, "", line); sub(/" -->$/, "", line)
    name = line; sub(/ .*/, "", name); expect = line; sub(/^[^"]*"/, "", expect)
    want = 1; next
  }
  want && /^```/ { if (inside) { inside = 0; want = 0; close(file); next }
                   n++; file = dir "/example" n; inside = 1
                   print name "\t" expect "\t" file; next }
  inside { print > file }
' "$readme" > "$dir/examples"

run() { # NAME FILE
  case $1 in
    isql) "${client[@]}" bash "$2" ;;
    # iusql copies overlapping strings itself, which the sanitizers' string
    # checks would stop.
    iusql) "${client[@]}" ASAN_OPTIONS=detect_leaks=0:replace_str=0 bash "$2" ;;
    pyodbc|pyodbc-cp1252|pandas) "${client[@]}" /usr/bin/python3 "$2" ;;
    perl) "${client[@]}" perl "$2" ;;
    php) "${client[@]}" php -n -d extension=odbc "$2" ;;
    r) "${client[@]}" Rscript "$2" ;;
    *) echo "no way to run example $1"; return 1 ;;
  esac
}
# Whether the client is there; the ones scripts/setup installs must be.
present() {
  case $1 in
    php) command -v php > /dev/null && php -n -d extension=odbc -r 'exit(extension_loaded("odbc") ? 0 : 1);' 2>/dev/null ;;
    r) command -v Rscript > /dev/null && Rscript -e 'library(RODBC)' > /dev/null 2>&1 ;;
    *) return 0 ;;
  esac
}

passed=0 failed=0 skipped=0
seen=" "
while IFS=$'\t' read -r name expect file; do
  seen+="$name "
  if ! present "$name"; then
    echo "SKIP $name: the client is not installed"; skipped=$((skipped + 1)); continue
  fi
  # PHP loads its extensions with RTLD_DEEPBIND, which the sanitizers'
  # runtime refuses: it runs against an uninstrumented build only.
  if [ "$name" = php ] && [ -n "${QX_PRELOAD:-}" ]; then
    echo "SKIP php: not loadable under the sanitizers"; skipped=$((skipped + 1)); continue
  fi
  ini=$dir/utf8.ini
  [ "$name" = pyodbc-cp1252 ] && ini=$dir/cp1252.ini
  rc=0
  out=$(ODBCINI=$ini run "$name" "$file" 2>&1) || rc=$?
  if [ "$rc" = 0 ] && grep -qF -- "$expect" <<< "$out"; then
    echo "PASS $name"; passed=$((passed + 1))
  else
    echo "FAIL $name (exit $rc, expected \"$expect\"):"; echo "$out"; failed=$((failed + 1))
  fi
done < "$dir/examples"
for name in isql iusql pyodbc pyodbc-cp1252 pandas perl php r; do
  case $seen in *" $name "*) ;; *) echo "FAIL the README shows no $name example"; failed=$((failed + 1)) ;; esac
done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
