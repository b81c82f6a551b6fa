// The COM basics that the shell's interfaces are built on: HRESULTs,
// interface ids, IUnknown and the task allocator.
#pragma once

#include <hostwin/types.h>

#define STDMETHODCALLTYPE
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

typedef GUID IID;
typedef const IID& REFIID;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Only the methods the programs call are declared.
struct IMalloc : IUnknown {
  virtual void STDMETHODCALLTYPE Free(void* pv) = 0;

 protected:
  ~IMalloc() = default;
};

struct IBindCtx;
