// Whole runs of travenne against the hostwin registry, across several runs.
#include "fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace travenne_test;

const std::string kWindows = "C:\\WINDOWS";
const std::string kSdReader = CardReaderName("SD", "000000000001");
const std::string kCfReader = CardReaderName("CF", "000000000002");
const std::string kMsReader = CardReaderName("MS", "000000000003");

// Drives C and D (a CD-ROM) and the network drives J, K and L are in use.
constexpr DWORD kDrivesInUse = (1u << 2) | (1u << 3) | (1u << 9) | (1u << 10) | (1u << 11);

// A machine without readers: drives in use and a MountedDevices table.
void SeedBareMachine() {
  hostwin::SetLogicalDrives(kDrivesInUse);
  hostwin::registry::SetValue(kMountedDevices, "\\DosDevices\\C:", REG_BINARY, {0x12, 0x34, 0x56, 0x78, 0, 0x7E, 0, 0, 0, 0, 0, 0});
}

// A machine with a hard disk and three reader slots: SD on E and CF on F by
// their volumes, MS without a medium, so that it is predicted on G.
void SeedMachine() {
  SeedBareMachine();
  SetDiskList({kHardDiskName, kSdReader, kCfReader, kMsReader});
  SetParentIdPrefix(kHardDiskName, "4&11111111&0");
  SetParentIdPrefix(kSdReader, "7&2c3d4e5f&0");
  SetParentIdPrefix(kCfReader, "7&3d4e5f60&0");
  SetParentIdPrefix(kMsReader, "7&4e5f6071&0");
  SetVolume('E', "7&2c3d4e5f&0");
  SetVolume('F', "7&3d4e5f60&0");
}

// Icons of others that no run may touch: J's has no mark, K's has a kept mark
// but names another file, L's names one of ours but was never marked.
const std::map<char, std::string> kForeignIcons = {
    {'J', "C:\\Program Files\\Net\\share.ico,2"},
    {'K', "C:\\WINDOWS\\system32\\shell32.dll,8"},
    {'L', "C:\\WINDOWS\\sdico.ico"},
};
void SeedForeignIcons() {
  for (const auto& [letter, text] : kForeignIcons) SetIcon(letter, text);
  SetMark('K', Mark::Kept);
}

class RunTest : public World {
 protected:
  int Run() {
    const int code = RunTravenne();
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
    return code;
  }

  // The DefaultIcon of a letter is exactly text: REG_SZ, written with a byte
  // count equal to its length (Windows may keep the NUL that followed it).
  static void ExpectIcon(char letter, const std::string& text) {
    SCOPED_TRACE(testing::Message() << "icon of " << letter);
    const hostwin::registry::Value* v = hostwin::registry::GetValue(IconKey(letter), "");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v->Written(), text);
  }
  static void ExpectMark(char letter, Mark mark) {
    EXPECT_EQ(MarkName(MarkOf(letter)), std::string(MarkName(mark))) << "mark of " << letter;
  }
  static void ExpectNoIcon(char letter) { EXPECT_FALSE(HasIcon(letter)) << "icon of " << letter; }
};

TEST_F(RunTest, FirstRunCreatesTheKeyAndLeavesKeptMarks) {
  SeedMachine();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(hostwin::registry::KeyExists(kBookkeeping));
  ExpectIcon('E', kWindows + "\\sdico.ico");
  ExpectIcon('F', kWindows + "\\cfico.ico");
  ExpectIcon('G', kWindows + "\\msico.ico");
  for (char l : {'E', 'F', 'G'}) ExpectMark(l, Mark::Kept);
  for (char l = 'D'; l <= 'Z'; ++l)
    if (l < 'E' || l > 'G') {
      ExpectNoIcon(l);
      ExpectMark(l, Mark::None);
    }
  // Each mark was set as one byte "1" and then made empty; nothing else was written there.
  EXPECT_EQ(CallsOnKey("RegSetValueExA", kBookkeeping), (std::vector<std::string>{"E|1", "F|1", "G|1", "E|0", "F|0", "G|0"}));
  // The hard disk's Enum key is never opened: its name is not a reader's.
  for (const hostwin::Call& c : hostwin::CallsOf("RegOpenKeyExA")) EXPECT_EQ(c.args.find("IDE\\"), std::string::npos);
}

