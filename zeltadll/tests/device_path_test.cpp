// Reading ids and identity out of device interface paths, and the Enum key
// names made from them.
#include "device_path.h"
#include "usb_scan.h"
#include "world.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kPath[] = "\\\\?\\usb#vid_0abc&pid_1234#0123abc#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

std::string Text(TextView v) { return std::string(v.data, v.size); }

TEST(DevicePath, MatchVendorProduct) {
  struct Case {
    const char* path;
    WORD vendor;
    WORD product;
    const char* uniqueId;
  } cases[] = {
      {kPath, 0x0abc, 0x1234, "0123abc"},
      {kPath, 0x0ABC, 0x1234, "0123abc"},  // the ids are written in lower case
      {kPath, 0x0abc, 0x1235, ""},
      {kPath, 0x0abd, 0x1234, ""},
      {kPath, 0x0abc, 0x0000, ""},
      {"\\\\?\\usb#vid_0ABC&pid_1234#0123abc#{x}", 0x0abc, 0x1234, ""},  // upper-case digits in the path
      {"\\\\?\\usb#vid_0abc&pid_0000#s1#{x}", 0x0abc, 0x0000, "s1"},
      {"\\\\?\\usb#vid_0abc&pid_1234#5&2a3b4c5d&0&1#{x}", 0x0abc, 0x1234, "5&2a3b4c5d&0&1"},
      {"\\\\?\\usb#vid_0abc&pid_1234#0123abc", 0x0abc, 0x1234, ""},  // no '#' after the instance text
      {"\\\\?\\usb#vid_0abc&pid_1234##{x}", 0x0abc, 0x1234, ""},      // empty instance text
      // The product text is looked for at or after the vendor text only.
      {"\\\\?\\usb#x_1234#vid_0abc&pid_9999#s#{x}", 0x0abc, 0x1234, ""},
      // Only an underscore counts before the digits, and '&' and '#' after them.
      {"\\\\?\\usb#vid0abc&pid_1234#s#{x}", 0x0abc, 0x1234, ""},
      {"\\\\?\\usb#vid_0abc#pid_1234#s#{x}", 0x0abc, 0x1234, ""},
      {"\\\\?\\usb#vid_0abc&pid_1234&mi_00#s#{x}", 0x0abc, 0x1234, ""},
      // The first vendor text decides where the product text may start.
      {"\\\\?\\_0abc&_1234#s#t", 0x0abc, 0x1234, "s"},
      {"", 0x0abc, 0x1234, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.path);
    EXPECT_EQ(Text(MatchVendorProduct(c.path, c.vendor, c.product)), c.uniqueId);
  }
}

TEST(DevicePath, ParseVendorProduct) {
  struct Case {
    const char* path;
    WORD vendor;
    WORD product;
  } cases[] = {
      {kPath, 0x0abc, 0x1234},
      {"\\\\?\\USB#VID_0ABC&PID_FFFF#S#{X}", 0x0abc, 0xffff},
      {"\\\\?\\usb#vid_1a2B&pid_c3D4#s#{x}", 0x1a2b, 0xc3d4},
      // Not validated: 'g' counts 16, '&' counts 0x26 - 0x30, and the sum wraps at 16 bits.
      {"\\\\?\\usb#vid_000g&pid_00g0#s#{x}", 0x0010, 0x0100},
      {"\\\\?\\usb#vid_&000&pid_0001#s#{x}", static_cast<WORD>(0xFFF6u << 12), 0x0001},
      // The "pid_" searched for starts after the start of "vid_".
      {"\\\\?\\usb#pid_9999&vid_0001&pid_0002#s#{x}", 0x0001, 0x0002},
      // Settled here: a missing marker, or fewer than four characters after one, gives 0.
      {"\\\\?\\usb#vid_0abc#s#{x}", 0x0abc, 0},
      {"\\\\?\\usb#pid_0abc#s#{x}", 0, 0},
      {"\\\\?\\usb#vid_0ab", 0, 0},
      {"vid_0abc&pid_12", 0x0abc, 0},
      {"", 0, 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.path);
    const UsbIds ids = ParseVendorProduct(c.path);
    EXPECT_EQ(ids.vendorId, c.vendor);
    EXPECT_EQ(ids.productId, c.product);
  }
}

TEST(DevicePath, ExtractUniqueId) {
  struct Case {
    const char* path;
    const char* uniqueId;
  } cases[] = {
      {kPath, "0123abc"},
      {"\\\\?\\usb#vid_0abc&pid_1234#5&2a3b4c5d&0&1#{x}", "5&2a3b4c5d&0&1"},
      {"a#b#c", ""},
      {"a#b##", ""},
      {"###", ""},
      {"a#b#c#d#e", "c"},
      {"", ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].path);
    EXPECT_EQ(Text(ExtractUniqueId(cases[i].path)), cases[i].uniqueId);
  }
}

