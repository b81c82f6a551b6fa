// Drive icon registration, unregistration and the shell calls around them.
#include <shellapi.h>
#include <shlobj.h>

#include "brelmot_fixture.h"

namespace brelmot_test {
namespace {

using DriveIcon = BrelmotTest;

const std::vector<std::string> kWorldCalls = {"Reg", "SH", "IShellFolder::", "IExtractIconA::", "IMalloc::",
                                              "LoadLibraryA", "GetProcAddress", "FreeLibrary"};

TEST_F(DriveIcon, RegistrationWritesTheKeyThenAsksAndTellsTheShellInOrder) {
  hostwin::SetLogicalDrives((1u << 2) | (1u << 4));  // C: and E:
  Register('E', 3);

  const std::string key = DefaultIconKey('E');
  const std::string info = std::to_string(sizeof(SHFILEINFOA));
  const std::vector<std::string> expected = {
      "RegCreateKeyExA " + key + " volatile",
      // The icon the drive shows before the change.
      "SHGetMalloc ",
      "SHGetDesktopFolder ",
      "SHGetSpecialFolderLocation 17",
      "IShellFolder::BindToObject desktop|My Computer|IID_IShellFolder",
      "IShellFolder::ParseDisplayName My Computer|E:\\",
      "IShellFolder::GetUIObjectOf My Computer|1|E:|IID_IExtractIconA",
      "IExtractIconA::GetIconLocation E:|0|60",
      "IExtractIconA::Release extractor of E:",
      "IMalloc::Free item E:",
      "IShellFolder::Release My Computer",
      "IMalloc::Free My Computer",
      "IShellFolder::Release desktop",
      "IMalloc::Release ",
      "SHGetFileInfoA E:\\|0|" + info + "|0x5000",
      // The entry itself, and the key closed before the shell hears of it.
      "RegSetValueExA " + key + "||24",
      "RegCloseKey " + key,
      // My Computer revalidated.
      "SHGetDesktopFolder ",
      "SHGetSpecialFolderLocation 17",
      "IShellFolder::BindToObject desktop|My Computer|IID_IShellFolder",
      "IShellFolder::GetAttributesOf My Computer|0|0x01000000",
      "IShellFolder::Release My Computer",
      "SHGetMalloc ",
      "IMalloc::Free My Computer",
      "IMalloc::Release ",
      "IShellFolder::Release desktop",
      // The old image, by its file's last component.
      "LoadLibraryA shell32.dll",
      "GetProcAddress shell32.dll|SHUpdateImageA",
      "SHUpdateImageA SHELL32.DLL|8|0|24",
      "FreeLibrary shell32.dll",
  };
  EXPECT_EQ(CallsMatching(kWorldCalls), expected);

  EXPECT_TRUE(hostwin::registry::IsVolatile(key));
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,3");
  EXPECT_EQ(hostwin::registry::GetValue(key, "")->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Tracked(), "E");
}

TEST_F(DriveIcon, ValueNamesTheSlotIconInTheProgramFileOfTheWindowsDirectory) {
  struct Case {
    const char* windowsDir;
    char letter;
    BYTE code;
    const char* value;
  } cases[] = {
      {"C:\\WINDOWS", 'A', 2, "C:\\WINDOWS\\brelmot.exe,2"},
      {"C:\\WINDOWS", 'E', 3, "C:\\WINDOWS\\brelmot.exe,3"},
      {"C:\\WINDOWS", 'F', 4, "C:\\WINDOWS\\brelmot.exe,4"},
      {"D:\\WIN98", 'G', 5, "D:\\WIN98\\brelmot.exe,5"},
      {"C:\\WINDOWS", 'Z', 6, "C:\\WINDOWS\\brelmot.exe,6"},
      // The longest directory start-up accepts: 29 characters.
      {"C:\\abcdefghijklmnopqrstuvwxyz", 'K', 6, "C:\\abcdefghijklmnopqrstuvwxyz\\brelmot.exe,6"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << " " << c.value);
    hostwin::Reset();
    ResetProcess();
    std::strcpy(WindowsDir, c.windowsDir);
    Register(c.letter, c.code);
    // Stored without a terminator: exactly the text's bytes.
    EXPECT_EQ(StoredValue(c.letter), c.value);
    EXPECT_TRUE(hostwin::registry::IsVolatile(DefaultIconKey(c.letter)));
    EXPECT_EQ(Tracked(), std::string(1, c.letter));
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
  }
}

TEST_F(DriveIcon, RegisteringOverAnExistingEntryOverwritesIt) {
  hostwin::registry::SetString(DefaultIconKey('E'), "", "D:\\other.ico,1");
  Register('E', 5);
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,5");
  EXPECT_EQ(Tracked(), "E");
}

TEST_F(DriveIcon, UnregisteringRemovesDefaultIconOnlyAndTellsNoShell) {
  Register('E', 3);
  hostwin::ClearCalls();
  SetDriveIcon('E', 1);
  EXPECT_EQ(CallsMatching(kWorldCalls), std::vector<std::string>{"RegDeleteKeyA " + DefaultIconKey('E')});
  EXPECT_FALSE(hostwin::registry::KeyExists(DefaultIconKey('E')));
  EXPECT_TRUE(hostwin::registry::KeyExists(LetterKey('E')));
  EXPECT_EQ(Tracked(), "");

  // Again, with the key gone: the entry is cleared all the same, silently.
  TrackedLetters['E' - 'A'] = 'E';
  SetDriveIcon('E', 1);
  EXPECT_EQ(Tracked(), "");
}

TEST_F(DriveIcon, LettersOutsideAToZAreIgnored) {
  for (char letter : {'@', '[', 'a', '\0'}) {
    SetDriveIcon(letter, 0);
    SetDriveIcon(letter, 1);
  }
  EXPECT_EQ(hostwin::CallCountMatching("Reg"), 0u);
  EXPECT_EQ(Tracked(), "");
}

TEST_F(DriveIcon, FailedKeyCreationChangesNothing) {
  hostwin::FailNth("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
  Register('E', 3);
  EXPECT_EQ(Tracked(), "");
  EXPECT_FALSE(hostwin::registry::KeyExists(DefaultIconKey('E')));
  EXPECT_EQ(hostwin::CallCountMatching("SH"), 0u);
  // A later scan tries again.
  Register('E', 3);
  EXPECT_EQ(Tracked(), "E");
}

// Every call of a registration made to fail in turn: no crash, nothing left
// open, and the letter tracked exactly when its key exists.
TEST_F(DriveIcon, AnyFailingCallLeavesNothingOpenAndTracksOnlyWhatIsRegistered) {
  hostwin::SetLogicalDrives((1u << 2) | (1u << 4));
  Register('E', 3);
  std::vector<hostwin::Call> clean = hostwin::Calls();
  ASSERT_GT(clean.size(), 20u);
  for (std::size_t i = 0; i < clean.size(); ++i) {
    std::size_t occurrence = 0;
    for (std::size_t j = 0; j <= i; ++j) occurrence += clean[j].fn == clean[i].fn;
    SCOPED_TRACE(testing::Message() << "call " << i << ": " << clean[i].fn << " #" << occurrence);
    hostwin::Reset();
    ResetProcess();
    std::strcpy(WindowsDir, "C:\\WINDOWS");
    hostwin::SetLogicalDrives((1u << 2) | (1u << 4));
    hostwin::FailNth(clean[i].fn, occurrence, ERROR_GEN_FAILURE);
    Register('E', 3);
    // Without an allocator the refresh cannot free My Computer's item list:
    // the one thing a failure may leave behind (SHGetMalloc does not fail on
    // Windows; it hands out the process's task allocator).
    const bool refreshWithoutAllocator = clean[i].fn == "SHGetMalloc" && occurrence == 2;
    EXPECT_EQ(hostwin::shell::LiveAllocations(), refreshWithoutAllocator ? 1u : 0u);
    EXPECT_EQ(hostwin::OpenHandleCount(), refreshWithoutAllocator ? 1u : 0u) << hostwin::DescribeOpenHandles();
    EXPECT_TRUE(hostwin::shell::Problems().empty());
    const bool registered = hostwin::registry::KeyExists(DefaultIconKey('E'));
    EXPECT_EQ(Tracked(), registered ? "E" : "");
    // Only a failed key creation undoes the registration.
    EXPECT_EQ(registered, clean[i].fn != "RegCreateKeyExA");
  }
}

TEST_F(DriveIcon, IconLocationQuery) {
  hostwin::SetLogicalDrives((1u << 2) | (1u << 4) | (1u << 5));
  hostwin::shell::SetIconLocation('F', "C:\\WINDOWS\\SYSTEM\\cdfs.ico", 4);
  hostwin::shell::SetIconLocation('E', "*", 3, GIL_NOTFILENAME);
  struct Case {
    const char* path;
    int index;
    const char* file;
  } cases[] = {
      {"F:\\", 4, "C:\\WINDOWS\\SYSTEM\\cdfs.ico"},
      {"C:\\", 8, "C:\\WINDOWS\\SYSTEM\\SHELL32.DLL"},
      // Not a file name: -1, but the text is there.
      {"E:\\", -1, "*"},
      // A drive the shell does not know: -1, the buffer as it was.
      {"Q:\\", -1, "before"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char file[kIconFileChars + 4];
    std::memset(file, 0xBD, sizeof(file));
    std::strcpy(file, "before");
    EXPECT_EQ(GetDriveIconLocation(c.path, file, kIconFileChars), c.index);
    EXPECT_STREQ(file, c.file);
    EXPECT_EQ(static_cast<BYTE>(file[kIconFileChars]), 0xBD);
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
  }
}

TEST_F(DriveIcon, NotAFileNameIsStillPassedOnWithIndexMinusOne) {
  hostwin::SetLogicalDrives((1u << 2) | (1u << 4));
  hostwin::shell::SetIconLocation('E', "C:\\X\\odd", 9, GIL_NOTFILENAME);
  Register('E', 2);
  EXPECT_EQ(CallsMatching({"SHUpdateImageA"}), std::vector<std::string>{"SHUpdateImageA odd|-1|0|24"});
}

TEST_F(DriveIcon, EmptyOldIconFileLoadsNoShell32) {
  // E: unknown to the shell: the query fails and leaves the file empty.
  Register('E', 4);
  EXPECT_EQ(hostwin::CallCount("LoadLibraryA"), 0u);
  EXPECT_EQ(hostwin::CallCount("SHUpdateImageA"), 0u);
  EXPECT_EQ(Tracked(), "E");
}

TEST_F(DriveIcon, HashItemIsTheLastPathComponent) {
  struct Case {
    std::string file;
    const char* hashItem;
  } cases[] = {
      {"C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", "SHELL32.DLL"},
      {"C:\\WINDOWS\\SYSTEM\\", "SYSTEM"},
      {"shell32.dll", "shell32.dll"},
      {"C:\\", "C:"},
      {"A\\b", "b"},
      // A backslash in the first position is never a separator.
      {"\\lead", "\\lead"},
      {"\\", ""},
      {"\\\\", "\\"},
      // Cut to 59 characters first.
      {"C:\\" + std::string(50, 'd') + "\\abcdefghij", "abcde"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    hostwin::ClearCalls();
    UpdateShellImage(c.file.c_str(), 7, 31);
    EXPECT_EQ(CallsMatching({"SHUpdateImageA"}), std::vector<std::string>{std::string("SHUpdateImageA ") + c.hashItem + "|7|0|31"});
    EXPECT_EQ(hostwin::loader::LoadedCount("shell32.dll"), 0u);
  }
  hostwin::ClearCalls();
  UpdateShellImage("", 7, 31);
  EXPECT_EQ(hostwin::CallCount("LoadLibraryA"), 0u);
}

TEST_F(DriveIcon, UpdateImageIsFoundByNameThenByOrdinal) {
  struct Case {
    bool byName, byOrdinal;
    std::vector<std::string> calls;
  } cases[] = {
      {true, true, {"GetProcAddress shell32.dll|SHUpdateImageA", "SHUpdateImageA x|1|0|2"}},
      {false, true,
       {"GetProcAddress shell32.dll|SHUpdateImageA", "GetProcAddress shell32.dll|#191", "SHUpdateImageA x|1|0|2"}},
      {false, false, {"GetProcAddress shell32.dll|SHUpdateImageA", "GetProcAddress shell32.dll|#191"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    hostwin::Reset();
    hostwin::loader::SetExport("shell32.dll", "SHUpdateImageA", cases[i].byName, cases[i].byOrdinal);
    UpdateShellImage("x", 1, 2);
    EXPECT_EQ(CallsMatching({"GetProcAddress", "SHUpdateImageA"}), cases[i].calls);
    EXPECT_EQ(hostwin::CallCount("FreeLibrary"), 1u);
    EXPECT_EQ(hostwin::loader::LoadedCount("shell32.dll"), 0u);
  }
  hostwin::Reset();
  hostwin::loader::SetMissing("shell32.dll", true);
  UpdateShellImage("x", 1, 2);
  EXPECT_EQ(hostwin::CallCount("GetProcAddress"), 0u);
  EXPECT_EQ(hostwin::CallCount("FreeLibrary"), 0u);
}

TEST_F(DriveIcon, ToWideConvertsWithTheAnsiCodePage) {
  WCHAR wide[kIconFileChars + 2];
  std::fill(std::begin(wide), std::end(wide), static_cast<WCHAR>(0xBDBD));
  EXPECT_EQ(ToWide(wide, "E:\\", kIconFileChars), 3);
  EXPECT_EQ(wide[0], u'E');
  EXPECT_EQ(wide[2], u'\\');
  EXPECT_EQ(wide[3], 0);
  EXPECT_EQ(hostwin::CallsOf("MultiByteToWideChar")[0].args, "0|0|-1|60");

  // A text that does not fit leaves an empty string, never a cut one
  // without its terminator.
  const std::string tooLong(kIconFileChars, 'x');
  EXPECT_EQ(ToWide(wide, tooLong.c_str(), kIconFileChars), 0);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(wide[kIconFileChars], 0xBDBD);
}

}  // namespace
}  // namespace brelmot_test