TEST_F(RunTest, ReaderThatVanishedLosesItsIconOthersStand) {
  SeedMachine();
  SeedForeignIcons();
  ASSERT_EQ(Run(), 0);
  // The CF slot's reader is gone from the disk list.
  SetDiskList({kHardDiskName, kSdReader, kMsReader});
  ASSERT_EQ(Run(), 0);
  ExpectIcon('E', kWindows + "\\sdico.ico");
  ExpectMark('E', Mark::Kept);
  // MS is predicted again, now on F, the first free letter; G's icon goes.
  ExpectIcon('F', kWindows + "\\msico.ico");
  ExpectMark('F', Mark::Kept);
  ExpectNoIcon('G');
  ExpectMark('G', Mark::None);
  // Only the DefaultIcon key goes: the drive's key above it stays.
  EXPECT_TRUE(hostwin::registry::KeyExists("HKCR\\Applications\\Explorer.exe\\Drives\\G"));
  for (const auto& [letter, text] : kForeignIcons) ExpectIcon(letter, text);
  ExpectMark('K', Mark::Kept);
  ExpectMark('J', Mark::None);
  ExpectMark('L', Mark::None);

  // Nothing left in the list: every icon of ours goes, the others stay.
  SetDiskList({}, 0);
  ASSERT_EQ(Run(), 0);
  for (char l : {'E', 'F', 'G'}) {
    ExpectNoIcon(l);
    ExpectMark(l, Mark::None);
  }
  for (const auto& [letter, text] : kForeignIcons) ExpectIcon(letter, text);
}

