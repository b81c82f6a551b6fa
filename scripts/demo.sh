#!/usr/bin/env bash
# Builds the package and runs its deliverables under 64-bit Wine in a
# throwaway prefix, against a simulated machine, printing what each one did.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh x86 x64 >/dev/null

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
work=$(mktemp -d)
export WINEPREFIX="$work/pfx" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap '"$WINESERVER" -k >/dev/null 2>&1; rm -rf "$work"' EXIT

say() { printf '\n== %s\n' "$*"; }
run() { "$WINE" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

say "a throwaway Wine prefix"
timeout 180 "$WINE" wineboot -i >/dev/null 2>&1
timeout 120 "$WINESERVER" -w
mkdir -p "$WINEPREFIX/drive_c/pkg"
cp dist/x64/* build/x64/e2e/svcinfo.exe build/x64/e2e/zeltadll_demo.exe "$WINEPREFIX/drive_c/pkg/"
echo "package copied to C:\\pkg: $(ls dist/x64 | tr '\n' ' ')"
echo "x86 product sizes: $(cd dist/x86 && for f in *.exe *.dll; do [ -f "$f" ] && printf '%s %s bytes; ' "$f" "$(stat -c %s "$f")"; done)"

say "norvainst i"
rc=0; run 'C:\pkg\norvainst.exe' i || rc=$?
echo "exit code $rc"
run 'C:\pkg\svcinfo.exe' NORVA

say "norvainst u"
rc=0; run 'C:\pkg\norvainst.exe' u || rc=$?
echo "exit code $rc"
for _ in $(seq 30); do
  out=$(run 'C:\pkg\svcinfo.exe' NORVA)
  case "$out" in *"does not exist"*) break ;; esac
  sleep 0.2
done
echo "$out"

say "zeltadrv.sys: the simulated maker driver behind \\\\.\\ZELTA (test equipment, x64 only)"
K='HKLM\System\CurrentControlSet\Services\zeltadrv\Parameters'
run sc create zeltadrv type= kernel start= demand binPath= 'C:\pkg\zeltadrv.sys' >/dev/null
run reg add "$K" /v Slot0Name /d 'USB#Vid_1234&Pid_5678#sim0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}' /f >/dev/null
run reg add "$K" /v Slot0Value /t REG_DWORD /d 0x11 /f >/dev/null
run reg add "$K" /v Slot0Serial /d SIM0001 /f >/dev/null
run reg query "$K"
# The first driver start in a new prefix can hang and fail; a new try goes through.
for _ in 1 2 3; do
  timeout 70 "$WINE" sc start zeltadrv >/dev/null 2>&1 && break
done
echo "after sc start: $(run sc query zeltadrv | grep STATE | tr -s ' ')"
run sc stop zeltadrv >/dev/null || true
echo "after sc stop:  $(run sc query zeltadrv | grep STATE | tr -s ' ')"
# The service stays registered: the zeltadll demo below configures and starts it again.

say "zeltadll: fake card readers made in the prefix, searched through the DLL, then one locked through the simulated driver"
run 'C:\pkg\zeltadll_demo.exe' 'C:\pkg'
