// Phase 2: which disk goes to which device, under which letter, and how the
// four-letter map fills.
#include "disk_map.h"
#include "usb_scan.h"
#include "world.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using world::AddDisk;
using world::AddUsb;
using world::DiskPath;
using world::UsbPath;

std::string MapOf(const DriveMapEntry (&map)[ZELTA_DRIVEMAP_ENTRIES]) {
  std::string out;
  for (int i = 0; i < ZELTA_DRIVEMAP_ENTRIES; ++i) {
    char item[8];
    std::snprintf(item, sizeof(item), "%02X %02X ", map[i].position, map[i].letter);
    out += item;
  }
  out.pop_back();
  return out;
}

TEST(InsertDriveLetter, KeepsTheFourSmallestLettersSorted) {
  struct Case {
    std::string before;
    char letter;
    std::string after;  // the whole map, byte by byte
  } cases[] = {
      {"", 'E', "00 45 FF FF FF FF FF FF"},
      {"EG", 'F', "00 45 01 46 02 47 FF FF"},
      {"EG", 'Z', "00 45 01 47 02 5A FF FF"},
      {"EG", 'E', "00 45 01 45 02 47 FF FF"},  // an equal letter goes after
      {"EFGH", 'D', "00 44 01 45 02 46 03 47"},  // H drops out
      {"EFGH", 'Z', "00 45 01 46 02 47 03 48"},  // Z drops out
      {"EFGH", 'G', "00 45 01 46 02 47 03 47"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.before << " + " << c.letter);
    DriveMapEntry map[ZELTA_DRIVEMAP_ENTRIES];
    std::memset(map, 0xFF, sizeof(map));
    for (char l : c.before) InsertDriveLetter(map, static_cast<BYTE>(l));
    InsertDriveLetter(map, static_cast<BYTE>(c.letter));
    EXPECT_EQ(MapOf(map), c.after);
  }
}

class DiskMap : public world::Fixture {
 protected:
  // The records after phase 1 and 2 for vendor 0abc, product 1234.
  DWORD Search() {
    EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
    return MapDiskDrives();
  }
  static std::vector<std::string> Maps() {
    std::vector<std::string> out;
    for (const DeviceRecord* r : world::Records()) out.push_back(world::Letters(*r));
    return out;
  }
};

TEST_F(DiskMap, DisksGoToTheDeviceWhoseIdentityTheirPathHolds) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "0123abc"));                  // serial number
  AddUsb(UsbPath("vid_0abc&pid_1234", "5&2a3b4c5d&0&1"), "6&1f2e&0");  // made-up id
  AddDisk(DiskPath("0123abc&1"), "7&aa&0", 'G');
  AddDisk(DiskPath("0123abc&0"), "7&bb&0", 'E');
  AddDisk(DiskPath("6&1f2e&0&0"), "7&cc&0", 'F');   // through childMatchId
  AddDisk(DiskPath("5&2a3b4c5d&0&1&0"), "7&dd&0", 'H');  // the made-up id itself: first field wins too
  AddDisk(DiskPath("99&0"), "7&ee&0", 'K');          // nobody's
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), (std::vector<std::string>{"EG", "FH"}));
  const DeviceRecord& r = *zeltaGetDriveMap(nullptr);
  const BYTE expected[8] = {0x00, 0x45, 0x01, 0x47, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(r.driveMap, expected, 8), 0);
}

TEST_F(DiskMap, TheFirstRecordAndFieldTakeTheDiskOnce) {
  // Both records' ids lie in the disk path: the first record takes it.
  AddUsb(UsbPath("vid_0abc&pid_1234", "abc"));
  AddUsb(UsbPath("vid_0abc&pid_1234", "abcd"));
  // uniqueId and childMatchId are equal here; the letter goes in once.
  AddDisk(DiskPath("abcd&1"), "7&aa&0", 'E');
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), (std::vector<std::string>{"E", ""}));
}

