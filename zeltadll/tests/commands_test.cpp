// The seven device commands: the driver link's life across lock, commands,
// unlock and search; what each command sends under a lock and the status it
// makes of the answer; and every driver call failing in turn.
#include "search.h"
#include "world.h"
#include "zelta_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Script = hostwin::devices::ScriptedDevice;
using zelta::Le32;
using Commands = world::Fixture;

// Two readers with one mounted disk each, for the searches below.
void LayOutReaders() {
  world::AddUsb(world::UsbPath("vid_0abc&pid_1234", "0123abc"));
  world::AddUsb(world::UsbPath("vid_0abc&pid_1234", "5&2a3b&0&1"), "6&1f&0");
  world::AddDisk(world::DiskPath("0123abc&0"), "7&aa&0", 'E');
  world::AddDisk(world::DiskPath("6&1f&0&0"), "7&cc&0", 'F');
}

BYTE g_buffer[64];
DWORD g_length;
const BYTE kVendor[ZELTA_VENDOR_REQUEST_SIZE] = {1, 0, 0, 0, 0xC0, 1, 0, 0, 0, 0, 8, 0};
const SetupRequestBlock kSetup = {1, 0x80, 0, 0, 0, 2};
const DescriptorRequestBlock kDescriptor = {1, 1, 0, 0, 0};

struct Call {
  const char* what;
  std::function<DWORD()> run;
  DWORD expected;
};

Call Lock(DWORD device, DWORD expected, DWORD flag = 1) {
  return {"lock", [=] { return zeltaLockUnlock(device, flag); }, expected};
}
Call Unlock(DWORD device, DWORD expected, DWORD flag = 0) {
  return {"unlock", [=] { return zeltaLockUnlock(device, flag); }, expected};
}
Call Search(DWORD expected) {
  return {"search", [] { return zeltaSearchUsbDevice(0x0abc, 0x1234); }, expected};
}
Call Serial(DWORD expected) {
  return {"serial number", [] { return zeltaGetSerialNumber(1, g_buffer, sizeof(g_buffer)); }, expected};
}

// Every command but lock/unlock, each expecting the status it gives without
// the link.
std::vector<Call> CommandsWithoutTheLink() {
  return {
      Serial(ZELTA_E_DESCRIPTOR),
      {"vendor",
       [] {
         g_length = 8;
         return zeltaVendorCommand(kVendor, g_buffer, &g_length);
       },
       ZELTA_E_VENDOR},
      {"bulk",
       [] {
         g_length = 8;
         return zeltaBulkio(1, g_buffer, &g_length, 1);
       },
       ZELTA_E_BULKIO},
      {"descriptor", [] { return zeltaGetDescriptor(0, &kDescriptor, g_buffer, 18); }, ZELTA_E_DESCRIPTOR},
      // Its pointers are not even looked at.
      {"interface information", [] { return zeltaGetInterfaceInfo(1, nullptr, nullptr); }, ZELTA_E_INTERFACE},
      {"standard request", [] { return zeltaStandardRequest(&kSetup, g_buffer); }, ZELTA_E_REQUEST},
  };
}

