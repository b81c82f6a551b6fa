#!/usr/bin/env bash
# Measures travenne, reporting (not asserting) two figures:
#   - the size of the x86 travenne.exe (the product), against its 48 KiB budget;
#   - what a run costs under Wine on a seeded machine, against a program that
#     does nothing: both started in alternation by e2e/runcost.c in one prefix,
#     fastest of ROUNDS rounds each (goal: at most 1.1 times). A second baseline,
#     the same do-nothing program linked to advapi32, separates what loading
#     the registry's DLL costs from what travenne's own work costs. Measured
#     for the x86 package (the product, in Wine's WoW64 mode, with 32-bit
#     baselines) and for the x64 twin.
#   scripts/measure-travenne.sh [ROUNDS]   (default 40)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-40}
scripts/setup.sh
scripts/build.sh x86 x64 >/dev/null

size=$(stat -c %s dist/x86/travenne.exe)
printf 'x86 travenne.exe: %d bytes (%.1f KiB; budget 48 KiB)\n' "$size" "$(echo "$size / 1024" | bc -l)"

. scripts/wine-prefix.sh
unset DISPLAY
wine_boot
# A persistent server keeps Wine's mount manager from dropping the seeded
# MountedDevices values between the commands below.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" reg query 'HKLM\System\MountedDevices' </dev/null >/dev/null 2>&1
reg() { "$WINE" reg "$@" </dev/null >/dev/null 2>&1; }

# The seeded machine: two hard disks, a USB flash drive and a five-slot card
# reader with cards in its SD and CF slots.
disk_enum='HKLM\System\CurrentControlSet\Services\disk\Enum'
names=(
  'IDE\DiskHDD80GB0A_____________________3.06____\5&1a2b3c4d&0&0.0.0'
  'IDE\DiskDrive2_80GB000__________________YAR41BW0\5&2b3c4d5e&0&0.1.0'
  'USBSTOR\DISK&VEN_FLASHCO&PROD_POCKETDRIVE1&REV_1.00\0000000000F1&0'
  'USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_CF&REV_1.00\000000000001&0'
  'USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_SD&REV_1.00\000000000001&1'
  'USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_SM&REV_1.00\000000000001&2'
  'USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_MS&REV_1.00\000000000001&3'
  'USBSTOR\DISK&VEN_GENRIC&PROD_CARDREADER_Combo&REV_1.00\000000000001&4'
)
reg add "$disk_enum" /v Count /t REG_DWORD /d ${#names[@]} /f
for i in "${!names[@]}"; do
  reg add "$disk_enum" /v "$i" /t REG_SZ /d "${names[$i]}" /f
  reg add "HKLM\\System\\CurrentControlSet\\Enum\\${names[$i]}" /v ParentIdPrefix /t REG_SZ /d "7&1a2b3c$i&0" /f
done
volume_hex() {
  printf '%s' "\\??\\STORAGE#RemovableMedia#$1&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}" |
    iconv -f ascii -t utf-16le | od -An -tx1 -v | tr -d ' \n'
}
reg add 'HKLM\System\MountedDevices' /v '\DosDevices\E:' /t REG_BINARY /d "$(volume_hex '7&1a2b3c2&0')" /f
reg add 'HKLM\System\MountedDevices' /v '\DosDevices\F:' /t REG_BINARY /d "$(volume_hex '7&1a2b3c3&0')" /f
reg add 'HKLM\System\MountedDevices' /v '\DosDevices\G:' /t REG_BINARY /d "$(volume_hex '7&1a2b3c4&0')" /f

for arch in x86 x64; do
  mkdir -p "$WINEPREFIX/drive_c/$arch"
  cp dist/$arch/travenne.exe build/$arch/e2e/{noop,noop_registry,runcost}.exe "$WINEPREFIX/drive_c/$arch/"
done
runcost() {
  "$WINE" "C:\\$arch\\runcost.exe" "$rounds" "C:\\$arch\\$1.exe" "C:\\$arch\\$2.exe" </dev/null 2>&1 |
    tr -d '\r' | grep -v 'in experimental wow64 mode'
}
for arch in x86 x64; do
  echo "Wine run cost of the $arch package, $rounds rounds each, alternating:"
  echo "- travenne against a program that does nothing (the goal: at most 1.1 times)"
  runcost travenne noop | sed 's/^/    /'
  echo "- of which loading advapi32, which any registry user needs: a do-nothing program linked to it"
  runcost noop_registry noop | sed 's/^/    /'
  echo "- travenne against that do-nothing program linked to advapi32"
  runcost travenne noop_registry | sed 's/^/    /'
done
echo "icons the seeded run leaves:"
"$WINE" reg query 'HKCR\Applications\Explorer.exe\Drives' /s </dev/null 2>/dev/null | tr -d '\r' |
  awk '/\\Drives\\.\\DefaultIcon$/ { n = split($0, p, "\\"); l = p[n - 1] } /REG_SZ/ && l != "" { sub(/^.*REG_SZ[ \t]*/, ""); print "  " l ": " $0; l = "" }'
