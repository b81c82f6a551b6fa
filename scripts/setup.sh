#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, and
# unpacks Wine's 32-bit Windows DLLs (package libwine:i386) into a cache folder
# outside the tree, so that the 64-bit Wine runs the x86 package in its WoW64
# mode. wine32 is never installed: this machine cannot run its 32-bit loader.
# Idempotent, and quiet when everything is already there.
set -euo pipefail
. "$(dirname "$0")/wine32-dir.sh"

need=(cmake g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 gcc-mingw-w64-i686-win32
      gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine64 xvfb xauth icoutils binutils ninja-build llvm lld nsis)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
updated=0
apt_update() { [ $updated -eq 1 ] || $SUDO apt-get update -qq; updated=1; }

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit DLLs must come from the same Wine version as wine64.
wine_version=$(dpkg-query -W -f='${Version}' wine64)
if [ "$(cat "$ZP_WINE32/version" 2>/dev/null)" != "$wine_version" ] ||
   [ ! -f "$ZP_WINE32/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll" ]; then
  echo "setup: unpacking Wine's 32-bit Windows DLLs (libwine:i386 $wine_version) into $ZP_WINE32"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  apt_update
  deb_dir=$(mktemp -d)
  trap 'rm -rf "$deb_dir"' EXIT
  # apt's download user cannot write into a root-owned temporary folder.
  chmod 777 "$deb_dir"
  (cd "$deb_dir" && apt-get download -qq "libwine:i386=$wine_version" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb=$(ls "$deb_dir"/libwine_*_i386.deb)
  rm -rf "$ZP_WINE32"
  mkdir -p "$ZP_WINE32"
  dpkg-deb -x "$deb" "$ZP_WINE32"
  echo "$wine_version" >"$ZP_WINE32/version"
fi
