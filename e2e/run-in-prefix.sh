#!/usr/bin/env bash
# Runs one end-to-end test program under 64-bit Wine in a throwaway prefix of
# its own, with the x64 package copied to C:\pkg, and passes its exit code on.
#   run-in-prefix.sh [--xvfb] TEST.exe DIST_DIR [args...]
# The test program gets C:\pkg as its first argument. The prefix and its
# wineserver are gone afterwards, whatever the outcome.
set -u
xvfb=0
if [ "${1:-}" = "--xvfb" ]; then xvfb=1; shift; fi
test_exe=$1 dist=$2
shift 2

. "$(dirname "$(readlink -f "$0")")/../scripts/wine-prefix.sh"
xpid=""
trap '[ -n "$xpid" ] && kill "$xpid" 2>/dev/null; wine_cleanup' EXIT

if [ "$xvfb" = 1 ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { disp=$n; break; }
  done
  Xvfb ":$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  export DISPLAY=":$disp"
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$disp ] && break; sleep 0.1; done
else
  unset DISPLAY
fi

wine_boot || { echo "wineboot failed"; exit 1; }
mkdir -p "$WINEPREFIX/drive_c/pkg"
cp -r "$dist"/. "$WINEPREFIX/drive_c/pkg/"
cp "$test_exe" "$WINEPREFIX/drive_c/pkg/"
timeout 600 "$WINE" "C:\\pkg\\$(basename "$test_exe")" 'C:\pkg' "$@" 2>&1 | tr -d '\r'
rc=${PIPESTATUS[0]}
exit "$rc"