// The driver link across sequences of calls: each sequence runs against a
// script of the requests it must send, and ends with the link in a known
// state after a known number of opens.
TEST_F(Commands, TheLinkAcrossSequencesOfCalls) {
  struct Sequence {
    const char* what;
    std::function<void(Script&)> script;
    std::vector<Call> calls;
    std::size_t opens;  // CreateFileA calls
    bool openAfter;
    bool driverRefuses = false;
  };
  const std::vector<Sequence> sequences = {
      {"lock twice, then unlock once",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_UNLOCK, Le32(1), 0);
       },
       {Lock(1, ZELTA_OK), Lock(1, ZELTA_OK), Unlock(1, ZELTA_OK)}, 1, false},
      {"a failed select closes the link, and the lock is not sent",
       [](Script& d) { d.Expect(IOCTL_ZELTA_SELECT_DEVICE, Le32(1), 0).succeed = false; },
       {Lock(1, ZELTA_E_SELECT), Serial(ZELTA_E_DESCRIPTOR), Unlock(1, ZELTA_E_NODEVICE)}, 1, false},
      {"a failed lock closes the link",
       [](Script& d) {
         d.Expect(IOCTL_ZELTA_SELECT_DEVICE, Le32(1), 0);
         d.Expect(IOCTL_ZELTA_LOCK, Le32(1), 0).succeed = false;
       },
       {Lock(1, ZELTA_E_LOCK), Unlock(1, ZELTA_E_NODEVICE)}, 1, false},
      // The link is the process's, not the lock's: a failure closes it even
      // when an earlier lock had opened it, and that lock ends with it.
      {"a failed select closes the link that an earlier lock opened",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_SELECT_DEVICE, Le32(2), 0).succeed = false;
       },
       {Lock(1, ZELTA_OK), Lock(2, ZELTA_E_SELECT), Serial(ZELTA_E_DESCRIPTOR), Unlock(1, ZELTA_E_NODEVICE)}, 1,
       false},
      {"a failed lock closes the link that an earlier lock opened",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_SELECT_DEVICE, Le32(2), 0);
         d.Expect(IOCTL_ZELTA_LOCK, Le32(2), 0).succeed = false;
       },
       {Lock(1, ZELTA_OK), Lock(2, ZELTA_E_LOCK), Serial(ZELTA_E_DESCRIPTOR), Unlock(1, ZELTA_E_NODEVICE)}, 1,
       false},
      {"a failed unlock keeps the link; the next unlock closes it",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_UNLOCK, Le32(1), 0).succeed = false;
         d.Expect(IOCTL_ZELTA_GET_DESCRIPTOR, {1, 0, 0, 0, 3, 3, 9, 4, 0, 0, 0, 0}, 64);
         d.Expect(IOCTL_ZELTA_UNLOCK, Le32(1), 0);
       },
       {Lock(1, ZELTA_OK), Unlock(1, ZELTA_E_LOCK), Serial(ZELTA_OK), Unlock(1, ZELTA_OK)}, 1, false},
      {"unlock without a lock sends nothing", [](Script&) {}, {Unlock(1, ZELTA_E_NODEVICE)}, 0, false},
      {"lock without the driver", [](Script&) {}, {Lock(1, ZELTA_E_NODEVICE), Unlock(1, ZELTA_E_NODEVICE)}, 1, false,
       true},
      {"a lock flag of 0x100 unlocks; 0x101 and 0x1FF lock",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_UNLOCK, Le32(1), 0);
       },
       {Unlock(1, ZELTA_E_NODEVICE, 0x100), Lock(1, ZELTA_OK, 0x101), Lock(1, ZELTA_OK, 0x1FF),
        Unlock(1, ZELTA_OK, 0x100)},
       1, false},
      {"the unlock goes to the number it is given, not the one locked",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_UNLOCK, Le32(2), 0);
       },
       {Lock(1, ZELTA_OK), Unlock(2, ZELTA_OK)}, 1, false},
      {"a search during a lock binds on its link and closes it",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         zelta::EndSlots(d, 0);
       },
       {Lock(1, ZELTA_OK), Search(ZELTA_OK), Serial(ZELTA_E_DESCRIPTOR), Unlock(1, ZELTA_E_NODEVICE)}, 1, false},
      {"a search that finds nothing leaves the lock's link alone",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_GET_DESCRIPTOR, {1, 0, 0, 0, 3, 3, 9, 4, 0, 0, 0, 0}, 64);
       },
       {Lock(1, ZELTA_OK), {"search", [] { return zeltaSearchUsbDevice(0x0abc, 0x9999); }, ZELTA_E_NODEVICE},
        Serial(ZELTA_OK)},
       1, true},
      {"a search whose disk phase fails leaves the lock's link alone",
       [](Script& d) {
         zelta::ExpectLock(d, 1);
         d.Expect(IOCTL_ZELTA_UNLOCK, Le32(1), 0);
       },
       {Lock(1, ZELTA_OK),
        {"search without a disk set",
         [] {
           hostwin::FailNth("SetupDiGetClassDevsA", 2, ERROR_GEN_FAILURE);  // the USB set comes first
           return zeltaSearchUsbDevice(0x0abc, 0x1234);
         },
         ZELTA_E_NODEVICE},
        Unlock(1, ZELTA_OK)},
       1, false},
      {"commands outside a lock send nothing", [](Script&) {}, CommandsWithoutTheLink(), 0, false},
  };
  for (std::size_t i = 0; i < sequences.size(); ++i) {
    const Sequence& s = sequences[i];
    SCOPED_TRACE(testing::Message() << "sequence " << i << ": " << s.what);
    CloseDriverLink();
    hostwin::Reset();
    LayOutReaders();
    auto driver = zelta::InstallScript();
    if (s.driverRefuses) driver->RefuseOpen(ERROR_FILE_NOT_FOUND);
    s.script(*driver);
    for (std::size_t k = 0; k < s.calls.size(); ++k)
      EXPECT_EQ(s.calls[k].run(), s.calls[k].expected) << "call " << k << ": " << s.calls[k].what;
    EXPECT_TRUE(driver->Problems().empty()) << testing::PrintToString(driver->Problems());
    EXPECT_EQ(hostwin::CallCount("CreateFileA"), s.opens);
    EXPECT_EQ(IsDriverLinkOpen(), s.openAfter);
    EXPECT_EQ(hostwin::OpenHandleCount(), s.openAfter ? 1u : 0u) << hostwin::DescribeOpenHandles();
    CloseDriverLink();
  }
}

