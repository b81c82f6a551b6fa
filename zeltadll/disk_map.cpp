#include "disk_map.h"

#include "../common/unique_handle.h"
#include "device_path.h"
#include "device_table.h"
#include "interface_set.h"
#include "usb_scan.h"

#include <cstring>

void MountedDevices::Load() {
  loaded_ = true;
  std::memset(values_, 0, sizeof(values_));
  UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\MountedDevices", 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  char name[] = "\\DosDevices\\A:";
  for (int i = 0; i < kDriveLetters; ++i) {
    name[sizeof(name) - 3] = static_cast<char>(kFirstDriveLetter + i);
    // A letter without a value leaves its buffer zero: the outcome is not
    // asked. The data is narrowed as a string even when it is binary.
    DWORD size = kMountedValueBytes;
    RegQueryValueExA(key.get(), name, nullptr, nullptr, values_[i], &size);
    WcharToAnsiChar(values_[i]);
  }
}

char MountedDevices::FindLetter(const char* text) {
  if (text[0] == '\0') return 0;
  if (!loaded_) Load();
  for (int i = 0; i < kDriveLetters; ++i)
    if (std::strstr(reinterpret_cast<const char*>(values_[i]), text) != nullptr)
      return static_cast<char>(kFirstDriveLetter + i);
  return 0;
}

void InsertDriveLetter(DriveMapEntry (&map)[ZELTA_DRIVEMAP_ENTRIES], BYTE letter) {
  for (BYTE i = 0; i < ZELTA_DRIVEMAP_ENTRIES; ++i) {
    if (map[i].position == ZELTA_DRIVEMAP_UNUSED) {
      map[i].position = i;
      map[i].letter = letter;
      return;
    }
    if (map[i].letter > letter) {
      const BYTE displaced = map[i].letter;
      map[i].letter = letter;
      letter = displaced;
    }
  }
}

bool AddDriveLetter(const char* key, DeviceRecord& record, signed char unitNumber, MountedDevices& mounted) {
  char prefix[kParentIdPrefixBytes + 1] = {};
  {
    UniqueRegKey handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return false;
    DWORD size = kParentIdPrefixBytes;
    if (RegQueryValueExA(handle.get(), "ParentIdPrefix", nullptr, nullptr, reinterpret_cast<BYTE*>(prefix),
                         &size) != ERROR_SUCCESS)
      return false;
  }
  const char letter = mounted.FindLetter(prefix);
  if (letter == 0) return false;
  if (unitNumber > kMaxUnitNumber) return false;
  InsertDriveLetter(record.driveMap, static_cast<BYTE>(letter));
  return true;
}

bool MapOneDisk(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, MountedDevices& mounted) {
  InterfacePath path;
  if (!path.Read(set, data)) return false;
  const char* diskPath = path.c_str();
  // The unit number is the last character of the disk's instance text, the
  // one before "#{"; a path without one has no unit and is not mapped.
  const char* guid = std::strstr(diskPath, "#{");
  if (guid == nullptr || guid == diskPath) return true;
  const signed char unitNumber = static_cast<signed char>(static_cast<unsigned char>(guid[-1]) - '0');

  for (DeviceRecord& record : Devices()) {
    const char* fields[] = {record.uniqueId, record.childMatchId, record.parentIdPrefix};
    for (const char* field : fields) {
      if (field[0] == '\0' || std::strstr(diskPath, field) == nullptr) continue;
      // The first record and field that match take the disk, whatever comes of it.
      HeapText key;
      if (EnumKeyOfDevicePath(diskPath, &key)) AddDriveLetter(key.c_str(), record, unitNumber, mounted);
      return true;
    }
  }
  return true;
}

DWORD MapDiskDrives() {
  MountedDevices mounted;
  DWORD status = ZELTA_E_NODEVICE;
  ForEachPresentInterface(kDiskInterfaceClass, kMaxDiskInterfaces, [&](HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
    if (MapOneDisk(set, data, mounted)) status = ZELTA_OK;
  });
  return status;
}
