/* zeltaDumpBuffer's output, through the C library's printf. This file is C
 * so that, in the Windows build, printf is the system's msvcrt.dll one: from
 * C++ mingw-w64 always links its own formatter (about 30 KB more in the DLL).
 * The two print %04x and %02x alike. */
#include "hex_dump.h"

#include <stdio.h>

void PrintHexDump(const unsigned char *data, unsigned int length) {
  unsigned int i;
  if (data == NULL || length == 0) return;
  printf("%04x ", 0u);
  for (i = 0; i < length; ++i) {
    if (i != 0 && (i & 0xFu) == 0) printf("\n%04x ", i);
    printf("%02x ", (unsigned int)data[i]);
  }
  printf("\n");
}
