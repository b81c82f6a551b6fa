#!/usr/bin/env bash
# Builds the package and runs its deliverables under 64-bit Wine in a
# throwaway prefix, against a simulated machine, printing what each one did.
# It runs the x86 package, the product, in Wine's WoW64 mode; --x64 runs the
# 64-bit twin instead.
#   scripts/demo.sh [--x64]
set -euo pipefail
cd "$(dirname "$0")/.."
arch=x86
case "${1:-}" in
  "") ;;
  --x64) arch=x64 ;;
  *) echo "usage: scripts/demo.sh [--x64]" >&2; exit 2 ;;
esac
scripts/setup.sh
scripts/build.sh x86 x64 >/dev/null

. scripts/wine-prefix.sh
unset DISPLAY

say() { printf '\n== %s\n' "$*"; }
run() { "$WINE" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# The registry as the package's programs see it: a 32-bit program sees
# HKLM\Software through Wow6432Node, so the x86 run seeds and reads it with
# the 32-bit reg.exe.
if [ "$arch" = x86 ]; then
  REG='C:\windows\syswow64\reg.exe'
  driver=build/x86/e2e/zeltadrv64/dist/zeltadrv.sys
else
  REG=reg
  driver=dist/x64/zeltadrv.sys
fi

say "the $arch package in a throwaway Wine prefix"
wine_boot
# brelmot's window needs no X display with Wine's null graphics driver.
wine_null_graphics
mkdir -p "$WINEPREFIX/drive_c/pkg"
cp dist/$arch/* build/$arch/e2e/{svcinfo,winmsg,zeltadll_demo}.exe "$driver" "$WINEPREFIX/drive_c/pkg/"
if [ "$arch" = x86 ]; then
  echo "the product: the x86 package, 32-bit programs run by Wine's WoW64 mode (scripts/demo.sh --x64: the 64-bit twin)"
else
  echo "the 64-bit twin of the package (scripts/demo.sh without --x64: the x86 product)"
fi
echo "package copied to C:\\pkg: $(ls dist/$arch | tr '\n' ' ')"
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

say "zeltadrv.sys: the simulated maker driver behind \\\\.\\ZELTA (test equipment, 64-bit for both packages)"
K='HKLM\System\CurrentControlSet\Services\zeltadrv\Parameters'
run sc create zeltadrv type= kernel start= demand binPath= 'C:\pkg\zeltadrv.sys' >/dev/null
run $REG add "$K" /v Slot0Name /d 'USB#Vid_1234&Pid_5678#sim0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}' /f >/dev/null
run $REG add "$K" /v Slot0Value /t REG_DWORD /d 0x11 /f >/dev/null
run $REG add "$K" /v Slot0Serial /d SIM0001 /f >/dev/null
run $REG query "$K"
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

# UTF-16LE hex of a text, as Windows keeps a removable volume in MountedDevices.
volume_hex() {
  printf '%s' "\\??\\STORAGE#RemovableMedia#$1&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}" |
    iconv -f ascii -t utf-16le | od -An -tx1 -v | tr -d ' \n'
}

say "zeltainfo: what zeltadll.dll finds, shown by the package's console tool on the same simulated machine"
# One wineserver for this section, so that the simulated driver, once
# started, stays loaded between the runs; ended before travenne's section.
"$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
"$WINESERVER" -p </dev/null >/dev/null 2>&1
# The session's own processes start now, with no pipe of ours attached that
# they would keep open.
"$WINE" reg query 'HKLM\System\MountedDevices' </dev/null >/dev/null 2>&1 || true
# Wine's mount manager dropped the volumes of the fake disks when the last
# session ended; they are named again, as zeltadll_demo named them.
mounts='E:7&bb&0 G:7&aa&0 F:7&cc&0'
for m in $mounts; do
  run $REG add 'HKLM\System\MountedDevices' /v "\\DosDevices\\${m%%:*}:" /t REG_BINARY /d "$(volume_hex "${m#*:}")" /f >/dev/null
done
zeltainfo() {
  echo "> zeltainfo $*"
  local rc=0
  run 'C:\pkg\zeltainfo.exe' "$@" || rc=$?
  echo "(exit code $rc)"
  echo
}
echo "the simulated driver is not loaded now:"
echo
zeltainfo
zeltainfo --json 0abc:1234
zeltainfo --serial 0x11
echo "the simulated driver loaded, serving both readers (slot 0: device 0x22, slot 1: device 0x11 with serial number 0123ABC):"
echo
run sc create zeltadrv type= kernel start= demand binPath= 'C:\pkg\zeltadrv.sys' >/dev/null
run $REG delete "$K" /f >/dev/null 2>&1 || true
run $REG add "$K" /v Slot0Name /d 'USB#VID_0ABC&PID_1234#5&2a3b4c5d&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}' /f >/dev/null
run $REG add "$K" /v Slot0Value /t REG_DWORD /d 0x22 /f >/dev/null
run $REG add "$K" /v Slot1Name /d 'USB#VID_0ABC&PID_1234#0123abc#{a5dcbf10-6530-11d2-901f-00c04fb951ed}' /f >/dev/null
run $REG add "$K" /v Slot1Value /t REG_DWORD /d 0x11 /f >/dev/null
run $REG add "$K" /v Slot1Serial /d 0123ABC /f >/dev/null
for _ in 1 2 3; do
  timeout 70 "$WINE" sc start zeltadrv >/dev/null 2>&1 && break
done
zeltainfo
zeltainfo -v 0abc:1234
zeltainfo --json 0abc:1234
zeltainfo --serial 0x11
zeltainfo --serial 0x22 --json
zeltainfo 0def:9999
zeltainfo 0abc:12345
run sc stop zeltadrv >/dev/null || true
run sc delete zeltadrv >/dev/null || true
for m in $mounts; do
  run $REG delete 'HKLM\System\MountedDevices' /v "\\DosDevices\\${m%%:*}:" /f >/dev/null || true
done
"$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
"$WINESERVER" -w </dev/null >/dev/null 2>&1 || true

say "travenne: a card reader with two slots, SD and CF, each with a card in it"
# Wine's mount manager drops the MountedDevices values of drives it does not
# know whenever it starts; a persistent wineserver keeps it running from here
# on, so the simulated volumes stay. (Started with no terminal or pipe of ours
# attached: it lives until the end.)
# (The server of the sections above may still be running: wait for its end.)
"$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" reg query 'HKLM\System\MountedDevices' </dev/null >/dev/null 2>&1
reg() { run $REG "$@" >/dev/null; }
disk_enum='HKLM\System\CurrentControlSet\Services\disk\Enum'
sd_slot='USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_SD&REV_1.00\000000000001&0'
cf_slot='USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_CF&REV_1.00\000000000001&1'
reg add "$disk_enum" /v Count /t REG_DWORD /d 3 /f
reg add "$disk_enum" /v 0 /t REG_SZ /d 'IDE\DiskHDD80GB0A_____________________3.06____\5&1a2b3c4d&0&0.0.0' /f
reg add "$disk_enum" /v 1 /t REG_SZ /d "$sd_slot" /f
reg add "$disk_enum" /v 2 /t REG_SZ /d "$cf_slot" /f
reg add "HKLM\\System\\CurrentControlSet\\Enum\\$sd_slot" /v ParentIdPrefix /t REG_SZ /d '7&2c3d4e5f&0' /f
reg add "HKLM\\System\\CurrentControlSet\\Enum\\$cf_slot" /v ParentIdPrefix /t REG_SZ /d '7&3d4e5f60&0' /f
reg add 'HKLM\System\MountedDevices' /v '\DosDevices\E:' /t REG_BINARY /d "$(volume_hex '7&2c3d4e5f&0')" /f
reg add 'HKLM\System\MountedDevices' /v '\DosDevices\F:' /t REG_BINARY /d "$(volume_hex '7&3d4e5f60&0')" /f
cp dist/$arch/*.ico "$WINEPREFIX/drive_c/windows/"
echo "disk list: a hard disk, the SD slot (volume on E:), the CF slot (volume on F:);"
echo "the five slot icons installed in C:\\windows"

# Each drive letter with the DefaultIcon it has, and travenne's marks.
show_icons() {
  run $REG query 'HKCR\Applications\Explorer.exe\Drives' /s | awk '
    /\\Drives\\.\\DefaultIcon$/ { n = split($0, p, "\\"); letter = p[n - 1]; next }
    letter != "" && /REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); printf "  %s: icon %s\n", letter, $0; letter = "" }'
  printf '  marks in HKLM\\Software\\Travenne:'
  run $REG query 'HKLM\Software\Travenne' | awk '$2 == "REG_SZ" && length($1) == 1 { printf " %s", $1 } END { print "" }'
}

say "travenne"
rc=0; run 'C:\pkg\travenne.exe' || rc=$?
echo "exit code $rc"
show_icons

say "the CF slot removed from the disk list; travenne again"
reg add "$disk_enum" /v Count /t REG_DWORD /d 2 /f
reg delete "$disk_enum" /v 2 /f
rc=0; run 'C:\pkg\travenne.exe' || rc=$?
echo "exit code $rc"
show_icons

say "brelmot (Windows 98/Me icon monitor), its window on Wine's null graphics driver"
# The travenne sections keep one wineserver alive: end that session first, so
# that brelmot's window and Wine's desktop start in a session of their own.
"$WINESERVER" -k >/dev/null 2>&1 || true
"$WINESERVER" -w >/dev/null 2>&1 || true
# Output through a file, not a pipe: the first window starts Wine's desktop
# process, which would inherit a pipe and keep it open.
runf() { local rc=0; "$WINE" "$@" >"$work/out" 2>&1 || rc=$?; tr -d '\r' <"$work/out"; return $rc; }
"$WINE" 'C:\pkg\brelmot.exe' >/dev/null 2>&1 &
brelmot_pid=$!
runf 'C:\pkg\winmsg.exe' find BRELMOT || true
rc=0; runf 'C:\pkg\brelmot.exe' || rc=$?
echo "a second brelmot.exe ended at once with exit code $rc (-1)"
runf 'C:\pkg\winmsg.exe' arrival BRELMOT || true
sleep 2
entries=$(runf $REG query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\DriveIcons' | grep -ci 'DriveIcons\\' || true)
echo "after the burst settled: $entries DriveIcons entries (no card-reader driver on this system: nothing to register)"
runf 'C:\pkg\winmsg.exe' close BRELMOT || true
rc=0; wait "$brelmot_pid" || rc=$?
echo "brelmot.exe exit code $rc"

say "the setup program: dist/zeltapkg-setup.exe ($(stat -c %s dist/zeltapkg-setup.exe) bytes, 32-bit, version 1.0.0.1)"
# A session of its own again, after brelmot's.
"$WINESERVER" -w >/dev/null 2>&1 || true
cp dist/zeltapkg-setup.exe "$WINEPREFIX/drive_c/pkg/"
# The setup program is 32-bit, whichever package the sections above ran: it
# sees HKLM\Software through Wow6432Node and the system folder as syswow64.
REG='C:\windows\syswow64\reg.exe'
sys32="$WINEPREFIX/drive_c/windows/syswow64"
instdir="$WINEPREFIX/drive_c/Program Files (x86)/Zelta card reader"
# A Wine process of this prefix runs the program.
running() {
  local pid
  for pid in $(pgrep -f "$1" || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
show_install() {
  echo "  files:$(cd "$WINEPREFIX/drive_c/windows" && for f in travenne.exe cfico.ico sdico.ico smico.ico msico.ico comboico.ico brelmot.exe; do [ -f "$f" ] && printf ' C:\\windows\\%s' "$f"; done)$([ -f "$sys32/zeltadll.dll" ] && printf ' C:\\windows\\system32\\zeltadll.dll')"
  if [ -d "$instdir" ]; then echo "  install folder: $(cd "$instdir" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')"; else echo "  install folder: none"; fi
  echo "  Run values:$(runf $REG query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' | awk '$2 == "REG_SZ" { printf " %s = %s", $1, $3 }')"
  echo "  Add/Remove Programs:$(runf $REG query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\zeltapkg' 2>/dev/null |
    awk '$1 ~ /^(DisplayName|DisplayVersion|EstimatedSize)$/ { n = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); printf " %s=%s", n, $0 }' || true)"
  echo "  service: $(runf 'C:\pkg\svcinfo.exe' NORVA | head -1)"
  echo "  brelmot: $(running 'windows.brelmot\.exe' && echo running || echo not running)"
}
# The uninstaller works on from a copy of itself and ends with the install folder.
wait_uninstalled() {
  for _ in $(seq 600); do [ -d "$instdir" ] || break; sleep 0.1; done
}
cp dist/x86/norvainst.exe "$sys32/norva.exe"
echo "a stand-in for the service program norva.exe put into the system folder"
echo "before:"
show_install
show_icons || true

say "zeltapkg-setup.exe /S (the Windows 2000/XP programs)"
rc=0; runf 'C:\pkg\zeltapkg-setup.exe' /S || rc=$?
echo "exit code $rc"
echo "(travenne's pass at the end: the SD slot of the travenne section is still in the disk list, but its"
echo " simulated volume went with that session, so the slot gets the first free letter, D; E's icon is swept)"
show_install
show_icons || true

say "uninstall.exe /S"
runf "C:\\Program Files (x86)\\Zelta card reader\\uninstall.exe" /S || true
wait_uninstalled
show_install
show_icons || true

say "zeltapkg-setup.exe /S /WIN9X (the Windows 98/Me programs, forced on this system)"
rc=0; runf 'C:\pkg\zeltapkg-setup.exe' /S /WIN9X || rc=$?
echo "exit code $rc"
runf 'C:\pkg\winmsg.exe' find BRELMOT || true
show_install

say "uninstall.exe /S: brelmot's window is closed"
runf "C:\\Program Files (x86)\\Zelta card reader\\uninstall.exe" /S || true
wait_uninstalled
for _ in $(seq 100); do running 'windows.brelmot\.exe' || break; sleep 0.1; done
show_install
