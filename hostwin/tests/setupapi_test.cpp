// Device interface sets as the search code relies on them: class and
// presence filters, index enumeration ending in ERROR_NO_MORE_ITEMS, and the
// two-call detail read with Windows' size-field rules.
#include <windows.h>
#include <setupapi.h>
#include <hostwin/control.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr GUID kUsb = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The host is a 64-bit build: the records have their x64 sizes.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8);
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4);

class SetupApi : public ::testing::Test {
 protected:
  void SetUp() override { hostwin::Reset(); }
  void TearDown() override { EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles(); }

  // The paths of every interface of the set, read the way callers do.
  static std::vector<std::string> Paths(HDEVINFO set, const GUID& cls) {
    std::vector<std::string> out;
    for (DWORD i = 0;; ++i) {
      SP_DEVICE_INTERFACE_DATA data{};
      data.cbSize = sizeof(data);
      if (!SetupDiEnumDeviceInterfaces(set, nullptr, &cls, i, &data)) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        break;
      }
      DWORD needed = 0;
      EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr));
      std::vector<BYTE> buf(needed);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buf.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr));
      out.push_back(detail->DevicePath);
    }
    return out;
  }
};

// A set lists its interfaces as Windows does, in the order of their keys
// under DeviceClasses: by path, compared folded to upper case, so "C" comes
// after "b" and '_' after the letters. The order they came in does not count.
TEST_F(SetupApi, SetsListTheirClassByPathAndOnlyPresentDevicesWhenAsked) {
  const std::string usb = "\\\\?\\usb#vid_0001&pid_0002#";
  hostwin::setupapi::AddInterface(kUsb, usb + "b#{x}");
  hostwin::setupapi::AddInterface(kDisk, "\\\\?\\usbstor#disk#b&0#{y}");
  hostwin::setupapi::AddInterface(kUsb, usb + "C#{x}");
  hostwin::setupapi::AddInterface(kUsb, usb + "a_1#{x}");
  hostwin::setupapi::AddInterface(kUsb, usb + "gone#{x}", false);
  hostwin::setupapi::AddInterface(kUsb, usb + "aZ#{x}");
  hostwin::setupapi::AddInterface(kUsb, usb + "a#{x}");

  HDEVINFO present = SetupDiGetClassDevsA(&kUsb, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(present, INVALID_HANDLE_VALUE);
  // Added after the snapshot: not in this set.
  hostwin::setupapi::AddInterface(kUsb, usb + "late#{x}");
  EXPECT_EQ(Paths(present, kUsb), (std::vector<std::string>{usb + "a#{x}", usb + "aZ#{x}", usb + "a_1#{x}",
                                                             usb + "b#{x}", usb + "C#{x}"}));
  EXPECT_TRUE(Paths(present, kDisk).empty());
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(present));

  HDEVINFO all = SetupDiGetClassDevsA(&kUsb, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  ASSERT_NE(all, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Paths(all, kUsb), (std::vector<std::string>{usb + "a#{x}", usb + "aZ#{x}", usb + "a_1#{x}",
                                                         usb + "b#{x}", usb + "C#{x}", usb + "gone#{x}",
                                                         usb + "late#{x}"}));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(all));
}

TEST_F(SetupApi, SizeFieldsMustBeThoseOfTheCallersBuild) {
  hostwin::setupapi::AddInterface(kUsb, "\\\\?\\usb#vid_0001&pid_0002#a#{x}");
  HDEVINFO set = SetupDiGetClassDevsA(&kUsb, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);

  // The 32-bit sizes, written as literals, fail in a 64-bit build.
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = 28;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  data.cbSize = sizeof(data);
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data));

  const std::string path = "\\\\?\\usb#vid_0001&pid_0002#a#{x}";
  const DWORD needed = static_cast<DWORD>(4 + path.size() + 1);
  struct Case {
    const char* what;
    bool withBuffer;
    DWORD cbSize;
    DWORD size;
    BOOL result;
    DWORD error;
  } cases[] = {
      {"size query", false, 0, 0, FALSE, ERROR_INSUFFICIENT_BUFFER},
      {"no buffer with a size", false, 0, needed, FALSE, ERROR_INVALID_USER_BUFFER},
      {"x86 size field", true, 5, needed, FALSE, ERROR_INVALID_USER_BUFFER},
      {"buffer one short", true, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), needed - 1, FALSE,
       ERROR_INSUFFICIENT_BUFFER},
      {"buffer below the fixed part", true, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), 4, FALSE,
       ERROR_INVALID_PARAMETER},
      {"exact", true, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), needed, TRUE, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    std::vector<BYTE> buf(needed + 4, 0xBD);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buf.data());
    detail->cbSize = c.cbSize;
    DWORD required = 0;
    SetLastError(0);
    EXPECT_EQ(SetupDiGetDeviceInterfaceDetailA(set, &data, c.withBuffer ? detail : nullptr, c.size, &required,
                                               nullptr),
              c.result);
    EXPECT_EQ(GetLastError(), c.error);
    if (c.result) {
      EXPECT_EQ(std::string(detail->DevicePath), path);
      EXPECT_EQ(buf[needed], 0xBD);  // nothing written past the size given
    }
    if (c.error == ERROR_INSUFFICIENT_BUFFER || c.result) {
      EXPECT_EQ(required, needed);
    }
  }
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApi, FaultsAndHandles) {
  hostwin::setupapi::AddInterface(kUsb, "\\\\?\\usb#vid_0001&pid_0002#a#{x}");
  hostwin::FailNth("SetupDiGetClassDevsA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(SetupDiGetClassDevsA(&kUsb, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

  HDEVINFO set = SetupDiGetClassDevsA(&kUsb, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  EXPECT_EQ(hostwin::OpenHandleCount(), 1u);
  hostwin::FailNth("SetupDiEnumDeviceInterfaces", 1, ERROR_GEN_FAILURE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data));

  // A failing destroy still lets the set go; a second destroy finds nothing.
  hostwin::FailNth("SetupDiDestroyDeviceInfoList", 1, ERROR_GEN_FAILURE);
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
