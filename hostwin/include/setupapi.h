// The Linux host build's <setupapi.h>: device interface sets, enumerated by
// index, and the two-call read of an interface's device path.
#pragma once

#include <windows.h>

#include <cstddef>

// A device information set; INVALID_HANDLE_VALUE when none could be made.
typedef PVOID HDEVINFO;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define SPINT_ACTIVE 0x00000001
#define SPINT_DEFAULT 0x00000002
#define SPINT_REMOVED 0x00000004

// Windows packs these records to 1 byte in 32-bit builds and to 8 in 64-bit
// ones, so their cbSize is 28/5 there and 32/8 here. SetupAPI insists on the
// value of the caller's own build.
#if UINTPTR_MAX == 0xFFFFFFFFu
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[ANYSIZE_ARRAY];
} SP_DEVICE_INTERFACE_DETAIL_DATA_A, *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

#pragma pack(pop)

// The interfaces of one class (DIGCF_DEVICEINTERFACE; with DIGCF_PRESENT only
// those whose device is present), as they stand now: the set is a snapshot,
// ordered by device path compared without regard to case.
HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent, DWORD Flags);

// The interface at MemberIndex of the set's interfaces of that class;
// ERROR_NO_MORE_ITEMS past the last. DeviceInterfaceData->cbSize must be
// sizeof(SP_DEVICE_INTERFACE_DATA), else ERROR_INVALID_PARAMETER.
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);

// The interface's device path. RequiredSize receives the bytes needed, the
// fixed part before DevicePath and the terminator included; a smaller buffer
// (none at all, size 0, included) fails with ERROR_INSUFFICIENT_BUFFER; a
// size without a buffer fails with ERROR_INVALID_USER_BUFFER.
// DeviceInterfaceDetailData->cbSize must be sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A),
// else ERROR_INVALID_USER_BUFFER.
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData);

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);
