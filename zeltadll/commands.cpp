// The device commands. They reach the device only through the driver link,
// which this build never opens (driver_link.cpp): each command checks its
// arguments and then reports the failure it reports while no lock holds the
// link open.
#include "driver_link.h"
#include "zeltadll.h"

extern "C" DWORD WINAPIV zeltaLockUnlock(DWORD, DWORD) { return ZELTA_E_NODEVICE; }

extern "C" DWORD WINAPIV zeltaGetSerialNumber(DWORD, void* buffer, DWORD) {
  return buffer == nullptr ? ZELTA_E_INVALIDARG : ZELTA_E_DESCRIPTOR;
}

extern "C" DWORD WINAPIV zeltaVendorCommand(const void* request, void* buffer, DWORD*) {
  return request == nullptr || buffer == nullptr ? ZELTA_E_INVALIDARG : ZELTA_E_VENDOR;
}

extern "C" DWORD WINAPIV zeltaBulkio(DWORD, void* buffer, DWORD*, DWORD) {
  return buffer == nullptr ? ZELTA_E_INVALIDARG : ZELTA_E_BULKIO;
}

extern "C" DWORD WINAPIV zeltaGetDescriptor(DWORD, const DescriptorRequestBlock* request, void* buffer, DWORD) {
  return request == nullptr || buffer == nullptr ? ZELTA_E_INVALIDARG : ZELTA_E_DESCRIPTOR;
}

extern "C" DWORD WINAPIV zeltaGetInterfaceInfo(DWORD, void*, DWORD*) { return ZELTA_E_INTERFACE; }

extern "C" DWORD WINAPIV zeltaStandardRequest(const SetupRequestBlock* request, void* buffer) {
  if (request == nullptr || (request->wLength != 0 && buffer == nullptr)) return ZELTA_E_INVALIDARG;
  return ZELTA_E_REQUEST;
}
