// Classification of product texts and the walk over the driver's unit list.
#include "brelmot_fixture.h"

namespace brelmot_test {
namespace {

using hostwin::vexid::Unit;

constexpr BYTE kSkip = 0;

// 16 bytes of product text as the driver keeps it: cut, or padded with NULs.
std::array<BYTE, kProductChars> Product(const std::string& text) {
  std::array<BYTE, kProductChars> out{};
  std::memcpy(out.data(), text.data(), std::min(text.size(), out.size()));
  return out;
}

// The code ClassifyUnit gives, or kSkip; CurrentSlotCode must not move on a skip.
BYTE Classify(const std::string& text) {
  CurrentSlotCode = 0x77;
  const auto bytes = Product(text);
  const bool matched = ClassifyUnit(bytes.data());
  if (!matched) {
    EXPECT_EQ(CurrentSlotCode, 0x77) << text;
    return kSkip;
  }
  return CurrentSlotCode;
}

using Classification = BrelmotTest;

TEST_F(Classification, EveryRowAndBothCharacterTables) {
  struct Case {
    std::string text;
    BYTE code;
  } cases[] = {
      // Fixed rows, case folded for ASCII letters, anything after the prefix.
      {"USB SD Reader", 3},
      {"usb sd reader XYZ", 3},
      {"STORAGE DEVICE", 2},
      {"Storage Device 2", 2},
      {" Kelvastrone SD", 3},
      {" Kelvastrone CF", 2},
      {"Kelvastrone SD", 3},
      {"KELVASTRONE CF 1", 2},
      {" KV4-CF", 2},
      {" KV4-SM", 4},
      {" kv4-sd", 3},
      {" KV4-MS", 5},
      {"KV4-CF", kSkip},  // the leading blank is part of the row
      {"CF/ATA READER", 2},
      {"SMC READER", 4},
      {"SD READER", 3},
      {"MSTK READER", 5},
      {"COMBO ADAPTOR", 6},
      {"combo adaptor", 6},
      // Row 11 and 12: table A on position 15, exact case.
      {"MultiCard Slot A", 2},
      {"MultiCard Slot D", 3},
      {"multicard slot D", 3},
      {"MultiCard Slot S", 4},
      {"MultiCard Slot M", 5},
      {"MultiCard Slot C", 6},
      {"MultiCard Slot d", kSkip},
      {"MultiCard Slot X", kSkip},
      {"MultiCard Slot ", kSkip},  // a NUL at position 15
      {"USB1.1Card R/W_A", 2},
      {"usb1.1card r/w_S", 4},
      {"USB1.1Card R/W-A", kSkip},
      // Row 13: table B on positions 4 and 5, no XD.
      {"-QY CF", 2},
      {"-qy SD", 3},
      {"-QY SM", 4},
      {"-QY MS", 5},
      {"-QY Co", 6},
      {"-QY CO", kSkip},
      {"-QY XD", kSkip},
      {"-QY cf", kSkip},
      // Row 15: table B on positions 11 and 12, with XD.
      {"CardReader CF", 2},
      {"CardReader SD", 3},
      {"cardreader SM", 4},
      {"CardReader MS", 5},
      {"CardReader Co", 6},
      {"CardReader XD", 3},
      {"CardReader xD", kSkip},
      {"CardReader XX", kSkip},
      // A NUL inside the prefix ends the text: no match.
      {std::string("USB SD\0Reader", 13), kSkip},
      {"USB SD Reade", kSkip},
      {"", kSkip},
      {"Unknown thing", kSkip},
      // Only A to Z fold: other bytes compare as they are.
      {"USB SD Reader\xe9", 3},
      {"MultiCard\xa0Slot D", kSkip},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << " \"" << cases[i].text << "\"");
    EXPECT_EQ(Classify(cases[i].text), cases[i].code);
    EXPECT_EQ(RotationCounter, 0) << "only the rotating row moves the counter";
  }
}

TEST_F(Classification, RotatingRowDealsCodesTwoToFiveInTurn) {
  const std::vector<BYTE> expected = {2, 3, 4, 5, 2, 3, 4, 5, 2};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Classify(i % 2 ? "quenthorp 6 in 1" : "Quenthorp 6 IN 1"), expected[i]);
    EXPECT_EQ(RotationCounter, (i + 1) % 4);
  }
  // A row before it that matches keeps the counter where it is.
  EXPECT_EQ(Classify("SD READER"), 3);
  EXPECT_EQ(RotationCounter, 1);
}

class ReaderSlots : public BrelmotTest {
 protected:
  void SetUp() override {
    BrelmotTest::SetUp();
    driver_ = hostwin::vexid::Install();
  }
  static Unit U(const std::string& product, int driveIndex, DWORD flags = hostwin::vexid::kFlagScanned) {
    Unit u;
    u.product = product;
    u.flags = flags;
    u.hasDrive = driveIndex >= 0;
    u.driveIndex = static_cast<BYTE>(driveIndex < 0 ? 0 : driveIndex);
    return u;
  }
  std::shared_ptr<hostwin::vexid::Driver> driver_;
};

