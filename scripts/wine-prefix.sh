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
  wine_stop_server
  rm -rf "$work"
}

# Ends the prefix's server and everything it runs. Debian's Wine keeps the
# server's socket in a directory of its own, /tmp/wine-XXXXXX, named in the
# prefix's file "wineserver", and leaves it behind: it goes too.
wine_stop_server() {
  local name
  "$WINESERVER" -k >/dev/null 2>&1
  name=$(cat "$WINEPREFIX/wineserver" 2>/dev/null) || return 0
  case "$name" in
    wine-[A-Za-z0-9][A-Za-z0-9][A-Za-z0-9][A-Za-z0-9][A-Za-z0-9][A-Za-z0-9])
      [ -O "/tmp/$name" ] && rm -rf "/tmp/$name" ;;
  esac
  return 0
}
trap wine_cleanup EXIT

# Creates the prefix and lets everything its first boot started settle and end,
# so that a test's own services do not race with the boot's. A first boot on a
# busy machine now and then fails within a second, before the prefix is
# usable; the prefix is then thrown away and made again, at most three times,
# and what each failed boot printed goes to stderr.
wine_boot() {
  [ -f "$ZP_WINEDLLPATH/i386-windows/kernel32.dll" ] ||
    { echo "no 32-bit Wine DLLs in $ZP_WINEDLLPATH: run scripts/setup.sh"; return 1; }
  local attempt out
  for attempt in 1 2 3; do
    if out=$(timeout 180 "$WINE" wineboot -i 2>&1) && timeout 120 "$WINESERVER" -w; then
      return 0
    fi
    printf 'wineboot failed (attempt %s of 3):\n%s\n' "$attempt" "$(printf '%s\n' "$out" | tail -n 20)" >&2
    wine_stop_server
    rm -rf "$WINEPREFIX"
    sleep 2
  done
  return 1
}

# Windows without an X display: Wine's null graphics driver. Its windows,
# messages and timers work for 64-bit and 32-bit programs alike, where the X11
# driver does not load in WoW64 mode. Wine's desktop process reads the setting
# when a session starts, so the session of this call ends before anything else.
wine_null_graphics() {
  "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 120 "$WINESERVER" -w
}
