// Reader-slot discovery through the card-reader driver \\.\vexid.
#include "readerslots.h"

#include <cstring>

#include "driveicon.h"
#include "unique_handle.h"

BYTE RotationCounter;

namespace {

constexpr char kDriverName[] = "\\\\.\\vexid";
constexpr BYTE kSkip = 0;

// How a row that matches turns the product text into a slot code.
enum class Rule : BYTE {
  Fixed,       // the row's code
  SlotLetter,  // the character at position 15, table A
  SlotPairAt4,   // the characters at positions 4 and 5, table B
  Rotation,    // 2 + RotationCounter, and the counter advances
  SlotPairAt11,  // the characters at positions 11 and 12, table B and "XD"
};

struct Row {
  const char* prefix;  // compared with ASCII letters folded, blanks exact
  BYTE length;
  Rule rule;
  BYTE code;
};

constexpr Row kRows[] = {
    {"USB SD Reader", 13, Rule::Fixed, 3},
    {"STORAGE DEVICE", 14, Rule::Fixed, 2},
    {" Kelvastrone SD", 15, Rule::Fixed, 3},
    {" Kelvastrone CF", 15, Rule::Fixed, 2},
    {"Kelvastrone SD", 14, Rule::Fixed, 3},
    {"Kelvastrone CF", 14, Rule::Fixed, 2},
    {" KV4-CF", 7, Rule::Fixed, 2},
    {" KV4-SM", 7, Rule::Fixed, 4},
    {" KV4-SD", 7, Rule::Fixed, 3},
    {" KV4-MS", 7, Rule::Fixed, 5},
    {"MultiCard Slot ", 15, Rule::SlotLetter, 0},
    {"USB1.1Card R/W_", 15, Rule::SlotLetter, 0},
    {"-QY ", 4, Rule::SlotPairAt4, 0},
    {"Quenthorp 6 IN 1", 16, Rule::Rotation, 0},
    {"CardReader ", 11, Rule::SlotPairAt11, 0},
    {"CF/ATA READER", 13, Rule::Fixed, 2},
    {"SMC READER", 10, Rule::Fixed, 4},
    {"SD READER", 9, Rule::Fixed, 3},
    {"MSTK READER", 11, Rule::Fixed, 5},
    {"COMBO ADAPTOR", 13, Rule::Fixed, 6},
};

constexpr bool LengthsAgree() {
  for (const Row& row : kRows) {
    BYTE n = 0;
    while (row.prefix[n] != 0) ++n;
    if (n != row.length || n > kProductChars) return false;
  }
  return true;
}
static_assert(LengthsAgree(), "each row's length is that of its text, within the product text");

// Table A: one character, compared exactly.
struct SlotLetter {
  CHAR letter;
  BYTE code;
};
constexpr SlotLetter kTableA[] = {{'A', 2}, {'D', 3}, {'S', 4}, {'M', 5}, {'C', 6}};

// Table B: two characters, compared exactly, in this order.
struct SlotPair {
  CHAR first, second;
  BYTE code;
};
constexpr SlotPair kTableB[] = {{'C', 'F', 2}, {'S', 'D', 3}, {'S', 'M', 4}, {'M', 'S', 5}, {'C', 'o', 6}};
constexpr SlotPair kCardReaderExtra = {'X', 'D', 3};

constexpr BYTE kRotationCodes = 4;

BYTE FoldAscii(BYTE c) { return c >= 'a' && c <= 'z' ? static_cast<BYTE>(c - 'a' + 'A') : c; }

bool StartsWithFolded(const BYTE* text, const Row& row) {
  for (BYTE i = 0; i < row.length; ++i)
    if (FoldAscii(text[i]) != FoldAscii(static_cast<BYTE>(row.prefix[i]))) return false;
  return true;
}

BYTE ByLetter(BYTE c) {
  for (const SlotLetter& entry : kTableA)
    if (static_cast<BYTE>(entry.letter) == c) return entry.code;
  return kSkip;
}

BYTE ByPair(const BYTE* pair, bool withXd) {
  for (const SlotPair& entry : kTableB)
    if (static_cast<BYTE>(entry.first) == pair[0] && static_cast<BYTE>(entry.second) == pair[1]) return entry.code;
  if (withXd && static_cast<BYTE>(kCardReaderExtra.first) == pair[0] &&
      static_cast<BYTE>(kCardReaderExtra.second) == pair[1])
    return kCardReaderExtra.code;
  return kSkip;
}

// The driver's list holds 32-bit pointers and values, also for the x64 build.
static_assert(sizeof(DWORD) == 4, "list fields are 32 bits");

DWORD Read32(const BYTE* at) {
  DWORD value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

// The driver's pointers are 32-bit addresses in the program's address space.
const BYTE* DriverPointer(DWORD address) {
  return reinterpret_cast<const BYTE*>(static_cast<UINT_PTR>(address));
}

}  // namespace

bool ClassifyUnit(const BYTE* productText) {
  for (const Row& row : kRows) {
    if (!StartsWithFolded(productText, row)) continue;
    // The first row that matches decides, also when it then skips the unit.
    BYTE code = kSkip;
    switch (row.rule) {
      case Rule::Fixed:
        code = row.code;
        break;
      case Rule::SlotLetter:
        code = ByLetter(productText[15]);
        break;
      case Rule::SlotPairAt4:
        code = ByPair(productText + 4, false);
        break;
      case Rule::SlotPairAt11:
        code = ByPair(productText + 11, true);
        break;
      case Rule::Rotation:
        code = static_cast<BYTE>(2 + RotationCounter);
        RotationCounter = static_cast<BYTE>((RotationCounter + 1) % kRotationCodes);
        break;
    }
    if (code == kSkip) return false;
    CurrentSlotCode = code;
    return true;
  }
  return false;
}

const BYTE* QueryDriverList() {
  // Windows 98/Me open a dynamically loadable driver by name this way.
  UniqueFileHandle driver(
      CreateFileA(kDriverName, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!driver) return nullptr;
  // The answer is a 32-bit pointer to a cell that holds the root's address.
  DWORD cell = 0;
  DWORD returned = 0;
  if (!DeviceIoControl(driver.get(), kVexidListCode, nullptr, 0, &cell, sizeof(cell), &returned, nullptr)) cell = 0;
  driver.reset();
  if (cell == 0) return nullptr;
  return DriverPointer(Read32(DriverPointer(cell)));
}

void ScanUnitList(const BYTE* root) {
  if (root == nullptr) return;
  // The list is the driver's, read in place and without a lock. Its links
  // are trusted to point at units, but not to end: each unit is taken once,
  // and a link back to one already seen ends the walk like a null link.
  DWORD seen[kMaxUnits];
  int count = 0;
  for (DWORD at = Read32(root + kRootFirstUnit); at != 0 && count < kMaxUnits;) {
    for (int i = 0; i < count; ++i)
      if (seen[i] == at) return;
    seen[count++] = at;
    const BYTE* unit = DriverPointer(at);
    at = Read32(unit + kUnitNext);

    const DWORD flags = Read32(unit + kUnitFlags);
    if ((flags & kUnitScanned) == 0) continue;
    if (!ClassifyUnit(unit + kUnitProduct)) continue;
    if ((flags & kUnitNoIcon) != 0) continue;
    const DWORD drive = Read32(unit + kUnitDrive);
    if (drive == 0) continue;
    const BYTE index = DriverPointer(drive)[kDriveIndex];
    // A drive index past Z has no letter to give an icon to.
    if (index >= kDriveLetters) continue;
    // A letter keeps the icon it was first given.
    if (TrackedLetters[index] != 0) continue;
    SetDriveIcon(static_cast<CHAR>('A' + index), 0);
  }
}

void ScanReaderSlots() { ScanUnitList(QueryDriverList()); }
