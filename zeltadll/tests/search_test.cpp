// The export zeltaSearchUsbDevice across its phases: results, the table a
// failing phase leaves, and faults at every call the search makes.
#include "search.h"
#include "world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using world::AddDisk;
using world::AddUsb;
using world::DiskPath;
using world::UsbPath;

class Search : public world::Fixture {
 protected:
  // Two readers of vendor 0abc/1234 with three mounted disks, and a device
  // of another vendor.
  static void LayOut() {
    AddUsb(UsbPath("vid_0abc&pid_1234", "0123abc"));
    AddUsb(UsbPath("vid_0def&pid_0001", "xyz9"));
    AddUsb(UsbPath("vid_0abc&pid_1234", "5&2a3b4c5d&0&1"), "6&1f2e&0");
    AddDisk(DiskPath("0123abc&1"), "7&aa&0", 'G');
    AddDisk(DiskPath("0123abc&0"), "7&bb&0", 'E');
    AddDisk(DiskPath("6&1f2e&0&0"), "7&cc&0", 'F');
  }

  // uniqueId -> letters, for every record.
  static std::map<std::string, std::string> Table() {
    std::map<std::string, std::string> out;
    for (const DeviceRecord* r : world::Records()) out[r->uniqueId] = world::Letters(*r);
    return out;
  }

  // Every record reads as the interface promises: strings never null,
  // uniqueId never empty, the used entries of the map at the front, in
  // position and letter order.
  static void ExpectWellFormed() {
    for (const DeviceRecord* r : world::Records()) {
      SCOPED_TRACE(r->devicePath ? r->devicePath : "(null path)");
      for (const char* s : {r->uniqueId, r->childMatchId, r->parentIdPrefix, r->devicePath, r->driverSlotName})
        ASSERT_NE(s, nullptr);
      EXPECT_NE(r->uniqueId[0], '\0');
      bool ended = false;
      for (int i = 0; i < ZELTA_DRIVEMAP_ENTRIES; ++i) {
        const DriveMapEntry& e = r->driveMap[i];
        if (e.position == ZELTA_DRIVEMAP_UNUSED) {
          ended = true;
          EXPECT_EQ(e.letter, ZELTA_DRIVEMAP_UNUSED);
          continue;
        }
        EXPECT_FALSE(ended) << "used entry after an unused one";
        EXPECT_EQ(e.position, i);
        EXPECT_GE(e.letter, 'D');
        EXPECT_LE(e.letter, 'Z');
        if (i > 0) {
          EXPECT_LE(r->driveMap[i - 1].letter, e.letter);
        }
      }
    }
  }
};

TEST_F(Search, WithoutTheDriverTheSearchEndsInOpenFailureAndKeepsItsRecords) {
  LayOut();
  EXPECT_EQ(zeltaSearchUsbDevice(0x0abc, 0x1234), ZELTA_E_OPEN);
  EXPECT_EQ(Table(), (std::map<std::string, std::string>{{"0123abc", "EG"}, {"5&2a3b4c5d&0&1", "F"}}));
  ExpectWellFormed();
  for (const DeviceRecord* r : world::Records()) {
    EXPECT_STREQ(r->driverSlotName, "");
    EXPECT_EQ(r->driverSlotValue, 0u);
  }
  // Only the low 16 bits of each id count.
  EXPECT_EQ(zeltaSearchUsbDevice(0xFFFF0abc, 0x00011234), ZELTA_E_OPEN);
  EXPECT_EQ(world::Records().size(), 2u);
  // All devices: the other vendor's device too, without letters.
  EXPECT_EQ(zeltaSearchUsbDevice(0, 0), ZELTA_E_OPEN);
  EXPECT_EQ(Table(), (std::map<std::string, std::string>{
                         {"0123abc", "EG"}, {"xyz9", ""}, {"5&2a3b4c5d&0&1", "F"}}));
  // The binding phase alone, with the driver link closed.
  EXPECT_EQ(BindDriverSlots(), ZELTA_E_OPEN);
}

TEST_F(Search, AFailingPhaseLeavesTheTableAsItStood) {
  LayOut();
  ASSERT_EQ(zeltaSearchUsbDevice(0x0abc, 0x1234), ZELTA_E_OPEN);

  // Phase 1 finds nothing: the earlier records are gone.
  EXPECT_EQ(zeltaSearchUsbDevice(0x0abc, 0x9999), ZELTA_E_NODEVICE);
  EXPECT_EQ(zeltaGetDriveMap(nullptr), nullptr);

  // Phase 2 reads no disk: the records of phase 1, without letters.
  hostwin::FailNth("SetupDiGetClassDevsA", 2, ERROR_GEN_FAILURE);
  EXPECT_EQ(zeltaSearchUsbDevice(0x0abc, 0x1234), ZELTA_E_NODEVICE);
  EXPECT_EQ(Table(), (std::map<std::string, std::string>{{"0123abc", ""}, {"5&2a3b4c5d&0&1", ""}}));

  // No USB interface set at all.
  hostwin::ClearFaults();
  hostwin::FailNth("SetupDiGetClassDevsA", 1, ERROR_GEN_FAILURE);
  EXPECT_EQ(zeltaSearchUsbDevice(0x0abc, 0x1234), ZELTA_E_NODEVICE);
  EXPECT_EQ(zeltaGetDriveMap(nullptr), nullptr);
}

