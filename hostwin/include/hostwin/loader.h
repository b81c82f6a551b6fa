// kernel32: loading a DLL at run time and finding its exports. The loader
// knows the system DLLs that hostwin simulates (shell32.dll); which of their
// exports can be found by name or ordinal is set through hostwin::loader.
#pragma once

#include <hostwin/types.h>

typedef INT_PTR(WINAPI* FARPROC)();

#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L

HMODULE LoadLibraryA(LPCSTR lpLibFileName);
// lpProcName is a name, or an ordinal in its low word (MAKEINTRESOURCEA).
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