// One command under a lock of device 7: the request it must send, the
// driver's answer, and the status and data the caller gets.
struct CommandCase {
  const char* what;
  DWORD code;
  std::vector<BYTE> input;
  DWORD outSize;
  bool driverSucceeds;
  // Runs the command on buffer with *length set to the caller's size (where
  // it has one); returns its status.
  std::function<DWORD(BYTE* buffer, DWORD* length)> run;
  DWORD expected;
  bool lengthComesBack;
  bool passesBuffer = true;  // false: the command is given no buffer at all
};

std::vector<CommandCase> CommandCases() {
  static const BYTE vendor[ZELTA_VENDOR_REQUEST_SIZE] = {7, 0, 0, 0, 0xC0, 5, 0x10, 0, 0, 0, 32, 0};
  static const DescriptorRequestBlock device = {0x42, 0, 1, 0, 0};
  static const SetupRequestBlock getDevice = {7, 0x80, 6, 0x0100, 0, 18};
  static const SetupRequestBlock setConfiguration = {7, 0x00, 9, 1, 0, 0};
  const std::vector<BYTE> serialBlock = {7, 0, 0, 0, 3, 3, 0x09, 0x04, 0, 0, 0, 0};
  std::vector<CommandCase> cases;
  for (const bool ok : {true, false}) {
    const auto status = [ok](DWORD failure) -> DWORD { return ok ? ZELTA_OK : failure; };
    cases.push_back({"serial number", IOCTL_ZELTA_GET_DESCRIPTOR, serialBlock, 40, ok,
                     [](BYTE* b, DWORD*) { return zeltaGetSerialNumber(7, b, 40); }, status(ZELTA_E_DESCRIPTOR),
                     false});
    cases.push_back({"vendor", IOCTL_ZELTA_VENDOR_REQUEST, std::vector<BYTE>(vendor, vendor + 12), 32, ok,
                     [](BYTE* b, DWORD* n) {
                       *n = 32;
                       return zeltaVendorCommand(vendor, b, n);
                     },
                     status(ZELTA_E_VENDOR), true});
    // Only the flag's low 8 bits choose the kind of bulk request.
    for (const DWORD flag : {0x1u, 0x80u, 0x180u}) {
      cases.push_back({"bulk, flag with low byte set", IOCTL_ZELTA_BULK_1, Le32(7), 24, ok,
                       [flag](BYTE* b, DWORD* n) {
                         *n = 24;
                         return zeltaBulkio(7, b, n, flag);
                       },
                       status(ZELTA_E_BULKIO), true});
    }
    for (const DWORD flag : {0x0u, 0x100u, 0xFFFFFF00u}) {
      cases.push_back({"bulk, flag with low byte clear", IOCTL_ZELTA_BULK_0, Le32(7), 24, ok,
                       [flag](BYTE* b, DWORD* n) {
                         *n = 24;
                         return zeltaBulkio(7, b, n, flag);
                       },
                       status(ZELTA_E_BULKIO), true});
    }
    // The device number is the block's; the first argument is not sent.
    cases.push_back({"descriptor", IOCTL_ZELTA_GET_DESCRIPTOR, {0x42, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}, 18, ok,
                     [](BYTE* b, DWORD*) { return zeltaGetDescriptor(0xDEADBEEF, &device, b, 18); },
                     status(ZELTA_E_DESCRIPTOR), false});
    cases.push_back({"interface information", IOCTL_ZELTA_GET_INTERFACE_INFO, Le32(7), 40, ok,
                     [](BYTE* b, DWORD* n) {
                       *n = 40;
                       return zeltaGetInterfaceInfo(7, b, n);
                     },
                     status(ZELTA_E_INTERFACE), true});
    // No argument is tested: the null buffer goes to the driver with the size.
    cases.push_back({"interface information, no buffer", IOCTL_ZELTA_GET_INTERFACE_INFO, Le32(7), 40, ok,
                     [](BYTE*, DWORD* n) {
                       *n = 40;
                       return zeltaGetInterfaceInfo(7, nullptr, n);
                     },
                     status(ZELTA_E_INTERFACE), true, false});
    cases.push_back({"standard request", IOCTL_ZELTA_STANDARD_REQUEST, {7, 0, 0, 0, 0x80, 6, 0, 1, 0, 0, 18, 0}, 18,
                     ok, [](BYTE* b, DWORD*) { return zeltaStandardRequest(&getDevice, b); },
                     status(ZELTA_E_REQUEST), false});
    cases.push_back({"standard request without a data stage", IOCTL_ZELTA_STANDARD_REQUEST,
                     {7, 0, 0, 0, 0, 9, 1, 0, 0, 0, 0, 0}, 0, ok,
                     [](BYTE*, DWORD*) { return zeltaStandardRequest(&setConfiguration, nullptr); },
                     status(ZELTA_E_REQUEST), false});
  }
  return cases;
}

