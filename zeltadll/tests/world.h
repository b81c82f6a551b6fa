// Lays out the machine that a device search looks at, in hostwin: USB device
// interfaces with their Enum keys, disk interfaces with their ParentIdPrefix,
// and the MountedDevices values that name their media.
#pragma once

#include "device_table.h"
#include "driver_link.h"
#include "zeltadll.h"

#include <hostwin/control.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace world {

inline const GUID kUsb = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline const GUID kDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

inline std::string UsbPath(const std::string& vidPid, const std::string& instance) {
  return "\\\\?\\usb#" + vidPid + "#" + instance + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

inline std::string DiskPath(const std::string& instance) {
  return "\\\\?\\usbstor#disk&ven_zelta&prod_reader&rev_1.00#" + instance + "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

// The device's Enum key as Windows names it, from the three first fields.
inline std::string EnumKey(const std::string& path) {
  std::string rest = path.substr(4, path.rfind('#') - 4);
  for (char& c : rest)
    if (c == '#') c = '\\';
  return "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + rest;
}

inline void SetParentIdPrefix(const std::string& path, const std::string& prefix) {
  hostwin::registry::SetString(EnumKey(path), "ParentIdPrefix", prefix);
}

// A present USB device; with a prefix, its Enum key gets "ParentIdPrefix".
inline void AddUsb(const std::string& path, const std::string& parentIdPrefix = "") {
  hostwin::setupapi::AddInterface(kUsb, path);
  if (!parentIdPrefix.empty()) SetParentIdPrefix(path, parentIdPrefix);
}

// Windows' name for the medium of a removable disk.
inline std::string MediumName(const std::string& parentIdPrefix) {
  return "\\??\\STORAGE#RemovableMedia#" + parentIdPrefix + "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
}

inline void Mount(char letter, const std::string& text) {
  hostwin::registry::SetWideBinary("HKLM\\SYSTEM\\MountedDevices", std::string("\\DosDevices\\") + letter + ":", text);
}

// A present disk whose Enum key holds parentIdPrefix and whose medium is
// mounted under letter (0: not mounted).
inline void AddDisk(const std::string& path, const std::string& parentIdPrefix, char letter) {
  hostwin::setupapi::AddInterface(kDisk, path);
  SetParentIdPrefix(path, parentIdPrefix);
  if (letter != 0) Mount(letter, MediumName(parentIdPrefix));
}

// The records of the table, walked through the export.
inline std::vector<const DeviceRecord*> Records() {
  std::vector<const DeviceRecord*> out;
  for (const DeviceRecord* r = zeltaGetDriveMap(nullptr); r != nullptr; r = zeltaGetDriveMap(r)) {
    out.push_back(r);
    if (out.size() > 100) break;
  }
  return out;
}

// A record's drive letters in map order, "" for an empty map.
inline std::string Letters(const DeviceRecord& r) {
  std::string out;
  for (int i = 0; i < ZELTA_DRIVEMAP_ENTRIES && r.driveMap[i].position != ZELTA_DRIVEMAP_UNUSED; ++i)
    out += static_cast<char>(r.driveMap[i].letter);
  return out;
}

// A host machine with nothing on it, an empty table and the driver link
// closed; checks at the end of each test that nothing was left open, the
// link included.
class Fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseDriverLink();  // a link that an earlier test left open belongs to a machine gone now
    hostwin::Reset();
    Devices().Release();
  }
  void TearDown() override {
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
    Devices().Release();
  }
};

}  // namespace world
