// Phase 2 of the device search: each present disk is given to the found USB
// device whose identity its path holds, and the drive letter under which its
// medium is mounted goes into that device's driveMap.
#pragma once

#include "zeltadll.h"

#include <setupapi.h>

// At most this many disk interface indices are examined.
constexpr DWORD kMaxDiskInterfaces = 25;
// Each mounted-device value is read into this many bytes.
constexpr DWORD kMountedValueBytes = 256;
// Drive letters that the library considers, in lookup order.
constexpr char kFirstDriveLetter = 'D';
constexpr char kLastDriveLetter = 'Z';
constexpr int kDriveLetters = kLastDriveLetter - kFirstDriveLetter + 1;
// Disks whose unit number is above this are not mapped.
constexpr signed char kMaxUnitNumber = 3;

// GUID_DEVINTERFACE_DISK.
constexpr GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The values "\DosDevices\D:" to "\DosDevices\Z:" of System\MountedDevices,
// narrowed to 8-bit text. They are read once, on the first lookup, and serve
// every disk of one search.
class MountedDevices {
 public:
  // The first letter from D to Z whose value contains text, or 0. An empty
  // text names no medium and finds no letter.
  char FindLetter(const char* text);

 private:
  void Load();

  bool loaded_ = false;
  // Each value as read into kMountedValueBytes zeroed bytes and narrowed in
  // place; the zero unit after them ends the narrowing inside the buffer
  // whatever the value holds.
  BYTE values_[kDriveLetters][kMountedValueBytes + 2];
};

// ZELTA_OK when the device path of at least one disk interface could be read,
// else ZELTA_E_NODEVICE.
DWORD MapDiskDrives();

// True when the disk's path could be read, mapped or not.
bool MapOneDisk(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, MountedDevices& mounted);

// Reads the disk's "ParentIdPrefix" from its Enum key and enters the letter
// whose medium carries it into record's map. True when a letter was found
// for a unit number of at most 3 (entered, or dropped from a full map).
bool AddDriveLetter(const char* key, DeviceRecord& record, signed char unitNumber, MountedDevices& mounted);

// Inserts letter into a map kept sorted, smallest first; from a full map the
// greatest of the five letters drops out. An equal letter goes after.
void InsertDriveLetter(DriveMapEntry (&map)[ZELTA_DRIVEMAP_ENTRIES], BYTE letter);
