// Phase 1: which USB device interfaces become records, and with what.
#include "usb_scan.h"
#include "world.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using world::AddUsb;
using world::UsbPath;

class UsbScan : public world::Fixture {};

std::vector<std::string> UniqueIds() {
  std::vector<std::string> out;
  for (const DeviceRecord* r : world::Records()) out.push_back(r->uniqueId);
  return out;
}

TEST_F(UsbScan, TakesTheDevicesOfTheIdsSearchedFor) {
  AddUsb(UsbPath("vid_0abc&pid_1234", "s1"));
  AddUsb(UsbPath("vid_0abc&pid_5678", "s2"));
  AddUsb(UsbPath("vid_0ABC&PID_1234", "s3"));  // upper-case digits: never matched by id
  AddUsb(UsbPath("vid_0def&pid_1234", "s4"));
  AddUsb(UsbPath("vid_0abc&pid_0000", "s5"));
  AddUsb("\\\\?\\usb#vid_0abc&pid_1234#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");  // no instance field
  AddUsb(UsbPath("vid_0abc&pid_1234", "s6"));
  hostwin::setupapi::AddInterface(world::kUsb, UsbPath("vid_0abc&pid_1234", "absent"), false);

  struct Case {
    DWORD vendor;
    DWORD product;
    DWORD status;
    std::vector<std::string> uniqueIds;
    std::vector<std::pair<WORD, WORD>> ids;
  } cases[] = {
      {0x0abc, 0x1234, ZELTA_OK, {"s1", "s6"}, {{0x0abc, 0x1234}, {0x0abc, 0x1234}}},
      {0x0abc, 0x0000, ZELTA_OK, {"s5"}, {{0x0abc, 0x0000}}},
      {0x0000, 0x1234, ZELTA_E_NODEVICE, {}, {}},
      {0x0abc, 0x9999, ZELTA_E_NODEVICE, {}, {}},
      // Every device with an instance field, its ids read from the path, in
      // the order SetupAPI lists them: by path, without regard to case.
      {0, 0, ZELTA_OK, {"s5", "s1", "s3", "s6", "s2", "s4"},
       {{0x0abc, 0}, {0x0abc, 0x1234}, {0x0abc, 0x1234}, {0x0abc, 0x1234}, {0x0abc, 0x5678}, {0x0def, 0x1234}}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << std::hex << ": " << c.vendor << "/" << c.product);
    // A stale record from an earlier search never survives a new one.
    NewDeviceRecord stale;
    stale.uniqueId = TextView("stale");
    ASSERT_TRUE(Devices().Append(stale));
    EXPECT_EQ(ScanUsbDevices(static_cast<WORD>(c.vendor), static_cast<WORD>(c.product)), c.status);
    EXPECT_EQ(UniqueIds(), c.uniqueIds);
    std::vector<std::pair<WORD, WORD>> ids;
    for (const DeviceRecord* r : world::Records()) ids.emplace_back(r->vendorId, r->productId);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST_F(UsbScan, IdentityStringsOfARecord) {
  const std::string serial = UsbPath("vid_0abc&pid_1234", "0123abc");
  const std::string madeUp = UsbPath("vid_0abc&pid_1234", "5&2a3b4c5d&0&1");
  const std::string noPrefix = UsbPath("vid_0abc&pid_1234", "6&1&0&2");
  AddUsb(serial, "7&11&0");
  AddUsb(madeUp, "6&2f3e&0");
  AddUsb(noPrefix);  // its Enum key is missing

  ASSERT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  const std::vector<const DeviceRecord*> r = world::Records();
  ASSERT_EQ(r.size(), 3u);
  struct Expected {
    const char* uniqueId;
    const char* childMatchId;
    const char* parentIdPrefix;
    std::string devicePath;
  } expected[] = {
      {"0123abc", "0123abc", "7&11&0", serial},
      {"5&2a3b4c5d&0&1", "6&2f3e&0", "6&2f3e&0", madeUp},
      {"6&1&0&2", "", "", noPrefix},
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(testing::Message() << "record " << i);
    EXPECT_STREQ(r[i]->uniqueId, expected[i].uniqueId);
    EXPECT_STREQ(r[i]->childMatchId, expected[i].childMatchId);
    EXPECT_STREQ(r[i]->parentIdPrefix, expected[i].parentIdPrefix);
    EXPECT_EQ(r[i]->devicePath, expected[i].devicePath);
    EXPECT_STREQ(r[i]->driverSlotName, "");
    EXPECT_EQ(r[i]->driverSlotValue, 0u);
    EXPECT_EQ(world::Letters(*r[i]), "");
  }
}

TEST_F(UsbScan, TheTwoPrefixReadsKeepTheirOwnLimits) {
  // A made-up id takes its childMatchId through the 256-byte read; the
  // record's own parentIdPrefix is the 60-byte one.
  const std::string path = UsbPath("vid_0abc&pid_1234", "5&2a&0&1");
  AddUsb(path, std::string(100, 'p'));
  ASSERT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  const DeviceRecord& r = *zeltaGetDriveMap(nullptr);
  EXPECT_EQ(std::string(r.childMatchId), std::string(100, 'p'));
  EXPECT_STREQ(r.parentIdPrefix, "");
}

TEST_F(UsbScan, DuplicatesGiveOneRecordInEnumerationOrder) {
  // Listed as 1234#b, 1234#b, 5678#a, 9999#a.
  AddUsb(UsbPath("vid_0abc&pid_9999", "a"));  // same instance text under other ids
  AddUsb(UsbPath("vid_0abc&pid_1234", "b"));
  AddUsb(UsbPath("vid_0abc&pid_5678", "a"));
  AddUsb(UsbPath("vid_0abc&pid_1234", "b"));
  EXPECT_EQ(ScanUsbDevices(0, 0), ZELTA_OK);
  EXPECT_EQ(UniqueIds(), (std::vector<std::string>{"b", "a"}));

  // A search whose only interfaces repeat one device still succeeds.
  hostwin::Reset();
  AddUsb(UsbPath("vid_0abc&pid_1234", "only"));
  AddUsb(UsbPath("vid_0abc&pid_1234", "only"));
  EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  EXPECT_EQ(UniqueIds(), std::vector<std::string>{"only"});
}

TEST_F(UsbScan, ExaminesFifteenIndicesAtMost) {
  // Two digits each, so that the order by path is that of the numbers.
  for (int i = 0; i < 16; ++i) AddUsb(UsbPath("vid_0abc&pid_1234", (i < 10 ? "s0" : "s") + std::to_string(i)));
  EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  EXPECT_EQ(world::Records().size(), 15u);
  EXPECT_EQ(world::Records().back()->uniqueId, std::string("s14"));
  EXPECT_EQ(hostwin::CallCount("SetupDiEnumDeviceInterfaces"), 15u);

  // Only the sixteenth matches: nothing is found. Its path comes last.
  hostwin::Reset();
  for (int i = 0; i < 15; ++i) AddUsb(UsbPath("vid_0abc&pid_0001", "o" + std::to_string(i)));
  AddUsb(UsbPath("vid_0abc&pid_1234", "late"));
  EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_E_NODEVICE);
  EXPECT_TRUE(world::Records().empty());
}

TEST_F(UsbScan, FailingCallsSkipOneInterfaceOrTheWholeScan) {
  for (const char* s : {"a", "b", "c"}) AddUsb(UsbPath("vid_0abc&pid_1234", s));
  struct Case {
    const char* fn;
    std::size_t nth;
    DWORD status;
    std::vector<std::string> uniqueIds;
  } cases[] = {
      {"SetupDiGetClassDevsA", 1, ZELTA_E_NODEVICE, {}},
      {"SetupDiEnumDeviceInterfaces", 2, ZELTA_OK, {"a", "c"}},  // passed over, the walk goes on
      {"SetupDiGetDeviceInterfaceDetailA", 1, ZELTA_OK, {"b", "c"}},  // no size reported
      {"SetupDiGetDeviceInterfaceDetailA", 4, ZELTA_OK, {"a", "c"}},  // the second call fails
      {"RegOpenKeyExA", 1, ZELTA_OK, {"a", "b", "c"}},                // only a prefix is lost
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.fn << " #" << c.nth);
    hostwin::ClearFaults();
    hostwin::FailNth(c.fn, c.nth, ERROR_GEN_FAILURE);
    EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), c.status);
    EXPECT_EQ(UniqueIds(), c.uniqueIds);
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
  }
  // Enumeration ends at ERROR_NO_MORE_ITEMS: three devices, four indices asked.
  hostwin::ClearFaults();
  hostwin::ClearCalls();
  EXPECT_EQ(ScanUsbDevices(0x0abc, 0x1234), ZELTA_OK);
  EXPECT_EQ(hostwin::CallCount("SetupDiEnumDeviceInterfaces"), 4u);
  EXPECT_EQ(hostwin::CallCount("SetupDiDestroyDeviceInfoList"), 1u);
}

}  // namespace
