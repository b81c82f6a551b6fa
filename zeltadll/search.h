// zeltaSearchUsbDevice runs three phases and stops at the first failure:
// ScanUsbDevices (usb_scan.h), MapDiskDrives (disk_map.h), BindDriverSlots.
#pragma once

#include <windows.h>

// The driver is asked about slots 0 to kDriverSlots - 1, in order.
constexpr BYTE kDriverSlots = 16;
// A slot name is read into this many bytes: at most 127 UTF-16 units and
// their terminating zero unit.
constexpr DWORD kSlotNameBytes = 256;

// Phase 3: binds the found devices to the slots of the driver \\.\ZELTA.
// ZELTA_E_OPEN when the driver link cannot be opened (no record is bound);
// otherwise the slots are read until the first failing request, the link is
// closed at the end, also when it was open before, and the result is
// ZELTA_OK whatever was bound.
DWORD BindDriverSlots();

// Gives the slot's whole name and its value to the first record of the table
// whose devicePath contains the name's key, the text between its second and
// third '#' (case-sensitive, anywhere in the path). A name without such a
// key (fewer than three '#', or nothing between the second and the third)
// binds nothing. True when a record took the slot.
bool BindDriverSlot(const char* name, DWORD value);
