// kernel32: the lstr string functions and code-page conversion.
#pragma once

#include <hostwin/types.h>

#define CP_ACP 0

int lstrlenA(LPCSTR lpString);
int lstrlenW(LPCWSTR lpString);
// Case-sensitive: 0 only for equal strings, as on Windows. The order of
// unequal ones is strcmp's (-1 or 1), not Windows' word sort of the user's
// locale, which puts "a" before "B"; callers here only test for equality.
int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
// Copies at most iMaxLength - 1 characters and always terminates.
LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);

// The host's ANSI code page is Windows-1252 read as Latin-1: each byte becomes
// the UTF-16 unit of the same value. cbMultiByte -1: the source is
// NUL-terminated and the terminator is converted too. A destination too small
// fails with ERROR_INSUFFICIENT_BUFFER after filling what fits, as Windows
// does; cchWideChar 0 asks for the size.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
