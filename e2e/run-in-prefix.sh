#!/usr/bin/env bash
# Runs one end-to-end test program under 64-bit Wine in a throwaway prefix of
# its own, with a package copied to C:\pkg, and passes its exit code on. A
# 32-bit program (the x86 package and its tests) runs in Wine's WoW64 mode.
#   run-in-prefix.sh [--windows] [--with FILE]... TEST.exe DIST_DIR [args...]
# --windows: the program under test has windows; the prefix gets Wine's null
# graphics driver (no X display is needed). --with: a further file for C:\pkg.
# The test program gets C:\pkg as its first argument. The prefix and its
# wineserver are gone afterwards, whatever the outcome.
set -u
windows=0
with=()
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1; shift ;;
    --with) with+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
test_exe=$1 dist=$2
shift 2

. "$(dirname "$(readlink -f "$0")")/../scripts/wine-prefix.sh"
unset DISPLAY

wine_boot || { echo "wineboot failed"; exit 1; }
[ "$windows" = 1 ] && wine_null_graphics
mkdir -p "$WINEPREFIX/drive_c/pkg"
cp -r "$dist"/. "$WINEPREFIX/drive_c/pkg/"
cp "$test_exe" ${with[@]+"${with[@]}"} "$WINEPREFIX/drive_c/pkg/" || exit 1
timeout 600 "$WINE" "C:\\pkg\\$(basename "$test_exe")" 'C:\pkg' "$@" 2>&1 | tr -d '\r' |
  grep -v 'starting .* in experimental wow64 mode'
rc=${PIPESTATUS[0]}
exit "$rc"
