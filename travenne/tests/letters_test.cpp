// Drive-letter resolution against the hostwin registry.
#include "fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace travenne_test;

std::vector<std::string> QueriedValues(const std::string& keyPath) { return CallsOnKey("RegQueryValueExA", keyPath); }

// UTF-16LE of 8-bit text, as Windows keeps mounted devices, less the last
// `drop` bytes.
std::vector<BYTE> Wide(const std::string& text, std::size_t drop = 0) {
  std::vector<BYTE> data;
  for (char ch : text) {
    data.push_back(static_cast<BYTE>(ch));
    data.push_back(0);
  }
  data.resize(data.size() - drop);
  return data;
}

std::vector<std::string> Names(std::size_t n) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < n; ++i) names.push_back(CardReaderName("SD", "SER" + std::to_string(i)));
  return names;
}

using ReadDiskListTest = World;

TEST_F(ReadDiskListTest, ValueNamesAndCounts) {
  struct Case {
    const char* what;
    std::size_t values;
    DWORD count;
    DWORD result;
    std::size_t filled;
  } cases[] = {
      {"count 0", 3, 0, 0, 0},
      {"count 12", 12, 12, 12, 12},
      {"count 26", 26, 26, 26, 26},
      {"count above 26 reads 26", 30, 30, 26, 26},
      {"count far above 26 reads 26", 26, 0xFFFFFFFF, 26, 26},
      {"a value missing at index 3 of 5", 3, 5, 0, 3},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    SetDiskList(Names(c.values), c.count);
    {
      TravenneRun run;
      EXPECT_EQ(ReadDiskList(run), c.result);
      EXPECT_EQ(run.disks.filled, c.filled);
      for (std::size_t e = 0; e < run.disks.filled; ++e) EXPECT_EQ(run.disks.names[e], Names(c.values)[e]);
    }
    std::vector<std::string> expected{"Count"};
    const std::size_t read = std::min<std::size_t>({c.count, 26, c.values + 1});
    for (std::size_t e = 0; e < read; ++e) {
      char name[8];
      std::snprintf(name, sizeof name, e < 10 ? "%zu" : "%02zu", e);
      expected.push_back(name);
    }
    EXPECT_EQ(QueriedValues(kDiskEnum), expected);
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
  }
}

TEST_F(ReadDiskListTest, MissingKeyOrCount) {
  {
    TravenneRun run;
    EXPECT_EQ(ReadDiskCount(run), 0u);
    EXPECT_EQ(ReadDiskList(run), 0u);
    // The failed open is tried again by the next call.
    EXPECT_EQ(hostwin::CallCount("RegOpenKeyExA"), 2u);
  }
  hostwin::registry::CreateKey(kDiskEnum);
  TravenneRun run;
  EXPECT_EQ(ReadDiskList(run), 0u);
  EXPECT_EQ(ReadDiskCount(run), 0u);
  // Once open, the key is kept for the run.
  EXPECT_EQ(hostwin::CallCount("RegOpenKeyExA"), 3u);
}

TEST_F(ReadDiskListTest, CountValueSizes) {
  // A short value gives its bytes; one longer than 4 bytes cannot be read.
  hostwin::registry::SetValue(kDiskEnum, "Count", REG_DWORD, {2});
  hostwin::registry::SetString(kDiskEnum, "0", "a");
  hostwin::registry::SetString(kDiskEnum, "1", "b");
  {
    TravenneRun run;
    EXPECT_EQ(ReadDiskCount(run), 2u);
  }
  hostwin::registry::SetValue(kDiskEnum, "Count", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});
  TravenneRun run;
  EXPECT_EQ(ReadDiskCount(run), 0u);
}

