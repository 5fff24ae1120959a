#!/usr/bin/env bash
# Checks that each library exports the names its version script allows and
# nothing more: LIB PATTERN (an extended regular expression of allowed names).
set -euo pipefail
lib=$1
allowed=$2
extra=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v -E "^(${allowed})$" || true)
if [ -n "$extra" ]; then
  echo "$lib exports names outside its version script:"
  echo "$extra"
  exit 1
fi
echo "$lib: exports are as listed"
