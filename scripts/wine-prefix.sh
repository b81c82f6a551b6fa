# Sourced by the scripts that run the package under 64-bit Wine: a throwaway
# prefix in $work/pfx for this shell, whose server and files go when the shell
# exits (wine_cleanup; a script that traps EXIT itself calls it).
# WINEDLLPATH names Wine's 32-bit Windows DLLs before the prefix exists, so
# that its boot fills C:\windows\syswow64 and the x86 package runs in Wine's
# WoW64 mode; it stays set for every later wine call.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
. "$(dirname "${BASH_SOURCE[0]}")/wine32-dir.sh"
work=$(mktemp -d)
export WINEPREFIX="$work/pfx" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEDLLPATH="$ZP_WINEDLLPATH"
wine_cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap wine_cleanup EXIT

# Creates the prefix and lets everything its first boot started settle and end,
# so that a test's own services do not race with the boot's.
wine_boot() {
  [ -f "$ZP_WINEDLLPATH/i386-windows/kernel32.dll" ] ||
    { echo "no 32-bit Wine DLLs in $ZP_WINEDLLPATH: run scripts/setup.sh"; return 1; }
  timeout 180 "$WINE" wineboot -i >/dev/null 2>&1 || return 1
  timeout 120 "$WINESERVER" -w
}

# Windows without an X display: Wine's null graphics driver. Its windows,
# messages and timers work for 64-bit and 32-bit programs alike, where the X11
# driver does not load in WoW64 mode. Wine's desktop process reads the setting
# when a session starts, so the session of this call ends before anything else.
wine_null_graphics() {
  "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 120 "$WINESERVER" -w
}
