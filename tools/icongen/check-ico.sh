#!/usr/bin/env bash
# Checks the icon generator's files with icoutils: every requested image is
# listed with its size and depth, in order, and every image decodes.
#   check-ico.sh ICONGEN WORKDIR
set -uo pipefail
gen=$1 dir=$2
rm -rf "$dir" && mkdir -p "$dir" || exit 1
fail=0
bad() { echo "FAIL: $*"; fail=1; }

formats=(16x16:1 16x16:4 32x32:1 32x32:4 32x32:8 48x48:8 48x48:24 48x48:32 24x16:4 256x256:32)
for kind in cf sd sm ms combo app; do
  out="$dir/$kind.ico"
  "$gen" "$out" "$kind" "${formats[@]}" || { bad "$kind: generator failed"; continue; }
  expected=""
  i=1
  for s in "${formats[@]}"; do
    w=${s%%x*} rest=${s#*x} h=${s#*x}; h=${h%%:*} bpp=${s#*:}
    pal=0
    [ "$bpp" -le 8 ] && pal=$((1 << bpp))
    expected+="--icon --index=$i --width=$w --height=$h --bit-depth=$bpp --palette-size=$pal"$'\n'
    i=$((i + 1))
  done
  listed=$(icotool -l "$out" 2>&1)$'\n'
  [ "$listed" = "$expected" ] || bad "$kind: icotool -l gave"$'\n'"$listed"$'\n'"expected"$'\n'"$expected"
  mkdir -p "$dir/$kind.png"
  icotool -x -o "$dir/$kind.png" "$out" 2>&1 | grep . && bad "$kind: icotool -x complained"
  n=$(ls "$dir/$kind.png" | wc -l)
  [ "$n" -eq ${#formats[@]} ] || bad "$kind: extracted $n images of ${#formats[@]}"
done

# brelmot's sets, and travenne's: one file each, as the build makes them.
"$gen" "$dir/group.ico" combo 16x16:4 32x32:1 32x32:4 32x32:8 48x48:8 48x48:24 || bad "group set"
[ "$(icotool -l "$dir/group.ico" | wc -l)" -eq 6 ] || bad "group set: not 6 images"

# Each kind is a drawing of its own.
for a in cf sd sm ms combo app; do
  for b in cf sd sm ms combo app; do
    [ "$a" \< "$b" ] && cmp -s "$dir/$a.ico" "$dir/$b.ico" && bad "$a and $b are the same icon"
  done
done

# Refusals: nothing is written, and the exit code says so.
for args in "x.ico cf" "x.ico cf 16x16:3" "x.ico cf 0x16:4" "x.ico cf 257x16:4" "x.ico cf 16x16:4x" \
            "x.ico floppy 16x16:4" "x.ico cf 16:4"; do
  (cd "$dir" && "$gen" $args 2>/dev/null) && bad "accepted: $args"
  [ -e "$dir/x.ico" ] && bad "left a file for: $args"
done
"$gen" /nonexistent/dir/x.ico cf 16x16:4 2>/dev/null && bad "wrote into a missing directory"

[ $fail -eq 0 ] && echo "icongen: all checks passed"
exit $fail
