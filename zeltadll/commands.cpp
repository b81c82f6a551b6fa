// The device commands. Only zeltaLockUnlock opens and closes the driver link;
// every other command works only while a lock holds it open, and outside
// that window fails with its own status without sending anything. No export
// reads the Windows error code or retries.
#include "driver_link.h"
#include "zeltadll.h"

namespace {

// Only the low 8 bits of a lock or bulk flag count.
BYTE FlagByte(DWORD flag) { return static_cast<BYTE>(flag & 0xFF); }

// String descriptor 3 in US English: the serial number.
constexpr BYTE kSerialNumberStringIndex = 3;
constexpr WORD kUsEnglish = 0x0409;

}  // namespace

extern "C" DWORD WINAPIV zeltaLockUnlock(DWORD deviceNumber, DWORD lock) {
  const BYTE flag = FlagByte(lock);
  if (flag != 0) {
    if (OpenDriverLink() == INVALID_HANDLE_VALUE) return ZELTA_E_NODEVICE;
    // The driver locks only the device selected on the same handle.
    if (!DrvSelectDevice(deviceNumber)) {
      CloseDriverLink();
      return ZELTA_E_SELECT;
    }
    if (!DrvLockDevice(deviceNumber, flag)) {
      CloseDriverLink();
      return ZELTA_E_LOCK;
    }
    return ZELTA_OK;  // the link stays open for the commands
  }
  if (!IsDriverLinkOpen()) return ZELTA_E_NODEVICE;
  // A failed unlock keeps the link, so that the caller can try again.
  if (!DrvLockDevice(deviceNumber, 0)) return ZELTA_E_LOCK;
  CloseDriverLink();
  return ZELTA_OK;
}

extern "C" DWORD WINAPIV zeltaGetSerialNumber(DWORD deviceNumber, void* buffer, DWORD bufferSize) {
  if (buffer == nullptr) return ZELTA_E_INVALIDARG;
  DescriptorRequestBlock request = {};
  request.deviceNumber = deviceNumber;
  request.descriptorIndex = kSerialNumberStringIndex;
  request.descriptorType = kSerialNumberStringIndex;
  request.languageId = kUsEnglish;
  request.reserved = 0;
  return DrvGetDescriptor(&request, buffer, bufferSize) ? ZELTA_OK : ZELTA_E_DESCRIPTOR;
}

// The length pointers of vendor and bulk requests are read only when the
// link is open; a null one there is the caller's mistake, reported as such.
extern "C" DWORD WINAPIV zeltaVendorCommand(const void* request, void* buffer, DWORD* length) {
  if (request == nullptr || buffer == nullptr) return ZELTA_E_INVALIDARG;
  if (length == nullptr && IsDriverLinkOpen()) return ZELTA_E_INVALIDARG;
  return length != nullptr && DrvVendorRequest(request, buffer, length) ? ZELTA_OK : ZELTA_E_VENDOR;
}

extern "C" DWORD WINAPIV zeltaBulkio(DWORD deviceNumber, void* buffer, DWORD* length, DWORD flag) {
  if (buffer == nullptr) return ZELTA_E_INVALIDARG;
  if (length == nullptr && IsDriverLinkOpen()) return ZELTA_E_INVALIDARG;
  return length != nullptr && DrvBulkTransfer(deviceNumber, buffer, length, FlagByte(flag)) ? ZELTA_OK
                                                                                            : ZELTA_E_BULKIO;
}

// Callers switch over ZELTA_OK and ZELTA_E_INTERFACE only: a null length,
// which the request would have to read, fails as the request does, and
// nothing is sent. The buffer goes to the driver unread, null or not.
extern "C" DWORD WINAPIV zeltaGetInterfaceInfo(DWORD deviceNumber, void* buffer, DWORD* length) {
  return length != nullptr && DrvGetInterfaceInfo(deviceNumber, buffer, length) ? ZELTA_OK : ZELTA_E_INTERFACE;
}

// The device is the one named in the block; the first argument only keeps
// the others where callers put them.
extern "C" DWORD WINAPIV zeltaGetDescriptor(DWORD, const DescriptorRequestBlock* request, void* buffer,
                                           DWORD bufferSize) {
  if (request == nullptr || buffer == nullptr) return ZELTA_E_INVALIDARG;
  return DrvGetDescriptor(request, buffer, bufferSize) ? ZELTA_OK : ZELTA_E_DESCRIPTOR;
}

extern "C" DWORD WINAPIV zeltaStandardRequest(const SetupRequestBlock* request, void* buffer) {
  if (request == nullptr) return ZELTA_E_INVALIDARG;
  // A data stage of wLength bytes needs a buffer; without one (wLength 0) a
  // null buffer goes to the driver as it is.
  if (request->wLength != 0 && buffer == nullptr) return ZELTA_E_INVALIDARG;
  return DrvStandardRequest(request, buffer) ? ZELTA_OK : ZELTA_E_REQUEST;
}
