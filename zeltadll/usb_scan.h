// Phase 1 of the device search: one DeviceRecord for every present USB
// device interface of the wanted ids (or of any ids), with the identity
// strings that the later phases match on.
#pragma once

#include <windows.h>
#include <setupapi.h>

// At most this many interface indices are examined.
constexpr DWORD kMaxUsbInterfaces = 15;
// "ParentIdPrefix" is read into buffers of these sizes: 256 bytes for the
// text that a device's disks carry, 60 for the record's own parentIdPrefix.
constexpr DWORD kParentIdPrefixBytes = 256;
constexpr DWORD kOwnParentIdPrefixBytes = 60;

// GUID_DEVINTERFACE_USB_DEVICE.
constexpr GUID kUsbDeviceInterfaceClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// Empties the table and appends a record for each interface taken.
// ZELTA_OK when at least one interface was taken or found already present,
// else ZELTA_E_NODEVICE. Ids 0, 0 take every device, with the ids read from
// its path.
DWORD ScanUsbDevices(WORD vendorId, WORD productId);

// True when the interface's device is in the table afterwards (added now or
// already there), false when it was skipped.
bool AddUsbDevice(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, WORD vendorId, WORD productId);

// "ParentIdPrefix" of the key (under HKEY_LOCAL_MACHINE) read into 256 bytes;
// whether the read succeeded is not asked. out[256] stays zero, so out is
// always terminated; "" when the key cannot be opened.
void ReadParentIdPrefix(const char* key, char (&out)[kParentIdPrefixBytes + 1]);

// "ParentIdPrefix" of the device's own Enum key read into 60 bytes; "" when
// the key cannot be opened, the read fails, or the 60 bytes read hold no
// terminator: a value longer than 59 characters does not fit.
void ReadOwnParentIdPrefix(const char* path, char (&out)[kOwnParentIdPrefixBytes + 1]);
