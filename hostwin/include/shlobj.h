// The shell namespace: item id lists, the desktop and My Computer folders,
// icon extraction, and the shell's task allocator.
#pragma once

#include <windows.h>
#include <hostwin/com.h>

#pragma pack(push, 1)
typedef struct _SHITEMID {
  USHORT cb;
  BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
  SHITEMID mkid;
} ITEMIDLIST;
#pragma pack(pop)

typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef ITEMIDLIST* PIDLIST_RELATIVE;
typedef const ITEMIDLIST* PCUIDLIST_RELATIVE;
typedef const ITEMIDLIST* PCUITEMID_CHILD;
typedef const PCUITEMID_CHILD* PCUITEMID_CHILD_ARRAY;
typedef ULONG SFGAOF;

#define CSIDL_DESKTOP 0x0000
#define CSIDL_DRIVES 0x0011
#define SFGAO_VALIDATE 0x01000000L
#define GIL_NOTFILENAME 0x0008

// Only the methods the programs call are declared.
struct IShellFolder : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND hwnd, IBindCtx* pbc, LPWSTR pszDisplayName,
                                                     ULONG* pchEaten, PIDLIST_RELATIVE* ppidl,
                                                     ULONG* pdwAttributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx* pbc, REFIID riid,
                                                 void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT cidl, PCUITEMID_CHILD_ARRAY apidl, SFGAOF* rgfInOut) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND hwndOwner, UINT cidl, PCUITEMID_CHILD_ARRAY apidl,
                                                  REFIID riid, UINT* rgfReserved, void** ppv) = 0;

 protected:
  ~IShellFolder() = default;
};

struct IExtractIconA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetIconLocation(UINT uFlags, LPSTR pszIconFile, UINT cchMax, int* piIndex,
                                                    UINT* pwFlags) = 0;

 protected:
  ~IExtractIconA() = default;
};

HRESULT SHGetMalloc(IMalloc** ppMalloc);
HRESULT SHGetDesktopFolder(IShellFolder** ppshf);
// The item id list is allocated with the shell's allocator (SHGetMalloc).
HRESULT SHGetSpecialFolderLocation(HWND hwnd, int csidl, PIDLIST_ABSOLUTE* ppidl);
