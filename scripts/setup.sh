#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages. Idempotent, and
# quiet when everything is already there.
set -euo pipefail

need=(cmake g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 gcc-mingw-w64-i686-win32
      gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine64 xvfb xauth icoutils binutils ninja-build llvm lld)

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
