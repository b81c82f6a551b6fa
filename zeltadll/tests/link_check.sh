#!/usr/bin/env bash
# The package from an application's side:
#   - the README's examples, which include zeltadll.h, compile as strict C89
#     (-std=c89 -pedantic -Wall -Wextra -Werror) and as C++;
#   - it links with the MinGW import library, and with zeltadll.lib, and the
#     program then imports its functions by name from zeltadll.dll (the
#     programs are left in WORKDIR: example.exe and commands.exe, for the
#     Wine test that runs them);
#   - an object of Microsoft's C ABI links with zeltadll.lib under lld-link,
#     the linker that behaves like Microsoft's.
#   link_check.sh ARCH(x86|x64) DIST README WORKDIR
set -u
arch=$1 dist=$2 readme=$3 work=$4
case "$arch" in
  x86) triplet=i686-w64-mingw32 msvc=i686-pc-windows-msvc machine=x86 ;;
  x64) triplet=x86_64-w64-mingw32 msvc=x86_64-pc-windows-msvc machine=x64 ;;
  *) echo "unknown arch $arch"; exit 2 ;;
esac
fail=0
err() { echo "FAIL: $*"; fail=1; }
mkdir -p "$work"
cd "$work" || exit 1

# Imports of a PE file from zeltadll.dll, one name per line.
imports() {
  "$triplet-objdump" -p "$1" | awk '
    /DLL Name:/ { on = ($3 == "zeltadll.dll"); next }
    on && /^[[:space:]]*$/ { on = 0 }
    on && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $3 }' | sort
}

awk '/<!-- zeltadll example/ { on = 1; next } on && /^```c/ { code = 1; next } code && /^```/ { exit } code { print }' \
  "$readme" >example.c
[ -s example.c ] || { echo "FAIL: no example in $readme"; exit 1; }

"$triplet-gcc" -std=c89 -pedantic -Wall -Wextra -Werror -I"$dist" -c example.c -o example.o || err "example as C89"
"$triplet-g++" -x c++ -std=c++17 -pedantic -Wall -Wextra -Werror -I"$dist" -c example.c -o example_cxx.o ||
  err "example as C++"

# The device-command example: a function, compiled only.
awk '/<!-- zeltadll command example/ { on = 1; next } on && /^```c/ { code = 1; next } code && /^```/ { exit } code { print }' \
  "$readme" >commands.c
[ -s commands.c ] || err "no command example in $readme"
"$triplet-gcc" -std=c89 -pedantic -Wall -Wextra -Werror -I"$dist" -c commands.c -o commands.o ||
  err "command example as C89"
"$triplet-g++" -x c++ -std=c++17 -pedantic -Wall -Wextra -Werror -I"$dist" -c commands.c -o commands_cxx.o ||
  err "command example as C++"

# The command example as a program: the device number from the command line.
# wine.zeltadll_driver_e2e runs it, and example.exe, against the simulated driver.
cat >commands_main.c <<'CODE'
#include <stdlib.h>
#include <windows.h>
int print_serial(DWORD device);
int main(int argc, char **argv) { return print_serial(argc > 1 ? strtoul(argv[1], NULL, 0) : 0); }
CODE
"$triplet-gcc" commands.o commands_main.c -L"$dist" -lzeltadll -o commands.exe || err "linking the command example"

want=$'zeltaGetDriveMap\nzeltaSearchUsbDevice'
"$triplet-gcc" example.o -L"$dist" -lzeltadll -o example.exe || err "linking with libzeltadll.dll.a"
[ "$(imports example.exe)" = "$want" ] || err "with libzeltadll.dll.a the example imports: $(imports example.exe)"
"$triplet-gcc" example.o "$dist/zeltadll.lib" -o example_lib.exe || err "linking with zeltadll.lib"
[ "$(imports example_lib.exe)" = "$want" ] || err "with zeltadll.lib the example imports: $(imports example_lib.exe)"

# Microsoft's ABI: the calls name the undecorated C functions (on x86 the
# linker looks for _zeltaGetVersion and __imp__zeltaGetVersion).
cat >ms.c <<'CODE'
extern int __cdecl zeltaGetVersion(void);
extern unsigned long __cdecl zeltaSearchUsbDevice(unsigned long vendor, unsigned long product);
extern __declspec(dllimport) void __cdecl zeltaWcharToAnsiChar(void *buffer);
int __cdecl Probe(void *buffer) {
  zeltaWcharToAnsiChar(buffer);
  return zeltaGetVersion() == 1002 && zeltaSearchUsbDevice(0, 0) == 0;
}
CODE
if command -v clang >/dev/null && command -v lld-link >/dev/null; then
  clang --target="$msvc" -c ms.c -o ms.obj || err "compiling the Microsoft-ABI object"
  lld-link /nologo /dll /noentry /nodefaultlib /machine:"$machine" /export:Probe /out:ms.dll ms.obj \
    "$dist/zeltadll.lib" || err "lld-link with zeltadll.lib"
  [ "$(imports ms.dll)" = $'zeltaGetVersion\nzeltaSearchUsbDevice\nzeltaWcharToAnsiChar' ] ||
    err "with lld-link the object imports: $(imports ms.dll)"
else
  err "clang and lld-link are needed (scripts/setup.sh installs them)"
fi

[ $fail -eq 0 ] && echo "link checks passed ($arch)"
exit $fail
