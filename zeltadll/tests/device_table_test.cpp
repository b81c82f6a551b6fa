// The table that callers walk with zeltaGetDriveMap, the records in it, and
// the in-place narrowing of 16-bit strings.
#include "device_table.h"
#include "world.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using DeviceTableTest = world::Fixture;

NewDeviceRecord Fields(const char* uniqueId, const char* path = "p") {
  NewDeviceRecord r;
  r.vendorId = 0x0abc;
  r.productId = 0x1234;
  r.uniqueId = TextView(uniqueId);
  r.childMatchId = TextView(uniqueId);
  r.devicePath = TextView(path);
  return r;
}

TEST_F(DeviceTableTest, GetDriveMapWalksTheRecordsInOrderThenNull) {
  EXPECT_EQ(zeltaGetDriveMap(nullptr), nullptr);  // right after load

  ASSERT_TRUE(Devices().Append(Fields("first")));
  ASSERT_TRUE(Devices().Append(Fields("second")));
  ASSERT_TRUE(Devices().Append(Fields("third")));
  const std::vector<const DeviceRecord*> records = world::Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_STREQ(records[0]->uniqueId, "first");
  EXPECT_STREQ(records[1]->uniqueId, "second");
  EXPECT_STREQ(records[2]->uniqueId, "third");
  // One contiguous array: the stride is the record's size (36 in the x86 build).
  EXPECT_EQ(records[1], records[0] + 1);
  EXPECT_EQ(records[2], records[0] + 2);

  const auto* base = reinterpret_cast<const char*>(records[0]);
  struct Case {
    const char* what;
    const void* argument;
    const DeviceRecord* expected;
  } cases[] = {
      {"the last record", records[2], nullptr},
      {"a record plus 4", base + 4, nullptr},
      {"a record minus 4", base + sizeof(DeviceRecord) - 4, nullptr},
      {"one record before the first", base - sizeof(DeviceRecord), records[0]},
      {"two records before the first", base - 2 * sizeof(DeviceRecord), nullptr},
      {"far away", &cases, nullptr},
      {"the record past the end", records[2] + 1, nullptr},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what);
    EXPECT_EQ(zeltaGetDriveMap(static_cast<const DeviceRecord*>(cases[i].argument)), cases[i].expected);
  }

  Devices().Empty();
  EXPECT_EQ(zeltaGetDriveMap(nullptr), nullptr);
  EXPECT_EQ(zeltaGetDriveMap(records[0]), nullptr);
}

TEST_F(DeviceTableTest, NewRecordsOwnCopiesAndStartUnmappedAndUnbound) {
  std::string unique = "0123abc";
  std::string path = "\\\\?\\usb#vid_0abc&pid_1234#0123abc#{x}";
  NewDeviceRecord fields = Fields(unique.c_str(), path.c_str());
  fields.childMatchId = TextView();  // empty
  fields.parentIdPrefix = TextView("7&1&0", 3);  // a piece of a longer text
  ASSERT_TRUE(Devices().Append(fields));
  unique.assign(unique.size(), 'x');
  path.assign(path.size(), 'x');

  const DeviceRecord& r = *zeltaGetDriveMap(nullptr);
  const std::array<BYTE, 8> unused = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(r.driveMap, unused.data(), 8), 0);
  EXPECT_EQ(r.vendorId, 0x0abc);
  EXPECT_EQ(r.productId, 0x1234);
  EXPECT_STREQ(r.uniqueId, "0123abc");
  EXPECT_STREQ(r.childMatchId, "");
  EXPECT_STREQ(r.parentIdPrefix, "7&1");
  EXPECT_STREQ(r.devicePath, "\\\\?\\usb#vid_0abc&pid_1234#0123abc#{x}");
  ASSERT_NE(r.driverSlotName, nullptr);
  EXPECT_STREQ(r.driverSlotName, "");
  EXPECT_EQ(r.driverSlotValue, 0u);
}

