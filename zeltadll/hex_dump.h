/* The hexadecimal dump behind zeltaDumpBuffer. Written in C: see hex_dump.c. */
#ifndef ZELTADLL_HEX_DUMP_H
#define ZELTADLL_HEX_DUMP_H

#ifdef __cplusplus
extern "C" {
#endif

/* Prints data with printf: lines of up to 16 bytes, each "%04x " with the
 * offset, then "%02x " per byte, then a line feed. Nothing at all for null
 * data or a length of 0. */
void PrintHexDump(const unsigned char *data, unsigned int length);

#ifdef __cplusplus
}
#endif

#endif
