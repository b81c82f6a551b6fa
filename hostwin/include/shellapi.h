// shell32's flat API: file information.
#pragma once

#include <windows.h>

#define SHGFI_ICONLOCATION 0x000001000
#define SHGFI_SYSICONINDEX 0x000004000

typedef struct _SHFILEINFOA {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  CHAR szDisplayName[MAX_PATH];
  CHAR szTypeName[80];
} SHFILEINFOA;

// With SHGFI_SYSICONINDEX: iIcon is the system image list index of the
// path's icon and the result is the image list's handle; 0 on failure, the
// structure then left as it was. cbFileInfo must be sizeof(SHFILEINFOA).
DWORD_PTR SHGetFileInfoA(LPCSTR pszPath, DWORD dwFileAttributes, SHFILEINFOA* psfi, UINT cbFileInfo, UINT uFlags);
