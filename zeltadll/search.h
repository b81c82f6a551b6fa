// zeltaSearchUsbDevice runs three phases and stops at the first failure:
// ScanUsbDevices (usb_scan.h), MapDiskDrives (disk_map.h), BindDriverSlots.
#pragma once

#include <windows.h>

// Phase 3: binds the found devices to the slots of the driver \\.\ZELTA.
// ZELTA_E_OPEN when the driver link cannot be opened (no record is bound);
// otherwise the link is closed at the end, also when it was open before,
// and the result is ZELTA_OK whatever was bound.
DWORD BindDriverSlots();
