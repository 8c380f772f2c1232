#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a throwaway prefix:
#   tools/wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Used as the cross-compiling emulator of the Windows build, so CTest and
# GoogleTest's test listing run the .exe files through it. The first call
# creates the prefix (a few seconds); calls may run in parallel. Output lines
# lose their carriage returns, so test listings parse as on Linux.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY

mkdir -p "$prefix"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot --init </dev/null >/dev/null 2>&1 || true
  fi
  # A server that outlives this program by a minute, started apart from the
  # caller's pipes: otherwise the server Wine starts on demand inherits them
  # and CTest waits for it to exit. Fails harmlessly when one is running.
  wineserver -p60 </dev/null >/dev/null 2>&1 || true
) 9>"$prefix.lock"

wine "$@" | tr -d '\r'
