#!/usr/bin/env bash
# Checks that no source includes a header of a layer above its own:
# ROOT (the source tree; default: the tree holding this script).
#
# Layers, lowest first:
#   platform < driver/core < driver/sort < netclient < driver/Sources
#   < driver/engine < driver/frontend < driver/odbc
# Inside the engine its stage folders are ranked the same way, lowest first:
#   tree < temp < expr < plan < exec < catalog
# (the files directly in driver/engine belong to none of them).
# A file belongs to the layer of the folder it is in (its tests and fuzz
# targets included). Quoted includes name a path from the root or from the
# including file's folder; angle-bracket ones a path from the root (any
# other is a system header). Tests and fuzz targets may also include the shared test
# helpers (tests/, qxserver/); production sources include neither those nor
# dsnconfig, setup or bench. qxserver's codec is independent of the client:
# qxserver includes no netclient or driver header (test helpers aside).
# dsnconfig, setup, tests and bench include what they need.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
dirs=()
for d in platform driver netclient qxserver; do [ -d "$d" ] && dirs+=("$d"); done

# Every file of the tree, then every include of the checked folders as
# "file<TAB>included path" (Q for quoted, A for angle brackets); awk ranks
# both sides and reports the ones against the order.
{
  find . -type f -not -path './.git/*' -not -path './build/*' | sed 's#^\./#F\t#'
  grep -rH --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' --include='*.y' \
       -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "${dirs[@]}" |
    sed -E -e 's/^([^:]*):[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/I\t\1\t\2\tQ/' \
           -e 's/^([^:]*):[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]*)>.*/I\t\1\t\2\tA/' | sort
} | awk -F'\t' '
BEGIN {
  n = split("platform driver/core driver/sort netclient driver/Sources driver/engine driver/frontend driver/odbc", layer, " ")
  ns = split("tree temp expr plan exec catalog", stage, " ")
  for (i = 1; i <= ns; i++) stage[i] = "driver/engine/" stage[i]
}
function rank(path,   i) {
  for (i = n; i >= 1; i--)
    if (index(path, layer[i] "/") == 1) return i
  return 0
}
# The engine stage folder of a path, 0 for none.
function stage_rank(path,   i) {
  for (i = ns; i >= 1; i--)
    if (index(path, stage[i] "/") == 1) return i
  return 0
}
function is_test(path) { return ("/" path) ~ /\/(tests|fuzz)\// }
# The root-relative path an include names: as written when it starts at the
# root, else (quoted only) resolved against the including file folder; ""
# when neither exists (a system or generated header).
function resolve(file, inc, quoted,   dir, parts, k, m, out, i) {
  if (inc in exists) return inc
  if (!quoted) return ""
  dir = file; sub(/[^\/]*$/, "", dir)
  m = split(dir inc, parts, "/"); k = 0
  for (i = 1; i <= m; i++) {
    if (parts[i] == "" || parts[i] == ".") continue
    if (parts[i] == "..") { if (k > 0) k--; continue }
    out[++k] = parts[i]
  }
  path = ""
  for (i = 1; i <= k; i++) path = path (i > 1 ? "/" : "") out[i]
  return (path in exists) ? path : ""
}
function report(file, inc, why) {
  print file ": includes " (quoted ? "\"" inc "\"" : "<" inc ">") " (" why ")"; bad++
}
$1 == "F" { exists[$2] = 1; next }
$1 == "I" {
  file = $2; inc = $3; quoted = ($4 == "Q")
  path = resolve(file, inc, quoted)
  if (path == "") next
  if (index(file, "qxserver/") == 1) {
    if (!is_test(path) && (index(path, "netclient/") == 1 || index(path, "driver/") == 1))
      report(file, inc, "the server codec is independent of the client")
    next
  }
  own = rank(file)
  if (own == 0) next
  if (path ~ /^(qxserver|tests)\//) {
    if (!is_test(file)) report(file, inc, "test helpers are for tests")
    next
  }
  if (path ~ /^(dsnconfig|setup|bench)\//) { report(file, inc, "not a driver layer"); next }
  target = rank(path)
  if (target > own) { report(file, inc, layer[target] " is above " layer[own]); next }
  ownStage = stage_rank(file); targetStage = stage_rank(path)
  if (ownStage > 0 && targetStage > ownStage)
    report(file, inc, stage[targetStage] " is above " stage[ownStage])
}
END {
  if (bad > 0) { print bad " include(s) against the layer order"; exit 1 }
  print "includes follow the layer order"
}'