TEST_F(RunTest, SweepComparesOnlyTheTailCaseBlind) {
  struct Case {
    const char* what;
    std::string icon;
    bool takenBack;
  } cases[] = {
      {"default CF name in capitals", kWindows + "\\CFICO.ICO", true},
      {"another directory of the same length", "X:\\ELSEWHR\\msico.ico", true},
      {"a short directory name", "C:\\WINNT~1\\comboico.ico", true},
      {"another file", kWindows + "\\drive.ico", false},
      {"an icon index after the name", kWindows + "\\sdico.ico,0", false},
      {"a longer directory", "C:\\WINDOWS2\\sdico.ico", false},
      {"shorter than the directory", "sdico.ico", false},
      {"exactly the directory", kWindows, false},
      {"empty", "", false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    SeedMachine();
    SetIcon('H', c.icon);
    SetMark('H', Mark::Kept);
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(HasIcon('H'), !c.takenBack);
    ExpectMark('H', c.takenBack ? Mark::None : Mark::Kept);
    if (!c.takenBack) ExpectIcon('H', c.icon);
    ExpectIcon('E', kWindows + "\\sdico.ico");
  }
}

// The text of a DefaultIcon value ends at its first NUL: what follows is not
// part of it, even where it would look like one of the icon names.
TEST_F(RunTest, IconTextEndsAtItsFirstNul) {
  SeedMachine();
  const std::string stored = std::string("D\0", 2) + kWindows.substr(2) + "\\sdico.ico";
  hostwin::registry::SetValue(IconKey('H'), "", REG_SZ, std::vector<BYTE>(stored.begin(), stored.end()));
  SetMark('H', Mark::Kept);
  ASSERT_EQ(Run(), 0);
  EXPECT_TRUE(HasIcon('H'));
  ExpectMark('H', Mark::Kept);
}

TEST_F(RunTest, ConfiguredIconNames) {
  const std::vector<BYTE> name19 = [] {
    std::vector<BYTE> d(18, 'n');
    d.push_back(0);
    return d;
  }();
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::vector<BYTE>>> values;
    std::string sdIcon;  // the icon name entry E gets
  } cases[] = {
      {"all five", {{"0", {'c', 'f', 0}}, {"1", {'s', 'd', '.', 'i', 'c', 'o', 0}}, {"2", {'s', 0}}, {"3", {'m', 0}},
                    {"4", {'c', 'o', 'm', 'b', 'o', '.', 'i', 'c', 'o', 0}}}, "\\sd.ico"},
      {"only four", {{"0", {'a', 0}}, {"1", {'b', 0}}, {"2", {'c', 0}}, {"3", {'d', 0}}}, "\\sdico.ico"},
      {"19 bytes with the NUL", {{"0", {'a', 0}}, {"1", name19}, {"2", {'c', 0}}, {"3", {'d', 0}}, {"4", {'e', 0}}},
       "\\" + std::string(18, 'n')},
      {"20 bytes", {{"0", {'a', 0}}, {"1", [&] { auto d = name19; d.insert(d.begin(), 'n'); return d; }()},
                    {"2", {'c', 0}}, {"3", {'d', 0}}, {"4", {'e', 0}}}, "\\sdico.ico"},
      {"18 characters without a NUL", {{"0", {'a'}}, {"1", std::vector<BYTE>(18, 'n')}, {"2", {'c'}}, {"3", {'d'}},
                                       {"4", {'e'}}}, "\\" + std::string(18, 'n')},
      {"19 characters without a NUL", {{"0", {'a'}}, {"1", std::vector<BYTE>(19, 'n')}, {"2", {'c'}}, {"3", {'d'}},
                                       {"4", {'e'}}}, "\\sdico.ico"},
      {"an empty name", {{"0", {'a', 0}}, {"1", {}}, {"2", {'c', 0}}, {"3", {'d', 0}}, {"4", {'e', 0}}}, "\\sdico.ico"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    SeedMachine();
    for (const auto& [name, data] : c.values) hostwin::registry::SetValue(kBookkeeping, name, REG_SZ, data);
    // Icons of earlier runs: H carries the SD name this run uses, I the
    // default SD name. The sweep knows the program's icons by this run's names.
    SetIcon('H', kWindows + c.sdIcon);
    SetMark('H', Mark::Kept);
    SetIcon('I', kWindows + "\\sdico.ico");
    SetMark('I', Mark::Kept);
    ASSERT_EQ(Run(), 0);
    ExpectIcon('E', kWindows + c.sdIcon);
    ExpectNoIcon('H');
    ExpectMark('H', Mark::None);
    const bool defaults = c.sdIcon == "\\sdico.ico";
    EXPECT_EQ(HasIcon('I'), !defaults) << "icon of I";
    ExpectMark('I', defaults ? Mark::None : Mark::Kept);
    // The program never writes the names.
    for (const auto& [name, data] : c.values) EXPECT_EQ(hostwin::registry::GetValue(kBookkeeping, name)->data, data);
  }
}

TEST_F(RunTest, ConfiguredComboName) {
  SeedBareMachine();
  const std::string combo = Place({{0, "USBSTOR"}, {28, "_cardreader_Combo"}});
  SetDiskList({combo});
  SetParentIdPrefix(combo, "7&5&0");
  for (const char* n : {"0", "1", "2", "3"}) hostwin::registry::SetString(kBookkeeping, n, "x.ico");
  hostwin::registry::SetString(kBookkeeping, "4", "combo.ico");
  ASSERT_EQ(Run(), 0);
  ExpectIcon('E', kWindows + "\\combo.ico");
}

TEST_F(RunTest, WindowsDirectoryLength) {
  const std::string dir63 = "C:\\" + std::string(60, 'w');
  hostwin::SetWindowsDirectory(dir63);
  SeedMachine();
  EXPECT_EQ(Run(), 0);
  ExpectIcon('E', dir63 + "\\sdico.ico");
  // The sweep measures the tail from the run's own directory length.
  SetDiskList({}, 0);
  EXPECT_EQ(Run(), 0);
  ExpectNoIcon('E');

  hostwin::Reset();
  hostwin::SetWindowsDirectory(dir63 + "w");
  SeedMachine();
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(hostwin::CallCountMatching("Reg"), 0u);
  EXPECT_FALSE(hostwin::registry::KeyExists(kBookkeeping));

  hostwin::Reset();
  SeedMachine();
  hostwin::FailAll("GetWindowsDirectoryA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(hostwin::CallCountMatching("Reg"), 0u);
}

TEST_F(RunTest, ChangedIconKeepsItsMark) {
  SeedMachine();
  ASSERT_EQ(Run(), 0);
  // The user gave E another icon, then the reader went.
  SetIcon('E', "C:\\Icons\\mine.ico");
  SetDiskList({kHardDiskName, kCfReader}, 2);
  ASSERT_EQ(Run(), 0);
  ExpectIcon('E', "C:\\Icons\\mine.ico");
  ExpectMark('E', Mark::Kept);
  ASSERT_EQ(Run(), 0);  // examined again by every later run, and left
  ExpectIcon('E', "C:\\Icons\\mine.ico");
  ExpectMark('E', Mark::Kept);
}

TEST_F(RunTest, SetMarkOfAnInterruptedRun) {
  SeedMachine();
  SetIcon('H', kWindows + "\\smico.ico");
  SetMark('H', Mark::Set);
  SetMark('E', Mark::Set);
  ASSERT_EQ(Run(), 0);
  // H was not renewed: it becomes kept, and its icon stays for now.
  ExpectIcon('H', kWindows + "\\smico.ico");
  ExpectMark('H', Mark::Kept);
  ExpectMark('E', Mark::Kept);
  ASSERT_EQ(Run(), 0);
  ExpectNoIcon('H');
  ExpectMark('H', Mark::None);
  ExpectIcon('E', kWindows + "\\sdico.ico");
}

// Letters A to C are never a reader's: their marks are never asked for, and
// whatever marks and icons they carry stay as they are.
TEST_F(RunTest, LettersAToCAreNeverScannedOrSwept) {
  const struct {
    char letter;
    const char* icon;
    Mark mark;
  } kDrives[] = {{'A', "\\cfico.ico", Mark::Kept}, {'B', "\\sdico.ico", Mark::Set}, {'C', "\\msico.ico", Mark::Kept}};
  SeedMachine();
  for (const auto& d : kDrives) {
    SetIcon(d.letter, kWindows + d.icon);
    SetMark(d.letter, d.mark);
  }
  ASSERT_EQ(Run(), 0);
  for (const auto& d : kDrives) {
    ExpectIcon(d.letter, kWindows + d.icon);
    ExpectMark(d.letter, d.mark);
  }
  for (const std::string& value : CallsOnKey("RegQueryValueExA", kBookkeeping))
    EXPECT_TRUE(value != "A" && value != "B" && value != "C") << value;
}

// A registry error other than a missing value ends the scan of the marks.
// What the scan found before it is swept all the same; the marks after it
// wait, untouched, for a later run.
TEST_F(RunTest, AScanErrorEndsTheScanAndWhatItFoundIsSwept) {
  const auto prepare = [] {
    hostwin::Reset();
    SeedMachine();
    SetIcon('H', kWindows + "\\cfico.ico");
    SetMark('H', Mark::Kept);
    SetMark('I', Mark::Set);
    SetIcon('M', kWindows + "\\cfico.ico");
    SetMark('M', Mark::Kept);
    SetMark('N', Mark::Set);
  };
  // The run's calls are the same each time: find the query of K's mark.
  prepare();
  ASSERT_EQ(Run(), 0);
  std::size_t queryOfK = 0;
  const std::vector<hostwin::Call> queries = hostwin::CallsOf("RegQueryValueExA");
  for (std::size_t i = 0; i < queries.size() && queryOfK == 0; ++i)
    if (strcasecmp(queries[i].args.c_str(), (kBookkeeping + "|K").c_str()) == 0) queryOfK = i + 1;
  ASSERT_NE(queryOfK, 0u);

  prepare();
  hostwin::FailNth("RegQueryValueExA", queryOfK, ERROR_ACCESS_DENIED);
  ASSERT_EQ(Run(), 0);
  ExpectNoIcon('H');
  ExpectMark('H', Mark::None);
  ExpectMark('I', Mark::Kept);
  ExpectIcon('M', kWindows + "\\cfico.ico");
  ExpectMark('M', Mark::Kept);
  ExpectMark('N', Mark::Set);
  for (char l : {'E', 'F', 'G'}) ExpectMark(l, Mark::Kept);
}

// The set mark goes with the icon key, not with its value: a key whose value
// could not be written is still the program's to look after, while a key that
// could not be created leaves nothing to mark.
TEST_F(RunTest, MarksFollowTheIconKeyNotItsValue) {
  struct Case {
    const char* what;
    const char* fn;
    std::size_t nth;  // on a first run: the bookkeeping key is created first
    bool iconKey;
    Mark mark;
  } cases[] = {
      {"E's icon value cannot be written", "RegSetValueExA", 1, true, Mark::Kept},
      {"E's icon key cannot be created", "RegCreateKeyExA", 2, false, Mark::None},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    SeedMachine();
    hostwin::FailNth(c.fn, c.nth, ERROR_ACCESS_DENIED);
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(HasIcon('E'), c.iconKey);
    EXPECT_FALSE(hostwin::registry::HasValue(IconKey('E'), ""));
    ExpectMark('E', c.mark);
    ExpectIcon('F', kWindows + "\\cfico.ico");
    ExpectMark('F', Mark::Kept);
  }
}

TEST_F(RunTest, TwoNamesOnOneLetter) {
  SeedBareMachine();
  // Two names whose disks carry the same prefix both match E's volume.
  SetDiskList({kCfReader, kSdReader});
  SetParentIdPrefix(kCfReader, "7&1&0");
  SetParentIdPrefix(kSdReader, "7&1&0");
  SetVolume('E', "7&1&0");
  ASSERT_EQ(Run(), 0);
  ExpectIcon('E', kWindows + "\\cfico.ico");
  ExpectMark('E', Mark::Kept);
  EXPECT_EQ(hostwin::CallsOf("InterlockedExchange").size(), 1u);
  EXPECT_EQ(hostwin::CallsOf("RegCreateKeyExA").size(), 2u);  // the bookkeeping key and E's icon
}

TEST_F(RunTest, SlotWithoutIconHoldsItsLetter) {
  SeedBareMachine();
  const std::string slot7 = QuenthorpName('7');
  SetDiskList({slot7, kSdReader});
  SetParentIdPrefix(slot7, "7&7&0");
  SetParentIdPrefix(kSdReader, "7&2&0");  // no volume: predicted
  // E carries a kept mark and one of our icons from an earlier run.
  SetIcon('E', kWindows + "\\cfico.ico");
  SetMark('E', Mark::Kept);
  ASSERT_EQ(Run(), 0);
  // The slot-7 reader claims E (first free letter) and gets no icon; the SD
  // reader falls back past it to F; E's old icon is taken back.
  ExpectNoIcon('E');
  ExpectMark('E', Mark::None);
  ExpectIcon('F', kWindows + "\\sdico.ico");
  ExpectMark('F', Mark::Kept);
}

// An icon key that cannot be deleted keeps its mark, so that a later run
// tries again; the mark goes once the key does.
TEST_F(RunTest, UndeletableIconKeepsItsMark) {
  SeedMachine();
  SetIcon('H', kWindows + "\\msico.ico");
  SetMark('H', Mark::Kept);
  // Windows NT deletes no key that has subkeys.
  hostwin::registry::CreateKey(IconKey('H') + "\\Extra");
  ASSERT_EQ(Run(), 0);
  ExpectIcon('H', kWindows + "\\msico.ico");
  ExpectMark('H', Mark::Kept);
  hostwin::registry::DeleteTree(IconKey('H') + "\\Extra");
  ASSERT_EQ(Run(), 0);
  ExpectNoIcon('H');
  ExpectMark('H', Mark::None);
}

TEST_F(RunTest, NothingChangesWithoutMountedDevices) {
  SeedMachine();
  SeedForeignIcons();
  ASSERT_EQ(Run(), 0);
  SetMark('H', Mark::Set);
  SetIcon('H', kWindows + "\\sdico.ico");
  hostwin::registry::DeleteTree(kMountedDevices);
  SetDiskList({kHardDiskName}, 1);
  hostwin::ClearCalls();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(hostwin::CallCount("RegSetValueExA"), 0u);
  EXPECT_EQ(hostwin::CallCount("RegDeleteValueA"), 0u);
  EXPECT_EQ(hostwin::CallCount("RegDeleteKeyA"), 0u);
  EXPECT_EQ(hostwin::CallCount("RegCreateKeyExA"), 0u);
  for (char l : {'E', 'F', 'G'}) ExpectMark(l, Mark::Kept);
  ExpectMark('H', Mark::Set);
  ExpectIcon('E', kWindows + "\\sdico.ico");
}

// An unreadable disk list assigns nothing, and the sweep takes back every
// icon; a value that reads but does not fit is one name that is no reader's.
TEST_F(RunTest, UnreadableDiskListTakesBackEveryIcon) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
    bool iconsStay;
  } cases[] = {
      {"value 4 missing", [] { hostwin::registry::SetDword(kDiskEnum, "Count", 5); }, false},
      {"the hard disk's value of 261 bytes",
       [] { hostwin::registry::SetValue(kDiskEnum, "0", REG_SZ, std::vector<BYTE>(261, 'n')); }, false},
      {"the hard disk's value of 260 bytes without a terminator",
       [] { hostwin::registry::SetValue(kDiskEnum, "0", REG_SZ, std::vector<BYTE>(260, 'n')); }, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    hostwin::Reset();
    SeedMachine();
    ASSERT_EQ(Run(), 0);
    c.spoil();
    ASSERT_EQ(Run(), 0);
    for (char l : {'E', 'F', 'G'}) {
      EXPECT_EQ(HasIcon(l), c.iconsStay) << "icon of " << l;
      ExpectMark(l, c.iconsStay ? Mark::Kept : Mark::None);
    }
  }
}

TEST_F(RunTest, NoBookkeepingKeyStillWritesIcons) {
  // The bookkeeping key can be neither opened nor created; icon keys can.
  SeedMachine();
  hostwin::FailAll("RegOpenKeyA", ERROR_ACCESS_DENIED);
  hostwin::FailNth("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
  ASSERT_EQ(Run(), 0);
  ExpectIcon('E', kWindows + "\\sdico.ico");
  ExpectIcon('F', kWindows + "\\cfico.ico");
  EXPECT_FALSE(hostwin::registry::KeyExists(kBookkeeping));
}

TEST_F(RunTest, DefaultIconValueSizes) {
  // Only a value that fits 256 bytes is examined; the text ends at its first NUL.
  struct Case {
    const char* what;
    std::size_t size;
    bool takenBack;
  } cases[] = {{"256 bytes", 256, true}, {"257 bytes", 257, false}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what);
    hostwin::Reset();
    SeedMachine();
    const std::string text = kWindows + "\\smico.ico";
    std::vector<BYTE> data(text.begin(), text.end());
    data.resize(cases[i].size, 0);
    hostwin::registry::SetValue(IconKey('H'), "", REG_SZ, data);
    SetMark('H', Mark::Kept);
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(HasIcon('H'), !cases[i].takenBack);
    ExpectMark('H', cases[i].takenBack ? Mark::None : Mark::Kept);
  }
}

// A present reader whose icon or mark cannot be written in this run keeps
// the icon it had: the sweep does not take back a letter that this run renewed.
TEST_F(RunTest, FailedWriteDoesNotCostAPresentReaderItsIcon) {
  // The second run writes icon E, mark E, icon F, mark F, icon G, mark G.
  for (std::size_t n = 1; n <= 6; ++n) {
    const char letter = static_cast<char>('E' + (n - 1) / 2);
    SCOPED_TRACE(testing::Message() << (n % 2 ? "icon" : "mark") << " of " << letter << " not written");
    hostwin::Reset();
    SeedMachine();
    ASSERT_EQ(Run(), 0);
    hostwin::FailNth("RegSetValueExA", n, ERROR_ACCESS_DENIED);
    ASSERT_EQ(Run(), 0);
    for (char l : {'E', 'F', 'G'}) {
      ExpectIcon(l, kWindows + (l == 'E' ? "\\sdico.ico" : l == 'F' ? "\\cfico.ico" : "\\msico.ico"));
      ExpectMark(l, Mark::Kept);
    }
  }
  // Nor when the icon key cannot be opened.
  hostwin::Reset();
  SeedMachine();
  ASSERT_EQ(Run(), 0);
  hostwin::FailNth("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
  ASSERT_EQ(Run(), 0);
  ExpectIcon('E', kWindows + "\\sdico.ico");
  ExpectMark('E', Mark::Kept);
}

// A registry failure at any one call: the run goes on, exits 0, closes every
// key, never touches an icon that is not its own, and never takes the icon
// from a reader that is present.
TEST_F(RunTest, RegistryFailureAtEachCall) {
  for (int state = 0; state < 2; ++state) {
    auto prepare = [&] {
      hostwin::Reset();
      SeedMachine();
      SeedForeignIcons();
      if (state == 1) {
        // A second run: E, F, G are ours; then the CF reader went and the MS
        // slot got a medium on H.
        RunTravenne();
        SetDiskList({kHardDiskName, kSdReader, kMsReader});
        SetVolume('H', "7&4e5f6071&0");
      }
      hostwin::ClearCalls();
    };
    prepare();
    RunTravenne();
    const std::size_t calls = hostwin::CallCountMatching("Reg");
    ASSERT_GT(calls, 20u);
    for (std::size_t n = 1; n <= calls + 1; ++n) {
      for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA}) {
        SCOPED_TRACE(testing::Message() << "state " << state << ", call " << n << " fails with " << error);
        prepare();
        std::map<char, bool> hadIcon;
        for (char l : {'E', 'F', 'G'}) hadIcon[l] = HasIcon(l);
        hostwin::FailNthMatching("Reg", n, error);
        EXPECT_EQ(RunTravenne(), 0);
        EXPECT_EQ(hostwin::OpenHandleCount(), 0u) << hostwin::DescribeOpenHandles();
        for (const auto& [letter, text] : kForeignIcons) ExpectIcon(letter, text);
        EXPECT_EQ(MarkOf('K'), Mark::Kept);
        // A write that fails never costs a present reader the icon it had.
        // (A failed read may: a reader that cannot be resolved is not known
        // to be present, and its icon is taken back as if it were gone.)
        const std::vector<hostwin::Call> all = hostwin::Calls();
        std::string failed;
        for (std::size_t i = 0, seen = 0; i < all.size(); ++i)
          if (all[i].fn.rfind("Reg", 0) == 0 && ++seen == n) failed = all[i].fn;
        const bool write = failed == "RegSetValueExA" || failed == "RegCreateKeyExA" ||
                           failed == "RegDeleteValueA" || failed == "RegDeleteKeyA";
        const std::vector<char> present = state == 0 ? std::vector<char>{'E', 'F', 'G'} : std::vector<char>{'E'};
        for (char l : present)
          if (write && hadIcon[l]) {
            EXPECT_TRUE(HasIcon(l)) << "present reader " << l << " lost its icon";
          }
      }
    }
  }
}

}  // namespace