TEST_F(Commands, EachCommandUnderALock) {
  const std::vector<CommandCase> cases = CommandCases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const CommandCase& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what << (c.driverSucceeds ? "" : ", failing"));
    CloseDriverLink();
    hostwin::Reset();
    auto driver = zelta::InstallScript();
    zelta::ExpectLock(*driver, 7);
    // The driver answers 5 bytes (none when there is no buffer).
    const DWORD answered = c.outSize < 5 ? c.outSize : 5;
    Script::Step& step = driver->Expect(c.code, c.input, c.outSize);
    step.succeed = c.driverSucceeds;
    step.output.assign(answered, 0x61);
    step.bytesReturned = answered;
    driver->Expect(IOCTL_ZELTA_UNLOCK, Le32(7), 0);

    ASSERT_EQ(zeltaLockUnlock(7, 1), ZELTA_OK);
    std::vector<BYTE> buffer(c.outSize + 8, zelta::kMarker);
    DWORD length = 0;
    EXPECT_EQ(c.run(buffer.data(), &length), c.expected);
    for (std::size_t b = 0; b < buffer.size(); ++b)
      ASSERT_EQ(buffer[b], c.driverSucceeds && c.passesBuffer && b < answered ? 0x61 : zelta::kMarker)
          << "byte " << b;
    if (c.lengthComesBack && c.driverSucceeds) {
      EXPECT_EQ(length, answered);
    }
    EXPECT_TRUE(IsDriverLinkOpen());  // no command but lock/unlock closes it
    EXPECT_EQ(zeltaLockUnlock(7, 0), ZELTA_OK);
    EXPECT_TRUE(driver->Problems().empty()) << testing::PrintToString(driver->Problems());
  }
}

