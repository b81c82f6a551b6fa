#!/usr/bin/env bash
# Resources of brelmot.exe (x86 package), read back from the binary:
#   - the seven icon groups 107, 108, 129..133 in this resource order (the
#     DriveIcons values index them by position), each with its images' sizes
#     and colour depths;
#   - strings 103, 106, 109; menu 109; accelerators 109; dialog 103.
#   brelmot-resources.sh BINARY
set -u
bin=$1
fail=0
err() { echo "FAIL brelmot.exe resources: $*"; fail=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -f "$bin" ] || { echo "FAIL brelmot.exe resources: $bin missing"; exit 1; }
list=$(wrestool -l "$bin")

groups=$(sed -n 's/^--type=14 --name=\([0-9]*\) .*/\1/p' <<<"$list" | tr '\n' ' ')
[ "$groups" = "107 108 129 130 131 132 133 " ] || err "icon groups in resource order are '$groups', not '107 108 129 130 131 132 133 '"

slot="16x16:4 32x32:1 32x32:4 32x32:8 48x48:8"
declare -A want=([107]="16x16:4 32x32:4" [108]="16x16:4" [129]="$slot" [130]="$slot" [131]="$slot"
                 [132]="$slot" [133]="16x16:4 32x32:1 32x32:4 32x32:8 48x48:24")
for id in 107 108 129 130 131 132 133; do
  wrestool -x --type=14 --name=$id -o "$work/$id.ico" "$bin" 2>/dev/null
  got=$(icotool -l "$work/$id.ico" 2>/dev/null |
        sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=\([0-9]*\).*/\1x\2:\3/p' | tr '\n' ' ')
  [ "$got" = "${want[$id]} " ] || err "icon group $id has images '$got', not '${want[$id]} '"
done

# String block 7 holds ids 96..111: 16 counted UTF-16 strings.
strings=$(wrestool -x --raw --type=6 --name=7 "$bin" | perl -e '
  local $/; my $b = <STDIN>; my $at = 0;
  for my $i (0..15) {
    my $n = unpack("v", substr($b, $at, 2)); $at += 2;
    my $s = join("", map { chr } unpack("v*", substr($b, $at, 2 * $n))); $at += 2 * $n;
    print 96 + $i, "=$s\n" if $n;
  }')
[ "$strings" = $'103=brelmot\n106=Hello World!\n109=BRELMOT' ] || err "strings are '$strings'"

grep -q -- '--type=4 --name=109 ' <<<"$list" || err "no menu 109"
# Accelerator entries: flags, character, command, padding; the last flags 0x80.
accel=$(wrestool -x --raw --type=9 --name=109 "$bin" | perl -e '
  local $/; my $b = <STDIN>;
  for (my $at = 0; $at + 8 <= length $b; $at += 8) {
    my ($f, $k, $c) = unpack("vvv", substr($b, $at, 6));
    printf "%x %s %d\n", $f, chr $k, $c;
  }')
[ "$accel" = $'10 ? 104\n90 / 104' ] || err "accelerators are '$accel'"

# DLGTEMPLATE: style, extended style, item count, x, y, cx, cy.
dialog=$(wrestool -x --raw --type=5 --name=103 "$bin" | perl -e '
  local $/; my $b = <STDIN>;
  my ($style, $ex, $n, $x, $y, $cx, $cy) = unpack("VVvssss", $b);
  printf "%08x %d %d %d,%d %dx%d\n", $style, $ex, $n, $x, $y, $cx, $cy;')
[ "$dialog" = "00c800c0 0 4 22,17 230x75" ] || err "dialog 103 is '$dialog'"

[ $fail -eq 0 ] && echo "brelmot.exe: resources as listed"
exit $fail
