/*
 * zeltadll.h - interface of zeltadll.dll, the USB device access library.
 *
 * An application calls zeltaSearchUsbDevice to find the present USB devices
 * of a vendor and product id (0, 0: every USB device), walks the records
 * found with zeltaGetDriveMap, reads each record's drive letters and
 * identity, and sends requests to a device through the maker's driver
 * (\\.\ZELTA) between zeltaLockUnlock(n, 1) and zeltaLockUnlock(n, 0).
 *
 * Every export uses the C calling convention (the caller removes the
 * arguments) and is exported by name; the ordinals 1 to 12 follow the
 * alphabetical order of the names. Link with libzeltadll.dll.a (MinGW) or
 * zeltadll.lib (Microsoft's linker), or load the library with LoadLibrary and
 * look the names up with GetProcAddress (the PFN_ types below).
 *
 * The library keeps its state in the process and takes no lock: call it from
 * one thread at a time.
 *
 * Usable from C (C89 and later) and C++.
 */
#ifndef ZELTADLL_H
#define ZELTADLL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Status codes ----
 * Every export that reports success or failure returns one of these; bit 31
 * is set on every failure. */
#define ZELTA_OK 0x00000000UL
#define ZELTA_E_INVALIDARG 0x80000000UL /* a required pointer argument is null */
#define ZELTA_E_NODEVICE 0x80000001UL   /* search: no device or no readable disk; lock: no driver link */
#define ZELTA_E_SELECT 0x80000002UL     /* the driver refused to select the device */
#define ZELTA_E_DESCRIPTOR 0x80000003UL /* the descriptor request failed */
#define ZELTA_E_LOCK 0x80000004UL       /* the lock or unlock request failed */
#define ZELTA_E_OPEN 0x80000008UL       /* the driver link \\.\ZELTA cannot be opened */
#define ZELTA_E_VENDOR 0x80000009UL     /* the vendor request failed */
#define ZELTA_E_BULKIO 0x8000000AUL     /* the bulk transfer failed */
#define ZELTA_E_INTERFACE 0x8000000CUL  /* the interface information request failed */
#define ZELTA_E_REQUEST 0x8000000DUL    /* the standard request failed */

#define ZELTA_FAILED(status) (((status) & 0x80000000UL) != 0)

/* What zeltaGetVersion returns. */
#define ZELTA_VERSION 1002

/* ---- Records ----
 * The records and their strings belong to the library. A pointer returned by
 * zeltaGetDriveMap, and every string a record points to, stays valid until
 * the next zeltaSearchUsbDevice or until the library is unloaded. Callers
 * only read them. */

/* One drive letter of a device: position is the entry's own index in
 * driveMap (0 to 3), letter an upper-case 'D' to 'Z'. An unused entry is
 * 0xFF, 0xFF. The used entries form the front of the map, sorted by letter;
 * the first entry whose position is 0xFF ends them. */
typedef struct DriveMapEntry {
  BYTE position;
  BYTE letter;
} DriveMapEntry;

#define ZELTA_DRIVEMAP_ENTRIES 4
#define ZELTA_DRIVEMAP_UNUSED 0xFF

/* One USB device found by the search. Every string field points to a
 * NUL-terminated 8-bit string, never null; an empty string is "".
 *
 * Layout in the 32-bit library (36 bytes, 4-byte aligned; the records lie one
 * after another 36 bytes apart):
 *   0 driveMap  8 vendorId  10 productId  12 uniqueId  16 childMatchId
 *   20 parentIdPrefix  24 devicePath  28 driverSlotName  32 driverSlotValue
 * In the 64-bit library, the natural layout with 8-byte pointers (64 bytes,
 * 8-byte aligned, records 64 bytes apart):
 *   0 driveMap  8 vendorId  10 productId  16 uniqueId  24 childMatchId
 *   32 parentIdPrefix  40 devicePath  48 driverSlotName  56 driverSlotValue */
