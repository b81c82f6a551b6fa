// The driver link \\.\ZELTA and its request wrappers: how the link opens and
// closes, and the exact control code, input bytes and buffer sizes of each
// request.
#include "driver_link.h"
#include "world.h"
#include "zelta_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using zelta::Le32;
using Script = hostwin::devices::ScriptedDevice;

using DriverLink = world::Fixture;

TEST_F(DriverLink, OpensOnceWithItsOwnArgumentsAndClosesForEveryone) {
  // Without a driver the link stays closed, and closing it does nothing.
  EXPECT_EQ(OpenDriverLink(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(IsDriverLinkOpen());
  EXPECT_FALSE(CloseDriverLink());
  EXPECT_EQ(hostwin::CallCount("CloseHandle"), 0u);
  // GENERIC_ALL, read and write sharing, OPEN_EXISTING, flags 0 (synchronous).
  const std::vector<hostwin::Call> opens = hostwin::CallsOf("CreateFileA");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].args, "\\\\.\\ZELTA|0x10000000|3|3|0x0");

  auto driver = zelta::InstallScript();
  hostwin::ClearCalls();
  const HANDLE h = OpenDriverLink();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(IsDriverLinkOpen());
  EXPECT_EQ(OpenDriverLink(), h);  // open already: no call
  EXPECT_EQ(hostwin::Calls().size(), 1u);
  EXPECT_TRUE(CloseDriverLink());
  EXPECT_FALSE(IsDriverLinkOpen());
  EXPECT_FALSE(CloseDriverLink());
  EXPECT_EQ(driver->Opens(), 1u);
  EXPECT_EQ(driver->Closes(), 1u);

  // A close that reports failure has still let the handle go; the next open
  // asks the system again.
  ASSERT_NE(OpenDriverLink(), INVALID_HANDLE_VALUE);
  hostwin::FailNth("CloseHandle", 1, ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseDriverLink());
  EXPECT_FALSE(IsDriverLinkOpen());
  EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
  ASSERT_NE(OpenDriverLink(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(driver->Opens(), 3u);
  CloseDriverLink();
  EXPECT_TRUE(driver->Problems().empty());
}

// One request per case: the wrapper's arguments, what the driver must receive,
// and whether the driver's byte count comes back to the caller.
struct WrapperCase {
  const char* what;
  DWORD code;
  std::vector<BYTE> input;
  DWORD outSize;
  // Calls the wrapper with out (room for outSize bytes and more) and, where
  // it has one, the count variable that carries the size in and the driver's
  // byte count back.
  std::function<bool(BYTE* out, DWORD* count)> call;
  bool countComesBack;
};

std::vector<WrapperCase> WrapperCases() {
  static const DescriptorRequestBlock serial = {0x11, 3, 3, 0x0409, 0};
  static const SetupRequestBlock getDevice = {0x44, 0x80, 6, 0x0100, 0, 18};
  static const SetupRequestBlock noData = {0x44, 0x00, 9, 0x0001, 0, 0};
  static const BYTE vendor[ZELTA_VENDOR_REQUEST_SIZE] = {0x22, 0, 0, 0, 0xC0, 5, 0x10, 0, 0, 0, 32, 0};
  return {
      {"select", IOCTL_ZELTA_SELECT_DEVICE, Le32(0x12345678), 0,
       [](BYTE*, DWORD*) { return DrvSelectDevice(0x12345678); }, false},
      {"lock", IOCTL_ZELTA_LOCK, Le32(0x11), 0, [](BYTE*, DWORD*) { return DrvLockDevice(0x11, 1); }, false},
      {"lock, flag 0x80", IOCTL_ZELTA_LOCK, Le32(0x11), 0, [](BYTE*, DWORD*) { return DrvLockDevice(0x11, 0x80); },
       false},
      {"unlock", IOCTL_ZELTA_UNLOCK, Le32(0x11), 0, [](BYTE*, DWORD*) { return DrvLockDevice(0x11, 0); }, false},
      {"descriptor", IOCTL_ZELTA_GET_DESCRIPTOR, {0x11, 0, 0, 0, 3, 3, 0x09, 0x04, 0, 0, 0, 0}, 18,
       [](BYTE* out, DWORD*) { return DrvGetDescriptor(&serial, out, 18); }, false},
      {"vendor", IOCTL_ZELTA_VENDOR_REQUEST, std::vector<BYTE>(vendor, vendor + 12), 32,
       [](BYTE* out, DWORD* count) {
         *count = 32;
         return DrvVendorRequest(vendor, out, count);
       },
       true},
      {"bulk, flag 1", IOCTL_ZELTA_BULK_1, Le32(0x22), 64,
       [](BYTE* out, DWORD* count) {
         *count = 64;
         return DrvBulkTransfer(0x22, out, count, 1);
       },
       true},
      {"bulk, flag 0", IOCTL_ZELTA_BULK_0, Le32(0x22), 7,
       [](BYTE* out, DWORD* count) {
         *count = 7;
         return DrvBulkTransfer(0x22, out, count, 0);
       },
       true},
      {"slot name", IOCTL_ZELTA_GET_SLOT_NAME, {5}, 256,
       [](BYTE* out, DWORD* count) {
         *count = 256;
         return DrvGetSlotName(5, out, count);
       },
       true},
      {"slot value", IOCTL_ZELTA_GET_SLOT_VALUE, {15}, 4,
       [](BYTE* out, DWORD*) { return DrvGetSlotValue(15, reinterpret_cast<DWORD*>(out)); }, false},
      {"interface information", IOCTL_ZELTA_GET_INTERFACE_INFO, Le32(0x33), 40,
       [](BYTE* out, DWORD* count) {
         *count = 40;
         return DrvGetInterfaceInfo(0x33, out, count);
       },
       true},
      {"standard request", IOCTL_ZELTA_STANDARD_REQUEST, {0x44, 0, 0, 0, 0x80, 6, 0x00, 0x01, 0, 0, 18, 0}, 18,
       [](BYTE* out, DWORD*) { return DrvStandardRequest(&getDevice, out); }, false},
      // wLength 0: an output size of 0, and the caller's null pointer as it is.
      {"standard request, no data stage", IOCTL_ZELTA_STANDARD_REQUEST, {0x44, 0, 0, 0, 0, 9, 1, 0, 0, 0, 0, 0}, 0,
       [](BYTE*, DWORD*) { return DrvStandardRequest(&noData, nullptr); }, false},
  };
}

TEST_F(DriverLink, EachWrapperSendsItsCodeInputAndSizes) {
  const std::vector<WrapperCase> cases = WrapperCases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const WrapperCase& c = cases[i];
    for (const bool succeed : {true, false}) {
      SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what << (succeed ? "" : ", failing"));
      CloseDriverLink();
      hostwin::Reset();
      auto driver = zelta::InstallScript();
      // The driver answers with fewer bytes than the buffer holds; the
      // answer is the only thing that lands in the caller's buffer.
      const DWORD answered = c.outSize < 3 ? c.outSize : 3;
      Script::Step& step = driver->Expect(c.code, c.input, c.outSize);
      step.succeed = succeed;
      step.output.assign(answered, 0x61);
      step.bytesReturned = answered;
      ASSERT_NE(OpenDriverLink(), INVALID_HANDLE_VALUE);

      std::vector<BYTE> out(c.outSize + 8, zelta::kMarker);
      DWORD count = 0xFFFF;
      EXPECT_EQ(c.call(out.data(), &count), succeed);
      EXPECT_TRUE(driver->Problems().empty()) << testing::PrintToString(driver->Problems());
      EXPECT_EQ(hostwin::CallCount("DeviceIoControl"), 1u);
      for (std::size_t b = 0; b < out.size(); ++b) {
        const BYTE expected = succeed && b < answered ? 0x61 : zelta::kMarker;
        ASSERT_EQ(out[b], expected) << "byte " << b;
      }
      // After a failure the count is whatever Windows left there: not read.
      if (c.countComesBack && succeed) {
        EXPECT_EQ(count, answered);
      }
      EXPECT_TRUE(IsDriverLinkOpen());  // a failed request leaves the link as it was
      CloseDriverLink();
    }
  }
}