// The unit number is the character before the first "#{" less '0', taken
// as a signed 8-bit value. Every disk below belongs to the one device, each
// under its own letter; the disks that must not be mapped have letters below
// the greatest mapped one, so that a wrongly mapped one shows in the
// four-letter map.
TEST_F(DiskMap, OnlyUnitsUpToThreeAreMapped) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  struct Disk {
    std::string path;
    const char* prefix;
    char letter;
  } disks[] = {
      {DiskPath("ser7&0"), "7&a0&0", 'D'},      // 0
      {DiskPath("ser7&3"), "7&a3&0", 'E'},      // 3
      {DiskPath("ser7&4"), "7&a4&0", 'F'},      // 4
      {DiskPath("ser7&9"), "7&a9&0", 'G'},      // 9
      {DiskPath("ser7&a"), "7&aa&0", 'H'},      // 49
      {DiskPath("ser7&/"), "7&b1&0", 'Q'},      // -1
      {DiskPath("ser7&\xB0"), "7&b2&0", 'R'},  // 0xB0 - 0x30 = 0x80: -128
      {DiskPath("ser7&\xAF"), "7&b3&0", 'I'},  // 0xAF - 0x30 = 0x7F: 127
      // No "#{" at all: no unit, and nothing before the path is read.
      {"\\\\?\\usbstor#disk&ven_zelta&prod_reader&rev_1.00#ser7&1#53f56307-b6bf-11d0-94f2-00a0c91efb8b",
       "7&b4&0", 'J'},
      // "#{" at the very start: no character stands before it.
      {"#{ser7&2#53f56307-b6bf-11d0-94f2-00a0c91efb8b}", "7&b5&0", 'K'},
  };
  for (const Disk& d : disks) AddDisk(d.path, d.prefix, d.letter);
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), std::vector<std::string>{"DEQR"});
}

TEST_F(DiskMap, AFullMapKeepsTheFourSmallestLetters) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  // Five disks, each of its own unit digit; letters arrive unsorted.
  const char letters[] = "KFZED";
  for (int i = 0; i < 5; ++i) {
    AddDisk(DiskPath("ser7" + std::to_string(i) + "&" + std::to_string(i % 4)), "7&" + std::to_string(i) + "&0",
            letters[i]);
  }
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), std::vector<std::string>{"DEFK"});
}

TEST_F(DiskMap, LettersAreLookedUpFromDToZAndTheEarlierWins) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  AddDisk(DiskPath("ser7&1"), "7&aa&0", 'M');
  world::Mount('J', world::MediumName("7&aa&0"));  // the same medium text under an earlier letter
  AddDisk(DiskPath("ser7&2"), "7&cc&0", 0);
  world::Mount('C', world::MediumName("7&cc&0"));  // C: is never considered
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), std::vector<std::string>{"J"});
}

TEST_F(DiskMap, MountedValuesAreNarrowedInsideTheirBuffer) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  AddDisk(DiskPath("ser7&1"), "7&aa&0", 0);
  AddDisk(DiskPath("ser7&2"), "7&bb&0", 0);
  AddDisk(DiskPath("ser7&3"), "7&cc&0", 0);
  // 256 bytes without a zero unit: only 128 units fit, the prefix is inside.
  std::vector<BYTE> full;
  for (char c : world::MediumName("7&aa&0") + std::string(200, 'x')) {
    full.push_back(static_cast<BYTE>(c));
    full.push_back(0x01);  // units above 0xFF keep their low byte
  }
  full.resize(256);
  hostwin::registry::SetValue("HKLM\\SYSTEM\\MountedDevices", "\\DosDevices\\E:", REG_BINARY, full);
  // Too long for 256 bytes: the read fails and finds nothing.
  hostwin::registry::SetWideBinary("HKLM\\SYSTEM\\MountedDevices", "\\DosDevices\\F:",
                                   std::string(130, 'y') + world::MediumName("7&bb&0"));
  // Binary data of odd length, no zero unit anywhere.
  hostwin::registry::SetValue("HKLM\\SYSTEM\\MountedDevices", "\\DosDevices\\G:", REG_BINARY,
                              std::vector<BYTE>(255, 0x41));
  // The last letter's buffer too: nothing may be read past it.
  hostwin::registry::SetValue("HKLM\\SYSTEM\\MountedDevices", "\\DosDevices\\Z:", REG_BINARY,
                              std::vector<BYTE>(256, 0x42));
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), std::vector<std::string>{"E"});
}

