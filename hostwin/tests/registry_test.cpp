// The registry rules that every later test relies on.
#include <windows.h>
#include <hostwin/control.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { hostwin::Reset(); }
  void TearDown() override { EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles(); }
};

TEST_F(Registry, NamesAreComparedWithoutRegardToCase) {
  hostwin::registry::SetString("HKLM\\System\\CurrentControlSet\\Enum\\X", "ParentIdPrefix", "7&abc&0");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\currentcontrolset\\ENUM\\x", 0, KEY_READ, &key), ERROR_SUCCESS);
  char buf[32];
  DWORD size = sizeof(buf);
  EXPECT_EQ(RegQueryValueExA(key, "parentidprefix", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf, "7&abc&0");
  EXPECT_EQ(size, 8u);
  RegCloseKey(key);
  // The name keeps the case it was created with.
  EXPECT_EQ(hostwin::registry::SubKeys("HKLM\\System\\CurrentControlSet\\Enum"), std::vector<std::string>{"X"});
}

TEST_F(Registry, QueryFollowsTheBufferRules) {
  hostwin::registry::SetValue("HKLM\\K", "bin", REG_BINARY, {1, 2, 3, 4, 5});
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
  struct Case {
    const char* what;
    bool nullData;
    bool nullSize;
    DWORD sizeIn;
    LONG result;
    DWORD sizeOut;
    bool copied;
  } cases[] = {
      {"null data asks the size", true, false, 0, ERROR_SUCCESS, 5, false},
      {"too small", false, false, 4, ERROR_MORE_DATA, 5, false},
      {"exact", false, false, 5, ERROR_SUCCESS, 5, true},
      {"larger", false, false, 8, ERROR_SUCCESS, 5, true},
      {"data without size", false, true, 0, ERROR_INVALID_PARAMETER, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BYTE buf[8];
    std::memset(buf, 0xBD, sizeof(buf));
    DWORD size = c.sizeIn;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "BIN", nullptr, &type, c.nullData ? nullptr : buf, c.nullSize ? nullptr : &size),
              c.result);
    if (!c.nullSize) {
      EXPECT_EQ(size, c.sizeOut);
    }
    if (c.result != ERROR_INVALID_PARAMETER) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    }
    EXPECT_EQ(buf[0], c.copied ? 1 : 0xBD);
    EXPECT_EQ(buf[5], 0xBD);
  }
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

// As Wine answers (checked by conformance.registry): the size is that of the stored bytes,
// and a terminator is added only where the buffer has room for it. A string
// whose count stops right before a NUL in the caller's memory is stored with
// that NUL.
TEST_F(Registry, StringsWrittenWithoutTerminator) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\T", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const BYTE abcx[] = {'a', 'b', 'c', 'x'};
  const BYTE exact[] = {'a', 'b', 'c'};
  ASSERT_EQ(RegSetValueExA(key, "abc", 0, REG_SZ, abcx, 3), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "exact", 0, REG_SZ, exact, 3), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "literal", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 1), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1), ERROR_SUCCESS);
  EXPECT_EQ(hostwin::registry::GetValue("HKLM\\Software\\T", "abc")->data.size(), 3u);
  EXPECT_EQ(hostwin::registry::GetValue("HKLM\\Software\\T", "exact")->data.size(), 3u);  // the next byte is not ours
  EXPECT_EQ(hostwin::registry::GetValue("HKLM\\Software\\T", "literal")->data.size(), 2u);
  EXPECT_EQ(hostwin::registry::GetValue("HKLM\\Software\\T", "binary")->data.size(), 1u);
  ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "abc", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  char buf[8];
  std::memset(buf, 0xBD, sizeof(buf));
  size = 3;
  EXPECT_EQ(RegQueryValueExA(key, "abc", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(static_cast<BYTE>(buf[3]), 0xBD);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "abc", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buf, "abc");
  size = 99;
  EXPECT_EQ(RegQueryValueExA(key, "empty", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  RegCloseKey(key);
}

TEST_F(Registry, CreateOpenDelete) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\E\\DefaultIcon", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  // HKEY_CLASSES_ROOT is the view of HKLM\Software\Classes.
  EXPECT_TRUE(hostwin::registry::KeyExists("HKLM\\Software\\Classes\\Applications\\Explorer.exe\\Drives\\E"));
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "applications\\explorer.exe\\drives\\e\\defaulticon", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(RegDeleteValueA(key, "nothing"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);

  // A key with subkeys is not deleted; a leaf is, and a handle still open on it sees it gone.
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\E"), ERROR_ACCESS_DENIED);
  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\E\\DefaultIcon", 0, KEY_READ, &open),
            ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\E\\DefaultIcon"), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(open, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\E\\DefaultIcon"),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "No\\Such", 0, KEY_READ, &open), ERROR_FILE_NOT_FOUND);
}

// Every key that a volatile create makes on its way is volatile, as on Windows.
TEST_F(Registry, VolatileKeysGoWithARestart) {
  hostwin::registry::CreateKey("HKLM\\Soft");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Soft\\Vol\\Inner", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key, "Lasting", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);
  RegCloseKey(key);
  EXPECT_TRUE(hostwin::registry::IsVolatile("HKLM\\Soft\\Vol"));
  EXPECT_TRUE(hostwin::registry::IsVolatile("HKLM\\Soft\\Vol\\Inner"));
  EXPECT_FALSE(hostwin::registry::IsVolatile("HKLM\\Soft"));
  hostwin::registry::Restart();
  EXPECT_FALSE(hostwin::registry::KeyExists("HKLM\\Soft\\Vol"));
  EXPECT_TRUE(hostwin::registry::KeyExists("HKLM\\Soft"));
}

TEST_F(Registry, FaultsAndHandleCounting) {
  hostwin::registry::CreateKey("HKLM\\A");
  hostwin::FailNth("RegOpenKeyExA", 2, ERROR_ACCESS_DENIED);
  HKEY k1 = nullptr, k2 = nullptr, k3 = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &k1), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &k2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &k3), ERROR_SUCCESS);
  EXPECT_EQ(hostwin::OpenHandleCount(), 2u);
  hostwin::FailAll("RegCloseKey", ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(k1), ERROR_INVALID_HANDLE);  // reported, yet released
  hostwin::ClearFaults();
  EXPECT_EQ(RegCloseKey(k3), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k3), ERROR_INVALID_HANDLE);
  EXPECT_EQ(hostwin::CallCount("RegOpenKeyExA"), 3u);
  EXPECT_EQ(hostwin::CallsOf("RegOpenKeyExA")[0].args, "HKLM\\A");
  hostwin::FailNthMatching("Reg", 1, ERROR_GEN_FAILURE);
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "A", &k1), ERROR_GEN_FAILURE);
}

}  // namespace