TEST_F(ReaderSlots, QueryOpensTheDriverAsWindows98DoesAndReadsAfterClosing) {
  driver_->SetUnits({U("SD READER", 4)});
  EXPECT_EQ(QueryDriverList(), driver_->Root());
  ASSERT_EQ(driver_->Opens().size(), 1u);
  const auto& open = driver_->Opens()[0];
  EXPECT_EQ(open.access, 0u);
  EXPECT_EQ(open.share, 0u);
  EXPECT_EQ(open.disposition, 0u);
  EXPECT_EQ(open.flags, static_cast<DWORD>(FILE_FLAG_DELETE_ON_CLOSE));
  EXPECT_EQ(hostwin::CallsOf("CreateFileA")[0].args, "\\\\.\\vexid|0x0|0|0|0x4000000");
  EXPECT_EQ(hostwin::CallsOf("DeviceIoControl")[0].args, "0x00000003|in 0|out 4");
  EXPECT_EQ(driver_->Requests(), 1u);
  EXPECT_EQ(driver_->Closes(), 1u);
}

TEST_F(ReaderSlots, NoDriverNoAnswerOrNoListMeansNothingToDo) {
  struct Case {
    const char* what;
    std::function<void(hostwin::vexid::Driver&)> arrange;
  } cases[] = {
      {"open refused", [](auto& d) { d.RefuseOpen(ERROR_FILE_NOT_FOUND); }},
      {"request failed", [](auto& d) { d.FailList(ERROR_GEN_FAILURE); }},
      // The driver wrote a good answer before failing: the failure counts.
      {"request wrote its answer, then failed", [](auto& d) { d.WriteThenFailList(ERROR_GEN_FAILURE); }},
      {"answer 0", [](auto& d) { d.AnswerWith(0); }},
      {"cell holds no root", [](auto& d) {
         BYTE* cell = d.Arena().Alloc(4);
         d.AnswerWith(d.Arena().Address(cell));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hostwin::Reset();
    ResetProcess();
    std::strcpy(WindowsDir, "C:\\WINDOWS");
    driver_ = hostwin::vexid::Install();
    driver_->SetUnits({U("SD READER", 4)});
    c.arrange(*driver_);
    EXPECT_EQ(QueryDriverList(), nullptr);
    ScanReaderSlots();
    EXPECT_EQ(Tracked(), "");
    EXPECT_EQ(hostwin::OpenHandleCount(), 0u);
  }
  hostwin::devices::Remove("\\\\.\\vexid");
  ScanReaderSlots();
  EXPECT_EQ(Tracked(), "");
}

TEST_F(ReaderSlots, ScanRegistersEachUntrackedReaderDriveWithItsSlotIcon) {
  driver_->SetUnits({
      U("CF/ATA READER", 3),                                // D: CF
      U("SD READER", 4, 0),                                 // not scanned
      U("SMC READER", 5),                                   // F: SM
      U("MSTK READER", -1),                                 // no drive
      U("Hard disk", 6),                                    // no reader
      U("COMBO ADAPTOR", 7, 0x8000 | 0x4000),               // never registered
      U("MultiCard Slot D", 0),                             // A:
      U("MultiCard Slot S", 25),                            // Z:
      U("MultiCard Slot M", 26),                            // no letter past Z
      U("MultiCard Slot C", 255),
  });
  ScanReaderSlots();
  EXPECT_EQ(Tracked(), "ADFZ");
  EXPECT_EQ(StoredValue('A'), "C:\\WINDOWS\\brelmot.exe,3");
  EXPECT_EQ(StoredValue('D'), "C:\\WINDOWS\\brelmot.exe,2");
  EXPECT_EQ(StoredValue('F'), "C:\\WINDOWS\\brelmot.exe,4");
  EXPECT_EQ(StoredValue('Z'), "C:\\WINDOWS\\brelmot.exe,4");
  EXPECT_EQ(hostwin::CallCount("RegCreateKeyExA"), 4u);
  // The last unit classified was the combo slot past Z.
  EXPECT_EQ(CurrentSlotCode, 6);
  EXPECT_EQ(driver_->Requests(), 1u);
}

TEST_F(ReaderSlots, RotationAdvancesOnEveryMatchingUnitWhetherOrNotItRegisters) {
  const std::string q = "Quenthorp 6 IN 1";
  driver_->SetUnits({
      U(q, 4),                      // E: 2
      U(q, 5, 0x8000 | 0x4000),     // 3, not registered
      U(q, -1),                     // 4, no drive
      U(q, 4),                      // 5, E: already tracked
      U(q, 6),                      // G: 2
      U(q, 7, 0),                   // not scanned: no advance
  });
  ScanReaderSlots();
  EXPECT_EQ(Tracked(), "EG");
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,2");
  EXPECT_EQ(StoredValue('G'), "C:\\WINDOWS\\brelmot.exe,2");
  EXPECT_EQ(RotationCounter, 1);
}

TEST_F(ReaderSlots, FourSlotReaderGetsTheSameIconsOnEveryScan) {
  const std::string q = "Quenthorp 6 IN 1";
  driver_->SetUnits({U(q, 3), U(q, 4), U(q, 5), U(q, 6)});
  ScanReaderSlots();
  EXPECT_EQ(Tracked(), "DEFG");
  EXPECT_EQ(StoredValue('D'), "C:\\WINDOWS\\brelmot.exe,2");
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,3");
  EXPECT_EQ(StoredValue('F'), "C:\\WINDOWS\\brelmot.exe,4");
  EXPECT_EQ(StoredValue('G'), "C:\\WINDOWS\\brelmot.exe,5");
  EXPECT_EQ(RotationCounter, 0);
  // A rescan meets them all tracked: nothing written, counter back where it was.
  hostwin::ClearCalls();
  ScanReaderSlots();
  EXPECT_EQ(hostwin::CallCount("RegCreateKeyExA"), 0u);
  EXPECT_EQ(RotationCounter, 0);
  // One unplugged and registered again: the counter is process-wide, so the
  // new registration follows the deal, whatever the slot was before.
  SetDriveIcon('F', 1);
  RotationCounter = 1;
  ScanReaderSlots();
  EXPECT_EQ(StoredValue('F'), "C:\\WINDOWS\\brelmot.exe,5");
}

TEST_F(ReaderSlots, TrackedLetterKeepsItsIconAndFirstUnitOfALetterWins) {
  driver_->SetUnits({U("SD READER", 4), U("SMC READER", 4)});
  ScanReaderSlots();
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,3");
  driver_->SetUnits({U("COMBO ADAPTOR", 4)});
  ScanReaderSlots();
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,3");
  EXPECT_EQ(CurrentSlotCode, 6);
  EXPECT_EQ(hostwin::CallCount("RegCreateKeyExA"), 1u);

  // A failed registration leaves the letter to the next unit and scan.
  hostwin::Reset();
  ResetProcess();
  std::strcpy(WindowsDir, "C:\\WINDOWS");
  driver_ = hostwin::vexid::Install();
  driver_->SetUnits({U("SD READER", 4), U("SMC READER", 4)});
  hostwin::FailNth("RegCreateKeyExA", 1, ERROR_ACCESS_DENIED);
  ScanReaderSlots();
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,4");
}

// Lists whose links do not end: each unit is still taken once, in order.
TEST_F(ReaderSlots, LoopingListsAreWalkedOnce) {
  const std::string q = "Quenthorp 6 IN 1";
  struct Case {
    const char* what;
    std::size_t from, to;  // link from unit `from` back to unit `to`
  } cases[] = {
      {"last back to first", 2, 0},
      {"last back to middle", 2, 1},
      {"last to itself", 2, 2},
      {"first to itself", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hostwin::Reset();
    ResetProcess();
    std::strcpy(WindowsDir, "C:\\WINDOWS");
    driver_ = hostwin::vexid::Install();
    driver_->SetUnits({U(q, 3), U(q, 4), U(q, 5)});
    driver_->Link(c.from, c.to);
    ScanReaderSlots();
    const std::size_t units = c.from + 1;
    EXPECT_EQ(RotationCounter, units % 4);
    EXPECT_EQ(Tracked(), std::string("DEF").substr(0, units));
  }
}

TEST_F(ReaderSlots, AListLongerThanAnyReaderIsCutAtTheBound) {
  std::vector<Unit> units(kMaxUnits + 2, U("Quenthorp 6 IN 1", -1));
  units.back() = U("SD READER", 4);
  driver_->SetUnits(units);
  ScanReaderSlots();
  EXPECT_EQ(RotationCounter, kMaxUnits % 4);
  EXPECT_EQ(Tracked(), "");

  std::vector<Unit> fits(kMaxUnits - 1, U("Hard disk", 2));
  fits.push_back(U("SD READER", 4));
  driver_->SetUnits(fits);
  ScanReaderSlots();
  EXPECT_EQ(Tracked(), "E");
}

TEST_F(ReaderSlots, ProductTextIsReadAsSixteenBytesWithoutTerminator) {
  // Sixteen characters with no NUL after them inside the node: the rotating
  // row needs all sixteen, and nothing past them is read.
  driver_->SetUnits({U("Quenthorp 6 IN 1", 4), U("MultiCard Slot MXYZ", 5)});
  BYTE* second = driver_->Node(1);
  EXPECT_EQ(second[hostwin::vexid::kUnitProduct + 15], 'M');
  ScanReaderSlots();
  EXPECT_EQ(StoredValue('E'), "C:\\WINDOWS\\brelmot.exe,2");
  EXPECT_EQ(StoredValue('F'), "C:\\WINDOWS\\brelmot.exe,5");
}

}  // namespace
}  // namespace brelmot_test
