#include "driver_link.h"

namespace {

// Process lifetime: outlives every call, and the unload.
HANDLE g_driverLink = INVALID_HANDLE_VALUE;

constexpr char kDriverLinkName[] = "\\\\.\\ZELTA";

bool LinkClosed() { return g_driverLink == INVALID_HANDLE_VALUE; }

// One request on the open link. DeviceIoControl takes its input as
// non-const, but never writes it.
bool Request(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned) {
  return DeviceIoControl(g_driverLink, code, const_cast<void*>(in), inSize, out, outSize, bytesReturned, nullptr) !=
         FALSE;
}

// A request whose byte count nobody reads; synchronous DeviceIoControl still
// needs somewhere to put it.
bool Request(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
  DWORD discarded = 0;
  return Request(code, in, inSize, out, outSize, &discarded);
}

}  // namespace

// The DeviceIoControl inputs are the caller's values in memory: Windows runs
// little-endian only, so a DWORD is already the driver's byte order.
static_assert(sizeof(DWORD) == 4 && sizeof(BYTE) == 1, "device and slot numbers are 4 and 1 bytes");
static_assert(sizeof(DescriptorRequestBlock) == 12 && sizeof(SetupRequestBlock) == 12, "request blocks are 12 bytes");

HANDLE OpenDriverLink() {
  if (!LinkClosed()) return g_driverLink;
  // Flags 0: a handle for synchronous requests.
  g_driverLink = CreateFileA(kDriverLinkName, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
  return g_driverLink;
}

bool CloseDriverLink() {
  if (LinkClosed()) return false;
  // Whatever CloseHandle reports, the handle is gone.
  CloseHandle(g_driverLink);
  g_driverLink = INVALID_HANDLE_VALUE;
  return true;
}

bool IsDriverLinkOpen() { return !LinkClosed(); }

bool DrvSelectDevice(DWORD deviceNumber) {
  if (LinkClosed()) return false;
  return Request(IOCTL_ZELTA_SELECT_DEVICE, &deviceNumber, sizeof(deviceNumber), nullptr, 0);
}

bool DrvLockDevice(DWORD deviceNumber, BYTE lock) {
  if (LinkClosed()) return false;
  return Request(lock != 0 ? IOCTL_ZELTA_LOCK : IOCTL_ZELTA_UNLOCK, &deviceNumber, sizeof(deviceNumber), nullptr, 0);
}

bool DrvGetDescriptor(const DescriptorRequestBlock* request, void* out, DWORD outSize) {
  // The one wrapper that tests a pointer, before the link is looked at.
  if (out == nullptr || LinkClosed()) return false;
  return Request(IOCTL_ZELTA_GET_DESCRIPTOR, request, sizeof(*request), out, outSize);
}

bool DrvVendorRequest(const void* request, void* out, DWORD* length) {
  if (LinkClosed()) return false;
  return Request(IOCTL_ZELTA_VENDOR_REQUEST, request, ZELTA_VENDOR_REQUEST_SIZE, out, *length, length);
}

bool DrvBulkTransfer(DWORD deviceNumber, void* data, DWORD* length, BYTE flag) {
  if (LinkClosed()) return false;
  return Request(flag != 0 ? IOCTL_ZELTA_BULK_1 : IOCTL_ZELTA_BULK_0, &deviceNumber, sizeof(deviceNumber), data,
                 *length, length);
}

bool DrvGetSlotName(BYTE slot, void* out, DWORD* size) {
  if (LinkClosed()) return false;
  return Request(IOCTL_ZELTA_GET_SLOT_NAME, &slot, sizeof(slot), out, *size, size);
}

bool DrvGetSlotValue(BYTE slot, DWORD* value) {
  if (LinkClosed()) return false;
  return Request(IOCTL_ZELTA_GET_SLOT_VALUE, &slot, sizeof(slot), value, sizeof(*value));
}

bool DrvGetInterfaceInfo(DWORD deviceNumber, void* out, DWORD* length) {
  if (LinkClosed()) return false;
  return Request(IOCTL_ZELTA_GET_INTERFACE_INFO, &deviceNumber, sizeof(deviceNumber), out, *length, length);
}

bool DrvStandardRequest(const SetupRequestBlock* request, void* data) {
  if (LinkClosed()) return false;
  return Request(IOCTL_ZELTA_STANDARD_REQUEST, request, sizeof(*request), data, request->wLength);
}