TEST_F(DriverLink, AClosedLinkSendsNothingAndReadsNoPointer) {
  auto driver = zelta::InstallScript();
  // Null everywhere: a wrapper on a closed link must not even read its
  // length or its request block.
  EXPECT_FALSE(DrvSelectDevice(1));
  EXPECT_FALSE(DrvLockDevice(1, 1));
  EXPECT_FALSE(DrvLockDevice(1, 0));
  BYTE out[4];
  EXPECT_FALSE(DrvGetDescriptor(nullptr, out, sizeof(out)));
  EXPECT_FALSE(DrvVendorRequest(nullptr, nullptr, nullptr));
  EXPECT_FALSE(DrvBulkTransfer(1, nullptr, nullptr, 1));
  EXPECT_FALSE(DrvGetSlotName(0, nullptr, nullptr));
  EXPECT_FALSE(DrvGetSlotValue(0, nullptr));
  EXPECT_FALSE(DrvGetInterfaceInfo(1, nullptr, nullptr));
  EXPECT_FALSE(DrvStandardRequest(nullptr, nullptr));
  EXPECT_TRUE(hostwin::Calls().empty());
  EXPECT_TRUE(driver->Problems().empty());
}

TEST_F(DriverLink, ADescriptorRequestWithoutABufferIsNeverSent) {
  auto driver = zelta::InstallScript();
  ASSERT_NE(OpenDriverLink(), INVALID_HANDLE_VALUE);
  const DescriptorRequestBlock block = {1, 3, 3, 0x0409, 0};
  EXPECT_FALSE(DrvGetDescriptor(&block, nullptr, 18));
  EXPECT_EQ(hostwin::CallCount("DeviceIoControl"), 0u);
  EXPECT_TRUE(IsDriverLinkOpen());
  CloseDriverLink();
}

}  // namespace
