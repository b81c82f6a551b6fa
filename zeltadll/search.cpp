#include "search.h"

#include "disk_map.h"
#include "driver_link.h"
#include "usb_scan.h"
#include "zeltadll.h"

DWORD BindDriverSlots() {
  if (OpenDriverLink() == INVALID_HANDLE_VALUE) return ZELTA_E_OPEN;
  CloseDriverLink();
  return ZELTA_OK;
}

extern "C" DWORD WINAPIV zeltaSearchUsbDevice(DWORD vendorId, DWORD productId) {
  if (ScanUsbDevices(LOWORD(vendorId), LOWORD(productId)) != ZELTA_OK) return ZELTA_E_NODEVICE;
  if (MapDiskDrives() != ZELTA_OK) return ZELTA_E_NODEVICE;
  return BindDriverSlots();
}