// Each call that the search makes fails in turn. Whatever fails, the search
// returns one of its statuses, leaves no handle open, and leaves a table that
// a failing phase may leave: empty, phase-1 records without letters, or
// records that hold at most what the undisturbed search gives them.
TEST_F(Search, EveryCallMayFail) {
  LayOut();
  ASSERT_EQ(zeltaSearchUsbDevice(0, 0), ZELTA_E_OPEN);
  const std::map<std::string, std::string> full = Table();
  const std::size_t calls = hostwin::Calls().size();
  ASSERT_GT(calls, 20u);

  for (const DWORD error : {static_cast<DWORD>(ERROR_GEN_FAILURE), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)}) {
    for (std::size_t n = 1; n <= calls; ++n) {
      hostwin::Reset();
      LayOut();
      hostwin::FailNthMatching("", n, error);
      const DWORD status = zeltaSearchUsbDevice(0, 0);
      const hostwin::Call failed = n <= hostwin::Calls().size() ? hostwin::Calls()[n - 1] : hostwin::Call{"?", ""};
      SCOPED_TRACE(testing::Message() << "call " << n << " (" << failed.fn << " " << failed.args << ") fails with "
                                      << error);
      EXPECT_TRUE(status == ZELTA_E_OPEN || status == ZELTA_E_NODEVICE) << std::hex << status;
      EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
      ExpectWellFormed();
      const std::map<std::string, std::string> table = Table();
      bool noLetters = true;
      for (const auto& [id, letters] : table) {
        ASSERT_EQ(full.count(id), 1u) << id;
        // Letters only ever go missing, never appear.
        EXPECT_TRUE(std::includes(full.at(id).begin(), full.at(id).end(), letters.begin(), letters.end()))
            << id << ": " << letters;
        noLetters = noLetters && letters.empty();
      }
      if (status == ZELTA_E_NODEVICE) {
        EXPECT_TRUE(noLetters);
      }
      if (table.empty()) {
        EXPECT_EQ(status, static_cast<DWORD>(ZELTA_E_NODEVICE));
      }
    }
  }
}

TEST_F(Search, CommandsFailWithoutTheDriver) {
  BYTE buffer[16] = {};
  DWORD length = sizeof(buffer);
  DescriptorRequestBlock descriptor = {1, 3, 3, 0x0409, 0};
  SetupRequestBlock setup = {1, 0x80, 6, 0x0100, 0, 0};
  const BYTE vendor[ZELTA_VENDOR_REQUEST_SIZE] = {};
  struct Case {
    const char* what;
    DWORD status;
    DWORD expected;
  } cases[] = {
      {"lock", zeltaLockUnlock(1, 1), ZELTA_E_NODEVICE},
      {"unlock", zeltaLockUnlock(1, 0), ZELTA_E_NODEVICE},
      {"serial number", zeltaGetSerialNumber(1, buffer, sizeof(buffer)), ZELTA_E_DESCRIPTOR},
      {"serial number, no buffer", zeltaGetSerialNumber(1, nullptr, 0), ZELTA_E_INVALIDARG},
      {"vendor", zeltaVendorCommand(vendor, buffer, &length), ZELTA_E_VENDOR},
      {"vendor, no buffer", zeltaVendorCommand(vendor, nullptr, &length), ZELTA_E_INVALIDARG},
      {"vendor, no request", zeltaVendorCommand(nullptr, buffer, &length), ZELTA_E_INVALIDARG},
      {"bulk", zeltaBulkio(1, buffer, &length, 1), ZELTA_E_BULKIO},
      {"bulk, no buffer", zeltaBulkio(1, nullptr, &length, 0), ZELTA_E_INVALIDARG},
      {"descriptor", zeltaGetDescriptor(0, &descriptor, buffer, sizeof(buffer)), ZELTA_E_DESCRIPTOR},
      {"descriptor, no request", zeltaGetDescriptor(0, nullptr, buffer, sizeof(buffer)), ZELTA_E_INVALIDARG},
      {"descriptor, no buffer", zeltaGetDescriptor(0, &descriptor, nullptr, 0), ZELTA_E_INVALIDARG},
      {"interface information", zeltaGetInterfaceInfo(1, nullptr, nullptr), ZELTA_E_INTERFACE},
      {"standard request, no request", zeltaStandardRequest(nullptr, buffer), ZELTA_E_INVALIDARG},
      {"standard request, no data stage", zeltaStandardRequest(&setup, nullptr), ZELTA_E_REQUEST},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what);
    EXPECT_EQ(cases[i].status, cases[i].expected);
  }
  setup.wLength = 8;
  EXPECT_EQ(zeltaStandardRequest(&setup, nullptr), ZELTA_E_INVALIDARG);
  EXPECT_EQ(zeltaStandardRequest(&setup, buffer), ZELTA_E_REQUEST);
  // Only the lock tried to open the link; no request reached a driver.
  EXPECT_EQ(hostwin::Calls().size(), hostwin::CallCount("CreateFileA"));
  EXPECT_EQ(hostwin::CallCount("CreateFileA"), 1u);
}

}  // namespace