typedef struct DeviceRecord {
  DriveMapEntry driveMap[ZELTA_DRIVEMAP_ENTRIES]; /* the drive letters of the device's disks */
  WORD vendorId;              /* USB vendor id: the one searched for, or read from the path */
  WORD productId;             /* USB product id, taken the same way */
  const char *uniqueId;       /* the device's instance text: its serial number or a system-made id with '&' */
  const char *childMatchId;   /* the text by which its disks are recognised */
  const char *parentIdPrefix; /* "ParentIdPrefix" of the device's Enum key, or "" */
  const char *devicePath;     /* the device interface path as the system returned it */
  const char *driverSlotName; /* the name of the driver slot bound to the device, or "" */
  DWORD driverSlotValue;      /* the value the driver reports for that slot, or 0 */
} DeviceRecord;

/* ---- Request blocks, 12 bytes each, little-endian ---- */

/* Input of zeltaGetDescriptor. Bytes 4 and 5 read as one little-endian word
 * are the wValue of a USB GET_DESCRIPTOR request. */
typedef struct DescriptorRequestBlock {
  DWORD deviceNumber;   /* the device, as the caller numbers it */
  BYTE descriptorIndex; /* byte 4 */
  BYTE descriptorType;  /* byte 5 */
  WORD languageId;      /* 0x0409 for US English strings */
  DWORD reserved;       /* zero */
} DescriptorRequestBlock;

/* Input of zeltaStandardRequest: the device number and the eight-byte USB
 * setup packet. wLength is also the size of the caller's data buffer. */
typedef struct SetupRequestBlock {
  DWORD deviceNumber;
  BYTE bmRequestType;
  BYTE bRequest;
  WORD wValue;
  WORD wIndex;
  WORD wLength;
} SetupRequestBlock;

/* The request of zeltaVendorCommand is a 12-byte block of the caller's own
 * layout that the library passes to the driver unread. */
#define ZELTA_VENDOR_REQUEST_SIZE 12

/* ---- Exports, in ordinal order ---- */

/* 1. Bulk transfer with buffer as its data. *length: the buffer size on
 * entry, the bytes moved on return. Only the low 8 bits of flag count:
 * nonzero and zero choose the driver's two kinds of bulk request.
 * ZELTA_OK, ZELTA_E_INVALIDARG (null buffer; null length while a lock is in
 * force), ZELTA_E_BULKIO (the request failed, or no lock is in force). */
DWORD WINAPIV zeltaBulkio(DWORD deviceNumber, void *buffer, DWORD *length, DWORD flag);

/* 2. Prints data as a hexadecimal dump on standard output: lines of up to 16
 * bytes, each line "oooo " (the offset, at least four hex digits) followed by
 * "xx " per byte and a line feed. Prints nothing for null data or length 0. */
void WINAPIV zeltaDumpBuffer(const void *data, DWORD length);

/* 3. Fetches the descriptor that request names into buffer. The first
 * argument is not read; the device is the one named in the block.
 * ZELTA_OK, ZELTA_E_INVALIDARG, ZELTA_E_DESCRIPTOR. Needs a lock in force. */
DWORD WINAPIV zeltaGetDescriptor(DWORD unused, const DescriptorRequestBlock *request, void *buffer,
                                 DWORD bufferSize);

/* 4. Walks the records of the last search: null gives the first record, a
 * record gives the next one, the last record gives null. Any other pointer
 * gives the record that lies one record's size after it (36 bytes in the
 * 32-bit library, 64 in the 64-bit one), if there is one: so the address
 * one record before the first record gives the first record. Every other pointer, and any call on
 * an empty table, gives null. The record's address is also that of its
 * driveMap. */
const DeviceRecord *WINAPIV zeltaGetDriveMap(const DeviceRecord *record);

/* 5. Interface information of the device into buffer; *length: the buffer
 * size on entry, the bytes returned on return. No pointer is tested: the
 * buffer goes to the driver as it is.
 * ZELTA_OK, ZELTA_E_INTERFACE (the request failed, no lock is in force, or
 * length is null; nothing is sent then). */
DWORD WINAPIV zeltaGetInterfaceInfo(DWORD deviceNumber, void *buffer, DWORD *length);

/* 6. The device's USB string descriptor 3 (its serial number), language
 * 0x0409, as the device sends it: length byte, type byte, UTF-16LE text.
 * ZELTA_OK, ZELTA_E_INVALIDARG, ZELTA_E_DESCRIPTOR. Needs a lock in force. */
