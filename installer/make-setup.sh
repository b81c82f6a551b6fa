#!/usr/bin/env bash
# Builds the setup program from the x86 package with makensis (Debian
# package nsis), when the package's files or the script changed since the
# last build; warnings are errors.
#   installer/make-setup.sh DIST_X86 SETUP_EXE STAMP
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
dist=$1 out=$2 stamp=$3
command -v makensis >/dev/null ||
  { echo "makensis not found: run scripts/setup.sh (Debian package nsis)" >&2; exit 1; }
inputs=$(cd "$dist" && find . -maxdepth 1 -type f -printf '%P %s %T@\n' | sort
         cksum <"$here/zeltapkg.nsi"
         makensis -VERSION)
if [ -f "$out" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$inputs" ]; then
  exit 0
fi
rm -f "$stamp"
mkdir -p "$(dirname "$out")"
if ! makensis -V2 -WX -DDIST="$dist" -DOUTFILE="$out" "$here/zeltapkg.nsi"; then
  rm -f "$out"
  exit 1
fi
printf '%s\n' "$inputs" >"$stamp"
echo "setup program $out: $(stat -c %s "$out") bytes"
