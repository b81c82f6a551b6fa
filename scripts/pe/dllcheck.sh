#!/usr/bin/env bash
# Static checks of a DLL of the x86 package, beside pecheck.sh:
#   - its export table lists exactly the ordinals and names of BINARY.exports
#     ("ordinal name" per line, # comments), each export by name;
#   - its version resource, as windres prints it, has every line of
#     BINARY.version (if that file exists) and no other string value.
#   dllcheck.sh BINARY
set -u
bin=$1
name=$(basename "$bin")
here=$(dirname "$(readlink -f "$0")")
fail=0
err() { echo "FAIL $name: $*"; fail=1; }
objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
windres=i686-w64-mingw32-windres

[ -f "$bin" ] || { echo "FAIL $name: missing"; exit 1; }
[ -f "$here/$name.exports" ] || { echo "FAIL $name: no export list"; exit 1; }

headers=$("$objdump" -p "$bin")
base=$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9][0-9]*\)$/\1/p' <<<"$headers" | head -1)
[ -n "$base" ] || err "no export table"
# "[   i] name" lines of the name table: i is the ordinal less the base.
actual=$(awk -v base="${base:-0}" '
  /^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
  on && /^[[:space:]]*$/ { on = 0 }
  on && match($0, /\[ *[0-9]+\]/) { n = substr($0, RSTART + 1, RLENGTH - 2) + 0; print n + base, $NF }
' <<<"$headers")
expected=$(grep -vE '^[[:space:]]*(#|$)' "$here/$name.exports")
if [ "$actual" != "$expected" ]; then
  err "exports differ from $name.exports"
  diff <(echo "$expected") <(echo "$actual") | sed 's/^/  /'
fi
# Every slot of the address table has a name: nothing exported by ordinal only.
slots=$(awk '/^Export Address Table -- Ordinal Base/ { on = 1; next } on && /^[[:space:]]*$/ { on = 0 } on && /\+base\[/ { n++ } END { print n + 0 }' <<<"$headers")
[ "$slots" = "$(wc -l <<<"$expected")" ] || err "$slots exported addresses for $(wc -l <<<"$expected") names"
echo "$name: exports"
sed 's/^/  /' <<<"$actual"

if [ -f "$here/$name.version" ]; then
  rc=$("$windres" -i "$bin" -J coff -O rc 2>&1 | sed 's/^[[:space:]]*//')
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    case "$line" in \#*) continue ;; esac
    grep -qxF "$line" <<<"$rc" || err "version resource lacks: $line"
  done <"$here/$name.version"
  values=$(grep -c '^VALUE "[A-Za-z]*", "' <<<"$rc")
  wanted=$(grep -c '^VALUE "[A-Za-z]*", "' "$here/$name.version")
  [ "$values" = "$wanted" ] || err "$values string values in the version resource, $wanted expected"
  echo "$name: version resource"
  grep -E '^(FILEVERSION|PRODUCTVERSION|VALUE)' <<<"$rc" | sed 's/^/  /'
fi
[ $fail -eq 0 ] && echo "$name: DLL checks passed"
exit $fail