TEST_F(DeviceTableTest, FindByUniqueIdComparesWholeTextExactly) {
  ASSERT_TRUE(Devices().Append(Fields("abc")));
  ASSERT_TRUE(Devices().Append(Fields("ABCD")));
  EXPECT_EQ(Devices().FindByUniqueId(TextView("abc")), Devices().begin());
  EXPECT_EQ(Devices().FindByUniqueId(TextView("ABCD")), Devices().begin() + 1);
  EXPECT_EQ(Devices().FindByUniqueId(TextView("ABC")), nullptr);
  EXPECT_EQ(Devices().FindByUniqueId(TextView("abcd", 3)), Devices().begin());
}

TEST_F(DeviceTableTest, EmptyingKeepsTheStorageAndGrowingKeepsTheOrder) {
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(Devices().Append(Fields(std::to_string(i).c_str())));
  const std::vector<const DeviceRecord*> records = world::Records();
  ASSERT_EQ(records.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(records[i]->uniqueId, std::to_string(i));
  const DeviceRecord* first = records[0];
  Devices().Empty();
  ASSERT_TRUE(Devices().Append(Fields("again")));
  EXPECT_EQ(zeltaGetDriveMap(nullptr), first);
}

TEST_F(DeviceTableTest, BindingASlotReplacesTheEarlierBinding) {
  ASSERT_TRUE(Devices().Append(Fields("a")));
  DeviceRecord& r = *Devices().begin();
  ASSERT_TRUE(Devices().BindSlot(r, "A#B#KEY#D", 7));
  EXPECT_STREQ(r.driverSlotName, "A#B#KEY#D");
  EXPECT_EQ(r.driverSlotValue, 7u);
  ASSERT_TRUE(Devices().BindSlot(r, "X#Y#KEY#Z", 9));
  EXPECT_STREQ(r.driverSlotName, "X#Y#KEY#Z");
  EXPECT_EQ(r.driverSlotValue, 9u);
  ASSERT_TRUE(Devices().BindSlot(r, "", 1));
  EXPECT_STREQ(r.driverSlotName, "");
}

TEST(WcharToAnsiChar, KeepsTheLowByteOfEachUnitInPlace) {
  struct Case {
    std::vector<BYTE> in;
    std::vector<BYTE> out;
  } cases[] = {
      {{0x41, 0x00, 0x42, 0x00, 0x00, 0x00}, {0x41, 0x42, 0x00, 0x00, 0x00, 0x00}},
      {{0x00, 0x00}, {0x00, 0x00}},
      {{0x00, 0x00, 0x41, 0x00}, {0x00, 0x00, 0x41, 0x00}},
      {{0x2D, 0x01, 0x00, 0x00}, {0x2D, 0x00, 0x00, 0x00}},
      {{0x41, 0x01, 0x00, 0x00}, {0x41, 0x00, 0x00, 0x00}},
      // Bytes after the new terminator keep what they held.
      {{0x41, 0x00, 0x42, 0x00, 0x43, 0x00, 0x00, 0x00}, {0x41, 0x42, 0x43, 0x00, 0x43, 0x00, 0x00, 0x00}},
      // A unit whose low byte is zero ends the narrow text early; its high
      // byte does not end the wide one.
      {{0x41, 0x00, 0x00, 0x01, 0x42, 0x00, 0x00, 0x00}, {0x41, 0x00, 0x42, 0x00, 0x42, 0x00, 0x00, 0x00}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    std::vector<BYTE> buf = cases[i].in;
    buf.push_back(0xBD);
    WcharToAnsiChar(buf.data());
    EXPECT_EQ(std::vector<BYTE>(buf.begin(), buf.end() - 1), cases[i].out);
    EXPECT_EQ(buf.back(), 0xBD);
    // The export hands the buffer over unchanged.
    std::vector<BYTE> viaExport = cases[i].in;
    zeltaWcharToAnsiChar(viaExport.data());
    EXPECT_EQ(viaExport, cases[i].out);
  }
  zeltaWcharToAnsiChar(nullptr);  // nothing to convert, and no crash
}

TEST(Version, Is1002) { EXPECT_EQ(zeltaGetVersion(), 1002); }

}  // namespace