TEST_F(DiskMap, AnEmptyParentIdPrefixFindsNoLetter) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  AddDisk(DiskPath("ser7&1"), "", 0);
  world::Mount('D', "\\??\\Volume{0000}");
  EXPECT_EQ(Search(), ZELTA_OK);
  EXPECT_EQ(Maps(), std::vector<std::string>{""});
}

TEST_F(DiskMap, ExaminesTwentyFiveIndicesAtMostAndReadsMountedDevicesOnce) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  for (int i = 0; i < 25; ++i) AddDisk(DiskPath("ser7" + std::to_string(i) + "&1"), "7&aa&0", 'E');
  AddDisk(DiskPath("ser7last&1"), "7&zz&0", 'D');
  EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  hostwin::ClearCalls();
  EXPECT_EQ(MapDiskDrives(), ZELTA_OK);
  EXPECT_EQ(hostwin::CallCount("SetupDiEnumDeviceInterfaces"), 25u);
  // The 26th disk, the only one under D, is never looked at.
  EXPECT_EQ(Maps(), std::vector<std::string>{"EEEE"});
  std::size_t mountedReads = 0;
  for (const hostwin::Call& c : hostwin::CallsOf("RegQueryValueExA"))
    mountedReads += c.args.find("MountedDevices") != std::string::npos;
  EXPECT_EQ(mountedReads, 23u);
}

TEST_F(DiskMap, StatusTellsWhetherAnyDiskPathCouldBeRead) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  EXPECT_EQ(Search(), ZELTA_E_NODEVICE);  // no disk at all

  AddDisk(DiskPath("other&1"), "7&aa&0", 'E');
  EXPECT_EQ(Search(), ZELTA_OK);  // a disk read, none mapped
  EXPECT_EQ(Maps(), std::vector<std::string>{""});

  ASSERT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  hostwin::FailAll("SetupDiGetDeviceInterfaceDetailA", ERROR_GEN_FAILURE);
  EXPECT_EQ(MapDiskDrives(), ZELTA_E_NODEVICE);
  hostwin::ClearFaults();
  hostwin::FailNth("SetupDiGetClassDevsA", 1, ERROR_GEN_FAILURE);
  EXPECT_EQ(MapDiskDrives(), ZELTA_E_NODEVICE);
}

TEST_F(DiskMap, FailingRegistryReadsLeaveTheMapAsItWas) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "ser7"));
  AddDisk(DiskPath("ser7&1"), "7&aa&0", 'E');
  struct Case {
    const char* fn;
    std::size_t nth;
    const char* letters;
  } cases[] = {
      {"RegOpenKeyExA", 1, ""},     // the disk's Enum key
      {"RegQueryValueExA", 1, ""},  // its ParentIdPrefix
      {"RegOpenKeyExA", 2, ""},     // MountedDevices
      {"RegQueryValueExA", 3, ""},  // the value of E:
      {"RegQueryValueExA", 2, "E"},  // the value of D: only
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.fn << " #" << c.nth);
    hostwin::ClearFaults();
    ASSERT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
    hostwin::FailNth(c.fn, c.nth, ERROR_GEN_FAILURE);
    EXPECT_EQ(MapDiskDrives(), ZELTA_OK);
    EXPECT_EQ(Maps(), std::vector<std::string>{c.letters});
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
  }
}

}  // namespace
