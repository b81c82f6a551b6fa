#include "usb_scan.h"

#include "device_path.h"
#include "device_table.h"
#include "interface_set.h"

void ReadParentIdPrefix(const char* key, char (&out)[kParentIdPrefixBytes + 1]) {
  std::memset(out, 0, sizeof(out));
  UniqueRegKey handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return;
  DWORD size = kParentIdPrefixBytes;
  RegQueryValueExA(handle.get(), "ParentIdPrefix", nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size);
}

void ReadOwnParentIdPrefix(const char* path, char (&out)[kOwnParentIdPrefixBytes + 1]) {
  std::memset(out, 0, sizeof(out));
  HeapText keyName;
  if (!OwnEnumKeyOfDevicePath(path, &keyName)) return;
  UniqueRegKey handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return;
  DWORD type = 0;
  DWORD size = kOwnParentIdPrefixBytes;
  const LONG status =
      RegQueryValueExA(handle.get(), "ParentIdPrefix", nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
  // A value stored without its terminator can fill all 60 bytes and still
  // succeed; callers may copy the field into 60 bytes, so it does not fit
  // either.
  if (status != ERROR_SUCCESS || std::memchr(out, '\0', kOwnParentIdPrefixBytes) == nullptr)
    std::memset(out, 0, sizeof(out));
}

bool AddUsbDevice(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, WORD vendorId, WORD productId) {
  InterfacePath path;
  if (!path.Read(set, data)) return false;

  NewDeviceRecord record;
  if (vendorId == 0 && productId == 0) {
    record.uniqueId = ExtractUniqueId(path.c_str());
    const UsbIds ids = ParseVendorProduct(path.c_str());
    record.vendorId = ids.vendorId;
    record.productId = ids.productId;
  } else {
    record.uniqueId = MatchVendorProduct(path.c_str(), vendorId, productId);
    record.vendorId = vendorId;
    record.productId = productId;
  }
  if (record.uniqueId.empty()) return false;
  if (Devices().FindByUniqueId(record.uniqueId) != nullptr) return true;

  // A serial number reappears in the disks' paths; a system-made id (with
  // '&') does not, but the device's ParentIdPrefix does.
  char childPrefix[kParentIdPrefixBytes + 1];
  record.childMatchId = record.uniqueId;
  if (std::memchr(record.uniqueId.data, '&', record.uniqueId.size) != nullptr) {
    HeapText key;
    if (!EnumKeyOfDevicePath(path.c_str(), &key)) return false;
    ReadParentIdPrefix(key.c_str(), childPrefix);
    record.childMatchId = TextView(childPrefix);
  }
  char ownPrefix[kOwnParentIdPrefixBytes + 1];
  ReadOwnParentIdPrefix(path.c_str(), ownPrefix);
  record.parentIdPrefix = TextView(ownPrefix);
  record.devicePath = TextView(path.c_str());
  return Devices().Append(record);
}

DWORD ScanUsbDevices(WORD vendorId, WORD productId) {
  Devices().Empty();
  DWORD status = ZELTA_E_NODEVICE;
  ForEachPresentInterface(kUsbDeviceInterfaceClass, kMaxUsbInterfaces,
                          [&](HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
                            if (AddUsbDevice(set, data, vendorId, productId)) status = ZELTA_OK;
                          });
  return status;
}