// Null pointers with and without a lock. The length pointers of vendor and
// bulk requests are read only when the link is open: a null one there is
// reported as ZELTA_E_INVALIDARG rather than followed. The interface
// information reports only its own failure, and sends nothing either.
TEST_F(Commands, NullPointersAreRefusedBeforeAnyRequest) {
  BYTE buffer[8];
  DWORD length = sizeof(buffer);
  SetupRequestBlock setup = {7, 0x80, 0, 0, 0, 2};
  const DescriptorRequestBlock block = {7, 3, 3, 0x0409, 0};
  struct Case {
    const char* what;
    std::function<DWORD()> run;
    DWORD locked;    // with the link open
    DWORD unlocked;  // with the link closed
  } cases[] = {
      {"serial number, no buffer", [&] { return zeltaGetSerialNumber(7, nullptr, 8); }, ZELTA_E_INVALIDARG,
       ZELTA_E_INVALIDARG},
      {"vendor, no request", [&] { return zeltaVendorCommand(nullptr, buffer, &length); }, ZELTA_E_INVALIDARG,
       ZELTA_E_INVALIDARG},
      {"vendor, no buffer, length 0",
       [&] {
         length = 0;
         return zeltaVendorCommand(kVendor, nullptr, &length);
       },
       ZELTA_E_INVALIDARG, ZELTA_E_INVALIDARG},
      {"vendor, no length", [&] { return zeltaVendorCommand(kVendor, buffer, nullptr); }, ZELTA_E_INVALIDARG,
       ZELTA_E_VENDOR},
      {"bulk, no buffer", [&] { return zeltaBulkio(7, nullptr, &length, 1); }, ZELTA_E_INVALIDARG,
       ZELTA_E_INVALIDARG},
      {"bulk, no length", [&] { return zeltaBulkio(7, buffer, nullptr, 1); }, ZELTA_E_INVALIDARG, ZELTA_E_BULKIO},
      {"descriptor, no request", [&] { return zeltaGetDescriptor(7, nullptr, buffer, 8); }, ZELTA_E_INVALIDARG,
       ZELTA_E_INVALIDARG},
      {"descriptor, no buffer", [&] { return zeltaGetDescriptor(7, &block, nullptr, 8); }, ZELTA_E_INVALIDARG,
       ZELTA_E_INVALIDARG},
      {"interface information, no length", [&] { return zeltaGetInterfaceInfo(7, buffer, nullptr); },
       ZELTA_E_INTERFACE, ZELTA_E_INTERFACE},
      {"standard request, no request", [&] { return zeltaStandardRequest(nullptr, buffer); }, ZELTA_E_INVALIDARG,
       ZELTA_E_INVALIDARG},
      {"standard request, data stage without a buffer", [&] { return zeltaStandardRequest(&setup, nullptr); },
       ZELTA_E_INVALIDARG, ZELTA_E_INVALIDARG},
  };
  auto driver = zelta::InstallScript();
  zelta::ExpectLock(*driver, 7);
  driver->Expect(IOCTL_ZELTA_UNLOCK, Le32(7), 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what);
    EXPECT_EQ(cases[i].run(), cases[i].unlocked);
  }
  ASSERT_EQ(zeltaLockUnlock(7, 1), ZELTA_OK);
  hostwin::ClearCalls();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what << ", locked");
    EXPECT_EQ(cases[i].run(), cases[i].locked);
  }
  EXPECT_EQ(hostwin::CallCount("DeviceIoControl"), 0u);
  EXPECT_EQ(zeltaLockUnlock(7, 0), ZELTA_OK);
  EXPECT_TRUE(driver->Problems().empty()) << testing::PrintToString(driver->Problems());
}

