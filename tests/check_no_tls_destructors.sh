#!/usr/bin/env bash
# Checks that a library registers no thread-local destructors: the Driver
# Manager unloads the driver while threads that used it live on, and a
# destructor registered for such a thread would run (or be scanned) after the
# library is gone. Thread-local state in these libraries is plain data.
set -euo pipefail
lib=$1
if nm -D --undefined-only "$lib" | grep -q '__cxa_thread_atexit'; then
  echo "$lib registers thread-local destructors (a thread_local with a destructor):"
  nm -D --undefined-only "$lib" | grep '__cxa_thread_atexit'
  exit 1
fi
echo "$lib: no thread-local destructors"
