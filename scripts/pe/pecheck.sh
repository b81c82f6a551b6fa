#!/usr/bin/env bash
# Static checks of one binary of the x86 package:
#   - PE32 for i386, subsystem version 4.0, subsystem GUI (no console), or
#     console where the list says "subsystem console";
#   - imports only from Windows' own DLLs, each function on the binary's list
#     (BINARY.allow beside this script: "DLL function" per line, # comments);
#   - prints the binary's size and its import list.
#   pecheck.sh BINARY
set -u
bin=$1
name=$(basename "$bin")
here=$(dirname "$(readlink -f "$0")")
allow="$here/$name.allow"
fail=0
err() { echo "FAIL $name: $*"; fail=1; }

[ -f "$bin" ] || { echo "FAIL $name: missing"; exit 1; }
[ -f "$allow" ] || { echo "FAIL $name: no import list $allow"; exit 1; }

headers=$(objdump -p "$bin")
file_format=$(objdump -f "$bin" | sed -n 's/.*file format //p')
[ "$file_format" = "pei-i386" ] || err "file format is '$file_format', not pei-i386"
grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || err "not PE32 (Magic 010b)"
grep -qE '^MajorSubsystemVersion[[:space:]]+4$' <<<"$headers" || err "MajorSubsystemVersion is not 4"
grep -qE '^MinorSubsystemVersion[[:space:]]+0$' <<<"$headers" || err "MinorSubsystemVersion is not 0"
if grep -qxE 'subsystem[[:space:]]+console' "$allow"; then
  grep -qE '^Subsystem[[:space:]]+00000003' <<<"$headers" || err "subsystem is not Windows console"
else
  grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || err "subsystem is not Windows GUI"
fi

# "DLL function" pairs from the import tables.
imports=$(awk '
  /^[[:space:]]*DLL Name:/ { dll = toupper($3); next }
  dll != "" && /^[[:space:]]*$/ { dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll, $3 }
' <<<"$headers" | sort -u)

system_dlls="KERNEL32.DLL ADVAPI32.DLL USER32.DLL GDI32.DLL SHELL32.DLL SETUPAPI.DLL MSVCRT.DLL OLE32.DLL COMCTL32.DLL"
for dll in $(awk '{print $1}' <<<"$imports" | sort -u); do
  case " $system_dlls " in
    *" $dll "*) ;;
    *) err "imports from $dll, which is not one of Windows' own DLLs" ;;
  esac
done

allowed=$(grep -vE '^[[:space:]]*(#|$)|^subsystem[[:space:]]' "$allow" | awk '{print toupper($1), $2}' | sort -u)
while read -r dll fn; do
  [ -n "$dll" ] || continue
  grep -qxF "$dll $fn" <<<"$allowed" || err "imports $dll $fn, which is not on its list"
done <<<"$imports"

echo "$name: $(stat -c %s "$bin") bytes"
sed 's/^/  import /' <<<"$imports"
[ $fail -eq 0 ] && echo "$name: PE checks passed"
exit $fail
