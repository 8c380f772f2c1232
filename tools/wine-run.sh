#!/usr/bin/env bash
# Runs a Windows program under Wine, headless, in a throwaway prefix:
#   tools/wine-run.sh win32|win64 PREFIX PROGRAM.exe [ARGS...]
# Used as the cross-compiling emulator of the Windows builds, so CTest and
# GoogleTest's test listing run the .exe files through it. The first call
# creates the prefix (a few seconds); calls may run in parallel. Output lines
# lose their carriage returns, so test listings parse as on Linux.
set -euo pipefail
arch=$1
prefix=$(realpath -m "$2")  # Wine wants it absolute
shift 2

case $arch in
  win32) loader=$(command -v wine) ;;
  win64)
    # Debian keeps the 64-bit loader out of PATH (its `wine` prefers the
    # 32-bit one when both are installed); elsewhere `wine64` or a `wine`
    # that runs both.
    if command -v wine64 >/dev/null; then
      loader=$(command -v wine64)
    elif [ -x /usr/lib/wine/wine64 ]; then
      loader=/usr/lib/wine/wine64
    else
      loader=$(command -v wine)
    fi
    ;;
  *)
    echo "wine-run.sh: unknown architecture '$arch' (win32 or win64)" >&2
    exit 2
    ;;
esac

export WINEPREFIX="$prefix" WINEARCH="$arch" WINELOADER="$loader" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY

# Runs a command with nothing of ours open but /dev/null: a Wine server it
# starts lives on, and would otherwise keep the caller's pipes (CTest's test
# listing waits for those to close) or this script's lock.
detached() (
  for fd in /proc/$BASHPID/fd/*; do
    fd=${fd##*/}
    if [ "$fd" -gt 2 ]; then eval "exec $fd>&-"; fi
  done
  exec "$@" </dev/null >/dev/null 2>&1
)

mkdir -p "$prefix"
(
  flock 9
  if [ ! -d "$prefix/drive_c/windows" ]; then
    detached "$loader" wineboot --init || true
  fi
  # A server that outlives this program by a minute, so that the next test
  # finds it running. Fails harmlessly when one is.
  detached "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -p60 || true
) 9>"$prefix.lock"

"$loader" "$@" | tr -d '\r'
