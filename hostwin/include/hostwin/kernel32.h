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

// Files and devices. Only device names ("\\.\NAME") are simulated; a device is
// installed by a test through hostwin::devices.
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
// On user32's test clock (hostwin::user32::Now): the clock moves on by the
// time asked and nothing runs meanwhile; timers and scheduled actions that
// fall due are met by the next GetMessageA.
VOID Sleep(DWORD dwMilliseconds);

// Sets *Target to Value as one step and returns what it held.
LONG InterlockedExchange(LONG volatile* Target, LONG Value);