TEST_F(ReadDiskListTest, NameSizes) {
  struct Case {
    const char* what;
    std::vector<BYTE> data;
    DWORD result;
    std::string name;
  } cases[] = {
      {"259 characters and the NUL", [] { std::vector<BYTE> d(259, 'n'); d.push_back(0); return d; }(), 1,
       std::string(259, 'n')},
      {"259 characters, no NUL", std::vector<BYTE>(259, 'n'), 1, std::string(259, 'n')},
      {"260 characters, no NUL: does not fit, an empty entry", std::vector<BYTE>(260, 'n'), 1, ""},
      {"261 bytes", std::vector<BYTE>(261, 'n'), 0, ""},
      {"empty", {}, 1, ""},
      {"a NUL inside ends the name", {'a', 'b', 0, 'c', 0}, 1, "ab"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    hostwin::registry::SetDword(kDiskEnum, "Count", 1);
    hostwin::registry::SetValue(kDiskEnum, "0", REG_SZ, c.data);
    TravenneRun run;
    std::memset(run.disks.names, 0xBD, sizeof run.disks.names);
    EXPECT_EQ(ReadDiskList(run), c.result);
    if (c.result == 1) {
      EXPECT_EQ(run.disks.names[0], c.name);
    }
    EXPECT_EQ(static_cast<unsigned char>(run.disks.names[1][0]), 0xBD);
  }
}

using MountedDeviceIdTest = World;

TEST_F(MountedDeviceIdTest, Values) {
  struct Case {
    const char* what;
    std::vector<BYTE> data;
    bool ok;
    std::string id;
  } cases[] = {
      {"prefix followed by &", Wide(kVolumeHead + "7&1a2b3c4d&0" + kVolumeTail), true, "7&1a2b3c4d&0"},
      {"78 bytes, id of 12", Wide(kVolumeHead + "7&1a2b3c4d&0"), true, "7&1a2b3c4d&0"},
      {"77 bytes, though they hold the whole id", Wide(kVolumeHead + "7&1a2b3c4d&0", 1), false, ""},
      {"a 13th character is cut", Wide(kVolumeHead + "7&1a2b3c4d0&0&RM"), true, "7&1a2b3c4d0&"},
      {"third & stops", Wide(kVolumeHead + "7&1&2&3&4&5&6"), true, "7&1&2"},
      {"& at unit 27 counts", Wide(kVolumeHead + "&&&abcdefghijkl"), true, "&&"},
      {"NUL ends the id", Wide(kVolumeHead + std::string("7&ab\0zzzzzzzz", 13)), true, "7&ab"},
      {"units before 27 are skipped", Wide(std::string(27, '&') + "ABCDEFGHIJKL"), true, "ABCDEFGHIJKL"},
      {"260 bytes", Wide(std::string(130, 'x')), true, "xxxxxxxxxxxx"},
      {"261 bytes", Wide(std::string(131, 'x'), 1), false, ""},
      {"empty", {}, false, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    hostwin::registry::SetValue(kMountedDevices, "\\DosDevices\\K:", REG_BINARY, c.data);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\MountedDevices", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    char id[kDeviceIdBytes];
    std::memset(id, 0xBD, sizeof id);
    EXPECT_EQ(ReadMountedDeviceId(key, 'K', id), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::string(id), c.id);
      // The id and its NUL, nothing beyond.
      for (std::size_t b = c.id.size() + 1; b < sizeof id; ++b) EXPECT_EQ(static_cast<unsigned char>(id[b]), 0xBD);
    }
    RegCloseKey(key);
    EXPECT_EQ(QueriedValues("HKLM\\SYSTEM\\MountedDevices"), std::vector<std::string>{"\\DosDevices\\K:"});
  }
}

TEST_F(MountedDeviceIdTest, OnlyLowBytesCount) {
  std::vector<BYTE> data;
  for (char ch : kVolumeHead + "7&1a2b3c4d&0&RM") {
    data.push_back(static_cast<BYTE>(ch));
    data.push_back(0x01);  // a high byte that is not 0 is ignored
  }
  hostwin::registry::SetValue(kMountedDevices, "\\DosDevices\\E:", REG_BINARY, data);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\MountedDevices", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  char id[kDeviceIdBytes];
  EXPECT_TRUE(ReadMountedDeviceId(key, 'E', id));
  EXPECT_STREQ(id, "7&1a2b3c4d&0");
  EXPECT_FALSE(ReadMountedDeviceId(key, 'F', id));  // no value
  RegCloseKey(key);
}

// A machine with one SD reader whose Enum key holds the given prefix.
class ResolveTest : public World {
 protected:
  const std::string reader = CardReaderName("SD");

  struct Result {
    bool ok;
    int slot;
    int letter;
  };
  Result Resolve(const std::string& name, DWORD logicalDrives = 1u << 2, std::initializer_list<char> claimed = {}) {
    TravenneRun run;
    run.mountedDevices.reset(OpenMountedDevices());
    for (char c : claimed) run.claims[c - 'A'] = 1;
    BYTE slot = 0xAA, letter = 0xAA;
    const bool ok = ResolveDriveLetter(run, name.c_str(), logicalDrives, slot, letter);
    return {ok, slot, letter};
  }
};

TEST_F(ResolveTest, MatchAndFallback) {
  const std::string prefix = "7&2c3d4e5f&0";
  // A volume's value: the 27 units Windows writes first, then text.
  auto V = [](const std::string& text, std::size_t drop = 0) { return Wide(kVolumeHead + text, drop); };
  struct Case {
    const char* what;
    std::string parentIdPrefix;                       // "-" for none
    std::vector<std::pair<char, std::vector<BYTE>>> volumes;
    DWORD drives;
    std::vector<char> claimed;
    Result expected;
  } cases[] = {
      {"match", prefix, {{'E', V("7&0&0&RM")}, {'H', V(prefix + "&RM")}}, 0x4, {}, {true, 1, 7}},
      {"first letter wins", prefix, {{'K', V(prefix + "&RM")}, {'F', V(prefix + "&RM")}}, 0x4, {}, {true, 1, 5}},
      {"a claimed letter still matches", prefix, {{'F', V(prefix + "&RM")}}, 0x4, {'F'}, {true, 1, 5}},
      {"a letter in use still matches", prefix, {{'F', V(prefix + "&RM")}}, 0x3F, {}, {true, 1, 5}},
      {"the id is compared exactly", prefix, {{'F', V("7&2C3D4E5F&0&RM")}}, 0x4, {}, {true, 1, 3}},
      {"77-byte value skipped", prefix, {{'F', V(prefix, 1)}}, 0x4, {}, {true, 1, 3}},
      {"78-byte value examined", prefix, {{'F', V(prefix)}}, 0x4, {}, {true, 1, 5}},
      {"prefix of 12 without a following &", "7&2c3d4e5f&0", {{'F', V("7&2c3d4e5f&0X")}}, 0x4, {}, {true, 1, 5}},
      {"prefix with three & never matches", "7&2&3&4", {{'F', V("7&2&3&4&RM")}}, 0x4, {}, {true, 1, 3}},
      {"prefix of 13 never matches", "7&2c3d4e5f0&0", {{'F', V("7&2c3d4e5f0&0&RM")}}, 0x4, {}, {true, 1, 3}},
      {"A, B and C are never matched", prefix, {{'C', V(prefix + "&RM")}}, 0x4, {}, {true, 1, 3}},
      {"fallback around letters in use and claimed", prefix, {}, 0x1F, {'F'}, {true, 1, 6}},
      {"fallback skips a claimed D", prefix, {}, 0x4, {'D'}, {true, 1, 4}},
      {"every letter in use", prefix, {}, 0x03FFFFFF, {}, {false, 1, 255}},
      {"every letter in use or claimed", prefix, {}, 0x03FFFFF7, {'D'}, {false, 1, 255}},
      {"no ParentIdPrefix: no letter, no fallback", "-", {{'F', V(prefix + "&RM")}}, 0x4, {}, {false, 1, 255}},
      {"ParentIdPrefix of 20 bytes", std::string(20, '7'), {}, 0x4, {}, {true, 1, 3}},
      {"ParentIdPrefix of 21 bytes: no letter", std::string(21, '7'), {}, 0x4, {}, {false, 1, 255}},
      {"an empty prefix matches an empty id nowhere", "", {{'F', V(std::string(12, '\0'))}}, 0x4, {}, {true, 1, 3}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    hostwin::registry::CreateKey(EnumKey(reader));
    if (c.parentIdPrefix != "-") {
      // Stored without a terminator, so that a prefix of 20 bytes fills the buffer.
      hostwin::registry::SetString(EnumKey(reader), "ParentIdPrefix", c.parentIdPrefix, false);
    }
    for (const auto& [letter, data] : c.volumes)
      hostwin::registry::SetValue(kMountedDevices, std::string("\\DosDevices\\") + letter + ":", REG_BINARY, data);
    std::vector<char> claimed = c.claimed;
    TravenneRun run;
    run.mountedDevices.reset(OpenMountedDevices());
    for (char l : claimed) run.claims[l - 'A'] = 1;
    BYTE slot = 0xAA, letter = 0xAA;
    EXPECT_EQ(ResolveDriveLetter(run, reader.c_str(), c.drives, slot, letter), c.expected.ok);
    EXPECT_EQ(slot, c.expected.slot);
    EXPECT_EQ(letter, c.expected.letter);
  }
}

TEST_F(ResolveTest, NamesThatOpenNoKey) {
  struct Case {
    const char* what;
    std::string name;
    int slot;
  } cases[] = {
      {"not a reader", kHardDiskName, 255},
      {"too long for the Enum key path", Place({{0, "USBSTOR"}, {28, "_cardreader_SD"}, {229, "X"}}), 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what);
    hostwin::Reset();
    SetParentIdPrefix(cases[i].name, "7&1&0");
    hostwin::ClearCalls();
    const Result r = Resolve(cases[i].name);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.slot, cases[i].slot);
    EXPECT_EQ(r.letter, 255);
    EXPECT_EQ(hostwin::CallCount("RegOpenKeyExA"), 1u);  // MountedDevices only
    EXPECT_EQ(hostwin::CallCount("RegQueryValueExA"), 0u);
  }
}

TEST_F(ResolveTest, LongestNameThatFits) {
  const std::string name = Place({{0, "USBSTOR"}, {28, "_cardreader_SD"}, {228, "X"}});
  ASSERT_EQ(name.size(), 229u);
  SetParentIdPrefix(name, "7&1&0");
  SetVolume('E', "7&1&0");
  const Result r = Resolve(name);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.letter, 4);
}