DWORD WINAPIV zeltaGetSerialNumber(DWORD deviceNumber, void *buffer, DWORD bufferSize);

/* 7. Returns ZELTA_VERSION (1002). */
int WINAPIV zeltaGetVersion(void);

/* 8. Only the low 8 bits of lock count. Nonzero: opens the driver link
 * (unless a lock holds it open already), selects and locks the device; the
 * link stays open for the other commands. Zero: unlocks the device and
 * closes the link. ZELTA_OK; ZELTA_E_NODEVICE (lock: the driver link cannot
 * be opened; unlock: no link is open); ZELTA_E_SELECT (the driver refused
 * to select the device; the link is closed); ZELTA_E_LOCK (the lock failed
 * and the link is closed, or the unlock failed and the link stays open). A
 * search also closes the link: a lock taken before it ends there. */
DWORD WINAPIV zeltaLockUnlock(DWORD deviceNumber, DWORD lock);

/* 9. Rebuilds the table of records from the present USB devices with these
 * ids (only the low 16 bits of each count; 0, 0 finds every USB device),
 * gives each its drive letters and binds it to the driver slot that serves
 * it. Every earlier record pointer becomes invalid.
 * ZELTA_OK, ZELTA_E_NODEVICE (no device, or no readable disk), ZELTA_E_OPEN
 * (the driver link cannot be opened; the records and their drive letters
 * are kept). */
DWORD WINAPIV zeltaSearchUsbDevice(DWORD vendorId, DWORD productId);

/* 10. Runs the USB standard request described by the setup packet, with
 * buffer (request->wLength bytes, may be null when that is 0) as its data
 * stage. ZELTA_OK, ZELTA_E_INVALIDARG, ZELTA_E_REQUEST. Needs a lock. */
DWORD WINAPIV zeltaStandardRequest(const SetupRequestBlock *request, void *buffer);

/* 11. Runs the vendor request described by the 12-byte request block with
 * buffer as its data; *length: the buffer size on entry, the bytes returned
 * on return. ZELTA_OK, ZELTA_E_INVALIDARG (null request or buffer; null
 * length while a lock is in force), ZELTA_E_VENDOR (the request failed, or
 * no lock is in force). */
DWORD WINAPIV zeltaVendorCommand(const void *request, void *buffer, DWORD *length);

/* 12. Rewrites a NUL-terminated UTF-16LE string in place as 8-bit text by
 * keeping the low byte of each unit (no code page is applied). */
void WINAPIV zeltaWcharToAnsiChar(void *buffer);

/* Pointer types for GetProcAddress. */
typedef DWORD(WINAPIV *PFN_zeltaBulkio)(DWORD, void *, DWORD *, DWORD);
typedef void(WINAPIV *PFN_zeltaDumpBuffer)(const void *, DWORD);
typedef DWORD(WINAPIV *PFN_zeltaGetDescriptor)(DWORD, const DescriptorRequestBlock *, void *, DWORD);
typedef const DeviceRecord *(WINAPIV *PFN_zeltaGetDriveMap)(const DeviceRecord *);
typedef DWORD(WINAPIV *PFN_zeltaGetInterfaceInfo)(DWORD, void *, DWORD *);
typedef DWORD(WINAPIV *PFN_zeltaGetSerialNumber)(DWORD, void *, DWORD);
typedef int(WINAPIV *PFN_zeltaGetVersion)(void);
typedef DWORD(WINAPIV *PFN_zeltaLockUnlock)(DWORD, DWORD);
typedef DWORD(WINAPIV *PFN_zeltaSearchUsbDevice)(DWORD, DWORD);
typedef DWORD(WINAPIV *PFN_zeltaStandardRequest)(const SetupRequestBlock *, void *);
typedef DWORD(WINAPIV *PFN_zeltaVendorCommand)(const void *, void *, DWORD *);
typedef void(WINAPIV *PFN_zeltaWcharToAnsiChar)(void *);

#ifdef __cplusplus
}
#endif

#endif /* ZELTADLL_H */
