#!/usr/bin/env bash
# Checks that the modules of one folder include each other one way only:
# FOLDER (a folder of sources, e.g. driver/odbc), ROOT (the tree it is in;
# default: the tree holding this script).
#
# A module is a header with the sources that implement it: X.h, X.cpp, and
# any source without a header of its own name whose first include is X.h
# (a source names the header it implements first). A source whose first
# include is no header of the folder (the exported entry points start with
# <sql.h>) is a module of its own. Module A depends on module B when a file
# of A includes B's header ("FOLDER/B.h" or "B.h"); files in subfolders
# (tests, fuzz targets) are not part of the folder.
#
# Prints the modules in layers, lowest first (a module depends only on
# layers below it), or the first cycle found and exits 1.
set -euo pipefail
folder=${1:?usage: check_module_cycles.sh FOLDER [ROOT]}
root=${2:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root/$folder"
shopt -s nullglob
files=(*.h *.cpp)
[ ${#files[@]} -gt 0 ] || { echo "no sources in $folder"; exit 1; }

# "F<TAB>file" for every file, "I<TAB>file<TAB>n<TAB>include" for every
# include in order (quoted and angle-bracket ones: the first decides the
# module).
{
  for f in "${files[@]}"; do printf 'F\t%s\n' "$f"; done
  for f in "${files[@]}"; do
    { grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$f" || true; } |
      sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' |
      awk -v f="$f" '{ printf "I\t%s\t%d\t%s\n", f, NR, $0 }'
  done
} | awk -F'\t' -v folder="$folder" '
function base(name) { sub(/\.(h|cpp)$/, "", name); return name }
# The module a header of the folder names ("" for any other include).
function header(inc,   prefix) {
  prefix = folder "/"
  if (index(inc, prefix) == 1) inc = substr(inc, length(prefix) + 1)
  if (index(inc, "/") > 0 || !(inc in isfile) || inc !~ /\.h$/) return ""
  return base(inc)
}
$1 == "F" { isfile[$2] = 1; order[++nfiles] = $2; next }
$1 == "I" { incs[$2, $3] = $4; count[$2] = $3 }
END {
  for (i = 1; i <= nfiles; i++) {
    f = order[i]; m = base(f)
    if (f ~ /\.cpp$/ && !((m ".h") in isfile)) {
      first = count[f] > 0 ? header(incs[f, 1]) : ""
      if (first != "") m = first
    }
    module[f] = m
    if (!(m in known)) { known[m] = 1; names[++nmod] = m }
  }
  for (i = 1; i <= nfiles; i++) {
    f = order[i]
    for (k = 1; k <= count[f]; k++) {
      to = header(incs[f, k])
      if (to == "" || to == module[f] || ((module[f], to) in edge)) continue
      edge[module[f], to] = 1
      out[module[f], ++deg[module[f]]] = to
      why[module[f], to] = f " includes " incs[f, k]
    }
  }
  for (i = 1; i <= nmod; i++)
    if (visit(names[i]) < 0) {
      print "cycle among the modules of " folder ": " cycle
      exit 1
    }
  for (i = 1; i <= nmod; i++) if (level[names[i]] > top) top = level[names[i]]
  print nmod " modules of " folder ", no cycle; lowest layer first:"
  for (l = 0; l <= top; l++) {
    line = ""
    for (i = 1; i <= nmod; i++) if (level[names[i]] == l) line = line " " names[i]
    print "  " l ":" line
  }
}
# Depth-first: 0 white, 1 on the path, 2 done; level = 1 + the highest level
# of what it depends on. -1 when a cycle was found (its text in cycle).
function visit(m,   k, to, j) {
  if (state[m] == 2) return 0
  state[m] = 1
  path[++depth] = m
  level[m] = 0
  for (k = 1; k <= deg[m]; k++) {
    to = out[m, k]
    if (state[to] == 1) {
      for (j = 1; path[j] != to; j++) {}
      cycle = to; reasons = ""
      for (; j <= depth; j++) {
        next_ = j < depth ? path[j + 1] : to
        cycle = cycle " -> " next_
        reasons = reasons "\n  " path[j] " -> " next_ ": " why[path[j], next_]
      }
      cycle = cycle reasons
      return -1
    }
    if (visit(to) < 0) return -1
    if (level[to] + 1 > level[m]) level[m] = level[to] + 1
  }
  depth--
  state[m] = 2
  return 0
}'