TEST_F(ResolveTest, MissingEnumKeyGivesNoLetter) {
  SetVolume('E', "7&1&0");
  const Result r = Resolve(reader);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.slot, 1);
  EXPECT_EQ(r.letter, 255);
}

TEST_F(ResolveTest, EachMountedValueIsReadOncePerRun) {
  const std::vector<std::string> names = {CardReaderName("CF", "A"), CardReaderName("SD", "B"),
                                          CardReaderName("MS", "C")};
  SetParentIdPrefix(names[0], "7&a&0");
  SetParentIdPrefix(names[1], "7&b&0");
  SetParentIdPrefix(names[2], "7&c&0");
  SetVolume('E', "7&b&0");
  SetVolume('G', "7&a&0");
  TravenneRun run;
  run.mountedDevices.reset(OpenMountedDevices());
  const std::pair<bool, int> expected[] = {{true, 6}, {true, 4}, {true, 3}};
  for (std::size_t i = 0; i < names.size(); ++i) {
    BYTE slot, letter;
    EXPECT_EQ(ResolveDriveLetter(run, names[i].c_str(), 0x4, slot, letter), expected[i].first) << i;
    EXPECT_EQ(letter, expected[i].second) << i;
  }
  std::vector<std::string> reads = QueriedValues("HKLM\\SYSTEM\\MountedDevices");
  std::vector<std::string> expectedReads;
  for (char l = 'D'; l <= 'Z'; ++l) expectedReads.push_back(std::string("\\DosDevices\\") + l + ":");
  EXPECT_EQ(reads, expectedReads);
}

}  // namespace
