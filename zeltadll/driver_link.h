// The channel to the maker's driver \\.\ZELTA: one process-global handle,
// DriverLink, closed when the library is loaded and not closed when it is
// unloaded. No lock and no reference count: whoever closes it closes it for
// every caller.
//
// One wrapper per driver request. Each sends exactly one synchronous
// DeviceIoControl on the link, or nothing at all when the link is closed,
// and returns whether the driver completed it. None reads GetLastError or
// retries; the caller turns false into its own status.
#pragma once

#include "zeltadll.h"

#include <windows.h>
#include <winioctl.h>

// The driver's control codes: device type FILE_DEVICE_UNKNOWN, any access.
// Functions 0x807 to 0x809 are the driver's own and never sent.
constexpr DWORD IOCTL_ZELTA_SELECT_DEVICE = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_LOCK = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x804, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_UNLOCK = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x805, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_GET_DESCRIPTOR = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x806, METHOD_IN_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_VENDOR_REQUEST = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x80A, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_BULK_1 = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x80B, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_BULK_0 = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x80C, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_GET_SLOT_NAME = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x80D, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_GET_SLOT_VALUE = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x80E, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_GET_INTERFACE_INFO = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x80F, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD IOCTL_ZELTA_STANDARD_REQUEST = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x810, METHOD_OUT_DIRECT, FILE_ANY_ACCESS);

// The values the driver knows them by.
static_assert(IOCTL_ZELTA_SELECT_DEVICE == 0x0022200C, "IOCTL_ZELTA_SELECT_DEVICE");
static_assert(IOCTL_ZELTA_LOCK == 0x00222010, "IOCTL_ZELTA_LOCK");
static_assert(IOCTL_ZELTA_UNLOCK == 0x00222014, "IOCTL_ZELTA_UNLOCK");
static_assert(IOCTL_ZELTA_GET_DESCRIPTOR == 0x00222019, "IOCTL_ZELTA_GET_DESCRIPTOR");
static_assert(IOCTL_ZELTA_VENDOR_REQUEST == 0x0022202A, "IOCTL_ZELTA_VENDOR_REQUEST");
static_assert(IOCTL_ZELTA_BULK_1 == 0x0022202E, "IOCTL_ZELTA_BULK_1");
static_assert(IOCTL_ZELTA_BULK_0 == 0x00222032, "IOCTL_ZELTA_BULK_0");
static_assert(IOCTL_ZELTA_GET_SLOT_NAME == 0x00222034, "IOCTL_ZELTA_GET_SLOT_NAME");
static_assert(IOCTL_ZELTA_GET_SLOT_VALUE == 0x00222038, "IOCTL_ZELTA_GET_SLOT_VALUE");
static_assert(IOCTL_ZELTA_GET_INTERFACE_INFO == 0x0022203C, "IOCTL_ZELTA_GET_INTERFACE_INFO");
static_assert(IOCTL_ZELTA_STANDARD_REQUEST == 0x00222042, "IOCTL_ZELTA_STANDARD_REQUEST");

// The link, opened first with CreateFileA("\\.\ZELTA", GENERIC_ALL, read and
// write sharing, OPEN_EXISTING, synchronous) if it is closed. An open link
// is returned without any call. INVALID_HANDLE_VALUE when it cannot be
// opened; the link then stays closed.
HANDLE OpenDriverLink();

// Closes the link if it is open. True when it was open.
bool CloseDriverLink();

// Whether the link is open now. Sends nothing.
bool IsDriverLinkOpen();

// The requests. The device number travels as the first four bytes of the
// input, little-endian, unread by the library. Where a flag chooses between
// two codes, the caller passes its low 8 bits: nonzero picks the first.

// IOCTL_ZELTA_SELECT_DEVICE; sent before every lock.
bool DrvSelectDevice(DWORD deviceNumber);
// IOCTL_ZELTA_LOCK when lock is nonzero, IOCTL_ZELTA_UNLOCK when it is zero.
bool DrvLockDevice(DWORD deviceNumber, BYTE lock);
// IOCTL_ZELTA_GET_DESCRIPTOR with the 12-byte block as input into out[0,
// outSize). False without a request when out is null, whatever the link.
bool DrvGetDescriptor(const DescriptorRequestBlock* request, void* out, DWORD outSize);
// IOCTL_ZELTA_VENDOR_REQUEST with the caller's 12-byte block; *length is the
// size of out on entry and the driver's byte count on return. length must be
// valid whenever the link is open.
bool DrvVendorRequest(const void* request, void* out, DWORD* length);
// IOCTL_ZELTA_BULK_1 when flag is nonzero, IOCTL_ZELTA_BULK_0 when zero;
// *length in and out as above.
bool DrvBulkTransfer(DWORD deviceNumber, void* data, DWORD* length, BYTE flag);
// IOCTL_ZELTA_GET_SLOT_NAME: slot's name as UTF-16 into out; *size in and
// out as above.
bool DrvGetSlotName(BYTE slot, void* out, DWORD* size);
// IOCTL_ZELTA_GET_SLOT_VALUE: slot's 32-bit value into *value.
bool DrvGetSlotValue(BYTE slot, DWORD* value);
// IOCTL_ZELTA_GET_INTERFACE_INFO into out; *length in and out as above.
bool DrvGetInterfaceInfo(DWORD deviceNumber, void* out, DWORD* length);
// IOCTL_ZELTA_STANDARD_REQUEST: the block's setup packet with data as its
// data stage, whose size is the block's wLength (data may be null for 0).
bool DrvStandardRequest(const SetupRequestBlock* request, void* data);
