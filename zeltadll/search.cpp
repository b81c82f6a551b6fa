#include "search.h"

#include "device_path.h"
#include "device_table.h"
#include "disk_map.h"
#include "driver_link.h"
#include "usb_scan.h"
#include "zeltadll.h"

namespace {

// Whether piece occurs in text, byte for byte.
bool Contains(const char* text, TextView piece) {
  const std::size_t size = std::strlen(text);
  if (piece.size > size) return false;
  for (std::size_t i = 0; i + piece.size <= size; ++i)
    if (std::memcmp(text + i, piece.data, piece.size) == 0) return true;
  return false;
}

}  // namespace

bool BindDriverSlot(const char* name, DWORD value) {
  DeviceTable& table = Devices();
  if (table.size() == 0) return false;
  // The slot names the device by the instance part of its interface path,
  // the same third field that the path itself carries.
  const TextView key = ExtractUniqueId(name);
  // An empty key lies in every path: it would hand the slot to whichever
  // device was found first. Such a name identifies no device.
  if (key.empty()) return false;
  for (DeviceRecord& record : table)
    if (Contains(record.devicePath, key)) return table.BindSlot(record, name, value);
  return false;
}

DWORD BindDriverSlots() {
  if (OpenDriverLink() == INVALID_HANDLE_VALUE) return ZELTA_E_OPEN;
  // Zeroed once, not between slots: the driver writes each name's zero unit
  // itself. The unit after the driver's 256 bytes is never written, so the
  // narrowing stops inside the buffer even after a name that fills all 256
  // bytes without a terminator.
  BYTE name[kSlotNameBytes + 2] = {};
  DWORD value = 0;
  for (BYTE slot = 0; slot < kDriverSlots; ++slot) {
    DWORD size = kSlotNameBytes;  // the driver's byte count lands here, unread
    if (!DrvGetSlotName(slot, name, &size)) break;
    if (!DrvGetSlotValue(slot, &value)) break;
    WcharToAnsiChar(name);
    BindDriverSlot(reinterpret_cast<const char*>(name), value);
  }
  CloseDriverLink();
  return ZELTA_OK;
}

extern "C" DWORD WINAPIV zeltaSearchUsbDevice(DWORD vendorId, DWORD productId) {
  if (ScanUsbDevices(LOWORD(vendorId), LOWORD(productId)) != ZELTA_OK) return ZELTA_E_NODEVICE;
  if (MapDiskDrives() != ZELTA_OK) return ZELTA_E_NODEVICE;
  return BindDriverSlots();
}
