# Sourced: where scripts/setup.sh unpacks Wine's 32-bit Windows DLLs
# (libwine:i386), and the WINEDLLPATH that makes 64-bit Wine run 32-bit
# programs from them. Outside the tree; shared by every checkout.
ZP_WINE32=${ZP_WINE32:-${XDG_CACHE_HOME:-$HOME/.cache}/zeltapkg/wine32}
ZP_WINEDLLPATH="$ZP_WINE32/usr/lib/i386-linux-gnu/wine"
