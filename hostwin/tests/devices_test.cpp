#include <windows.h>
#include <winioctl.h>
#include <hostwin/control.h>

#include <gtest/gtest.h>

namespace {

class Devices : public ::testing::Test {
 protected:
  void SetUp() override { hostwin::Reset(); }
};

TEST_F(Devices, ScriptedDeviceReplaysAndReportsStrayRequests) {
  auto dev = std::make_shared<hostwin::devices::ScriptedDevice>();
  const DWORD kSelect = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS);
  EXPECT_EQ(kSelect, 0x0022200Cu);
  dev->Expect(kSelect, {1, 0, 0, 0}, 0);
  auto& read = dev->Expect(0x00222034, {0}, 8);
  read.output = {'a', 0, 'b', 0};
  read.bytesReturned = 4;
  dev->Expect(0x00222038, {1}, 4).succeed = false;
  hostwin::devices::Install("\\\\.\\ZELTA", dev);

  HANDLE h = CreateFileA("\\\\.\\zelta", GENERIC_ALL, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(hostwin::OpenHandleCount(), 1u);
  DWORD n = 99, dn = 1;
  BYTE in[4] = {1, 0, 0, 0};
  EXPECT_TRUE(DeviceIoControl(h, kSelect, in, 4, nullptr, 0, &n, nullptr));
  BYTE slot = 0, out[8] = {};
  EXPECT_TRUE(DeviceIoControl(h, 0x00222034, &slot, 1, out, 8, &n, nullptr));
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(out[2], 'b');
  EXPECT_EQ(dev->StepsDone(), 2u);
  EXPECT_EQ(dev->Problems().size(), 1u);  // only the step not reached yet
  slot = 2;  // the script expects slot 1
  EXPECT_FALSE(DeviceIoControl(h, 0x00222038, &slot, 1, &dn, 4, &n, nullptr));
  EXPECT_EQ(n, 4u);  // a failed request leaves the caller's count as it was
  EXPECT_EQ(dev->Problems().size(), 2u);  // the stray request, and the step left over
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(dev->Closes(), 1u);
  EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
  EXPECT_FALSE(DeviceIoControl(h, kSelect, in, 4, nullptr, 0, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Devices, MissingOrRefusingDevice) {
  EXPECT_EQ(CreateFileA("\\\\.\\NONE", GENERIC_ALL, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  auto dev = std::make_shared<hostwin::devices::ScriptedDevice>();
  dev->RefuseOpen(ERROR_ACCESS_DENIED);
  hostwin::devices::Install("\\\\.\\ZELTA", dev);
  EXPECT_EQ(CreateFileA("\\\\.\\ZELTA", GENERIC_ALL, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
}

}  // namespace
