# Sourced by the scripts that run the x64 package under 64-bit Wine: a
# throwaway prefix in $work/pfx for this shell, whose server and files go when
# the shell exits (wine_cleanup; a script that traps EXIT itself calls it).
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
work=$(mktemp -d)
export WINEPREFIX="$work/pfx" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap wine_cleanup EXIT

# Creates the prefix and lets everything its first boot started settle and end,
# so that a test's own services do not race with the boot's.
wine_boot() {
  timeout 180 "$WINE" wineboot -i >/dev/null 2>&1 || return 1
  timeout 120 "$WINESERVER" -w
}