// The whole road of a request, with each driver call (open, request, close)
// failing in turn. Whatever fails: no crash, each export answers one of its
// own statuses, the export whose request failed reports a failure, and the
// only handle that may stay open is the link that a failed unlock keeps.
TEST_F(Commands, EveryDriverCallMayFail) {
  struct Step {
    const char* what;
    std::function<DWORD()> run;
    std::set<DWORD> statuses;  // what it may return besides ZELTA_OK
    bool reportsFailures;      // a failed request of its own shows in its status
  };
  static BYTE buffer[64];
  static DWORD length;
  static const BYTE vendor[ZELTA_VENDOR_REQUEST_SIZE] = {0x11, 0, 0, 0, 0xC0, 1, 0, 0, 0, 0, 8, 0};
  static const DescriptorRequestBlock descriptor = {0x11, 0, 1, 0, 0};
  static const SetupRequestBlock standard = {0x11, 0x80, 0, 0, 0, 2};
  const std::vector<Step> road = {
      // The search reports no failure once its link is open.
      {"search", [] { return zeltaSearchUsbDevice(0x0abc, 0x1234); }, {ZELTA_E_OPEN}, false},
      {"lock", [] { return zeltaLockUnlock(0x11, 1); }, {ZELTA_E_NODEVICE, ZELTA_E_SELECT, ZELTA_E_LOCK}, true},
      {"serial number", [] { return zeltaGetSerialNumber(0x11, buffer, sizeof(buffer)); }, {ZELTA_E_DESCRIPTOR},
       true},
      {"vendor",
       [] {
         length = 8;
         return zeltaVendorCommand(vendor, buffer, &length);
       },
       {ZELTA_E_VENDOR}, true},
      {"bulk out",
       [] {
         length = 16;
         return zeltaBulkio(0x11, buffer, &length, 0);
       },
       {ZELTA_E_BULKIO}, true},
      {"bulk in",
       [] {
         length = 16;
         return zeltaBulkio(0x11, buffer, &length, 1);
       },
       {ZELTA_E_BULKIO}, true},
      {"descriptor", [] { return zeltaGetDescriptor(0, &descriptor, buffer, sizeof(buffer)); },
       {ZELTA_E_DESCRIPTOR}, true},
      {"interface information",
       [] {
         length = sizeof(buffer);
         return zeltaGetInterfaceInfo(0x11, buffer, &length);
       },
       {ZELTA_E_INTERFACE}, true},
      {"standard request", [] { return zeltaStandardRequest(&standard, buffer); }, {ZELTA_E_REQUEST}, true},
      {"unlock", [] { return zeltaLockUnlock(0x11, 0); }, {ZELTA_E_NODEVICE, ZELTA_E_LOCK}, true},
  };
  const auto setUp = [] {
    CloseDriverLink();
    hostwin::Reset();
    LayOutReaders();
    hostwin::devices::Install(zelta::kLinkName, std::make_shared<zelta::StatefulDriver>(
                                                    std::vector<zelta::StatefulDriver::Slot>{
                                                        {"A#B#0123abc#D", 0x11}, {"A#B#5&2a3b&0&1#D", 0x22}}));
  };

  // Undisturbed, every step succeeds and the link ends closed.
  setUp();
  std::map<std::string, std::size_t> calls;
  for (const Step& step : road) EXPECT_EQ(step.run(), ZELTA_OK) << step.what;
  const std::vector<const DeviceRecord*> records = world::Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]->driverSlotValue, 0x11u);
  EXPECT_EQ(records[1]->driverSlotValue, 0x22u);
  EXPECT_FALSE(IsDriverLinkOpen());
  for (const char* fn : {"CreateFileA", "DeviceIoControl", "CloseHandle"}) calls[fn] = hostwin::CallCount(fn);
  ASSERT_EQ(calls["CreateFileA"], 2u);
  ASSERT_EQ(calls["DeviceIoControl"], 15u);  // 5 for the slots, 2 for the lock, 7 commands, the unlock

  for (const auto& [fn, count] : calls) {
    for (std::size_t n = 1; n <= count; ++n) {
      SCOPED_TRACE(testing::Message() << fn << " call " << n << " fails");
      setUp();
      hostwin::FailNth(fn, n, ERROR_GEN_FAILURE);
      for (const Step& step : road) {
        const std::size_t before = hostwin::CallCount(fn);
        const DWORD status = step.run();
        const bool failedHere = before < n && hostwin::CallCount(fn) >= n;
        SCOPED_TRACE(step.what);
        EXPECT_TRUE(status == ZELTA_OK || step.statuses.count(status) == 1) << std::hex << status;
        if (failedHere && fn != "CloseHandle" && step.reportsFailures) {
          EXPECT_NE(status, ZELTA_OK);
        }
        EXPECT_EQ(hostwin::OpenHandleCount(), IsDriverLinkOpen() ? 1u : 0u) << hostwin::DescribeOpenHandles();
      }
      for (const DeviceRecord* r : world::Records()) {
        ASSERT_NE(r->driverSlotName, nullptr);
        EXPECT_TRUE(r->driverSlotName[0] == '\0' || std::string(r->driverSlotName).find(r->uniqueId) == 4);
      }
      // Only a failed unlock may leave the link open, and a close then ends it.
      CloseDriverLink();
      EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
    }
  }
}

}  // namespace
