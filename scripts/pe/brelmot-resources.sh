#!/usr/bin/env bash
# Resources of brelmot.exe (x86 package), read back from the binary:
#   - the seven icon groups 107, 108, 129..133 in this resource order (the
#     DriveIcons values index them by position), each with its images' sizes
#     and colour depths;
#   - strings 103, 106, 109; menu 109; accelerators 109;
#   - dialog 103 and each of its controls: style, extended style, position,
#     size, id, class and text.
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

# DLGTEMPLATE: style, extended style, item count, x, y, cx, cy; then menu,
# class and caption, and with DS_SETFONT the point size and the face name.
# Each DLGITEMTEMPLATE starts on a 4-byte boundary: style, extended style, x,
# y, cx, cy, id, then class and text (each a string, or 0xFFFF and an
# ordinal), and a count of creation data bytes that follow.
dialog=$(wrestool -x --raw --type=5 --name=103 "$bin" | perl -e '
  local $/; my $b = <STDIN>; my $at = 0;
  sub word { my $w = unpack("v", substr($b, $at, 2)); $at += 2; return $w; }
  sub text {  # UTF-16 up to its zero unit
    my $s = ""; while ((my $c = word()) != 0) { $s .= chr $c; } return $s;
  }
  sub name_or_ordinal {
    my $first = unpack("v", substr($b, $at, 2));
    if ($first == 0xFFFF) { $at += 2; return "#" . word(); }
    return "\"" . text() . "\"";
  }
  my %class = (0x80 => "button", 0x81 => "edit", 0x82 => "static", 0x83 => "listbox", 0x84 => "scrollbar",
               0x85 => "combobox");
  my ($style, $ex, $n, $x, $y, $cx, $cy) = unpack("VVvssss", $b); $at = 18;
  printf "%08x %d %d %d,%d %dx%d", $style, $ex, $n, $x, $y, $cx, $cy;
  printf " menu %s class %s caption \"%s\"", name_or_ordinal(), name_or_ordinal(), text();
  printf " font %d \"%s\"", word(), text() if $style & 0x40;
  print "\n";
  for my $i (1 .. $n) {
    $at = ($at + 3) & ~3;
    my ($s, $e, $ix, $iy, $icx, $icy, $id) = unpack("VVsssss", substr($b, $at, 18)); $at += 18;
    my $cls = name_or_ordinal();
    $cls = $class{substr($cls, 1)} // $cls if $cls =~ /^#/;
    my $txt = name_or_ordinal();
    my $extra = word(); $at += $extra;
    printf "%08x %d %d,%d %dx%d %d %s %s\n", $s, $e, $ix, $iy, $icx, $icy, $id, $cls, $txt;
  }')
# The About box: the program icon (16x16, SS_ICON), two lines of text
# (SS_NOPREFIX and WS_GROUP; WS_GROUP), and the default OK button, each
# WS_CHILD | WS_VISIBLE.
want_dialog='00c800c0 0 4 22,17 230x75 menu "" class "" caption "About" font 8 "System"
50000003 0 14,9 16x16 2 static #107
50020080 0 49,10 119x8 -1 static "brelmot Version 1.0"
50020000 0 49,20 119x8 -1 static "Card-slot drive icons"
50030001 0 195,6 30x11 1 button "OK"'
[ "$dialog" = "$want_dialog" ] || err "dialog 103 is
$dialog
not
$want_dialog"

[ $fail -eq 0 ] && echo "brelmot.exe: resources as listed"
exit $fail
