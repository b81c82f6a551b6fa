// kernel32: last error and the system's directories.
#pragma once

#include <hostwin/types.h>

DWORD GetLastError();
void SetLastError(DWORD error);

// Both copy the directory and return its length without the terminator when
// uSize holds it and the terminator; otherwise they return the size needed,
// terminator included, and leave the buffer alone.
UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);

// Bit n set: drive letter 'A' + n is in use.
DWORD GetLogicalDrives();

// Closes a kernel object handle made by any area of the world (files and
// devices so far).
BOOL CloseHandle(HANDLE hObject);

// Sets *Target to Value as one step and returns what it held.
LONG InterlockedExchange(LONG volatile* Target, LONG Value);