TEST(DevicePath, EnumKeys) {
  struct Case {
    const char* path;
    const char* enumKey;
    const char* ownEnumKey;
  } cases[] = {
      {kPath, "System\\CurrentControlSet\\Enum\\usb\\vid_0abc&pid_1234\\0123abc",
       "SYSTEM\\CurrentControlSet\\Enum\\usb\\vid_0abc&pid_1234\\0123abc"},
      {"\\\\?\\usbstor#disk&ven_a&prod_b&rev_1.00#0123abc&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
       "System\\CurrentControlSet\\Enum\\usbstor\\disk&ven_a&prod_b&rev_1.00\\0123abc&1",
       "SYSTEM\\CurrentControlSet\\Enum\\usbstor\\disk&ven_a&prod_b&rev_1.00\\0123abc&1"},
      // Only the last '#' ends the first; the third '#' after the prefix ends the second.
      {"\\\\?\\a#b#c#d#{x}", "System\\CurrentControlSet\\Enum\\a\\b\\c\\d", "SYSTEM\\CurrentControlSet\\Enum\\a\\b\\c"},
      {"\\\\?\\usb", "System\\CurrentControlSet\\Enum\\", "SYSTEM\\CurrentControlSet\\Enum\\usb"},
      {"\\\\?\\a#b", "System\\CurrentControlSet\\Enum\\a", "SYSTEM\\CurrentControlSet\\Enum\\a\\b"},
      {"ab", "System\\CurrentControlSet\\Enum\\", "SYSTEM\\CurrentControlSet\\Enum"},
      {"", "System\\CurrentControlSet\\Enum\\", "SYSTEM\\CurrentControlSet\\Enum"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.path);
    HeapText key;
    ASSERT_TRUE(EnumKeyOfDevicePath(c.path, &key));
    EXPECT_STREQ(key.c_str(), c.enumKey);
    HeapText own;
    ASSERT_TRUE(OwnEnumKeyOfDevicePath(c.path, &own));
    EXPECT_STREQ(own.c_str(), c.ownEnumKey);
  }
}

using ParentIdPrefixTest = world::Fixture;

// The two reads of "ParentIdPrefix" and their buffer limits: 60 bytes for
// the record's own copy, 256 for the text that the device's disks carry.
TEST_F(ParentIdPrefixTest, ReadsStayInsideTheirBuffers) {
  const std::string key = world::EnumKey(kPath);
  struct Case {
    const char* what;
    std::vector<BYTE> value;  // empty: no value at all
    DWORD type;
    std::string own;          // ReadOwnParentIdPrefix
    std::string any;          // ReadParentIdPrefix
  } cases[] = {
      {"usual", {'7', '&', 'a', '&', '0', 0}, REG_SZ, "7&a&0", "7&a&0"},
      {"no value", {}, REG_SZ, "", ""},
      {"59 characters and terminator", {}, REG_SZ, std::string(59, 'p'), std::string(59, 'p')},
      {"60 characters and terminator", {}, REG_SZ, "", std::string(60, 'p')},
      {"59 characters, stored without terminator", {}, REG_SZ, std::string(59, 'q'), std::string(59, 'q')},
      // All 60 bytes read and none of them a terminator: it does not fit either.
      {"60 characters, stored without terminator", {}, REG_SZ, "", std::string(60, 'q')},
      {"255 characters and terminator", {}, REG_SZ, "", std::string(255, 'r')},
      {"256 characters, stored without terminator", {}, REG_SZ, "", std::string(256, 's')},
      {"257 characters", {}, REG_SZ, "", ""},
      {"binary", {'b', 'i', 'n'}, REG_BINARY, "bin", "bin"},
  };
  cases[2].value.assign(59, 'p');
  cases[2].value.push_back(0);
  cases[3].value.assign(60, 'p');
  cases[3].value.push_back(0);
  cases[4].value.assign(59, 'q');
  cases[5].value.assign(60, 'q');
  cases[6].value.assign(255, 'r');
  cases[6].value.push_back(0);
  cases[7].value.assign(256, 's');
  cases[8].value.assign(257, 't');
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    hostwin::registry::CreateKey(key);
    if (!c.value.empty()) hostwin::registry::SetValue(key, "ParentIdPrefix", c.type, c.value);
    char own[kOwnParentIdPrefixBytes + 1];
    ReadOwnParentIdPrefix(kPath, own);
    EXPECT_EQ(std::string(own), c.own);
    char any[kParentIdPrefixBytes + 1];
    HeapText enumKey;
    ASSERT_TRUE(EnumKeyOfDevicePath(kPath, &enumKey));
    ReadParentIdPrefix(enumKey.c_str(), any);
    EXPECT_EQ(std::string(any), c.any);
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
  }
  // Without the key, both are empty.
  hostwin::Reset();
  char own[kOwnParentIdPrefixBytes + 1];
  ReadOwnParentIdPrefix(kPath, own);
  EXPECT_STREQ(own, "");
}

}  // namespace
