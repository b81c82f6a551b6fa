// Icon assignment, the bookkeeping marks and the run sequence.
//
// The shell of Windows 2000/XP takes a drive's icon from HKCR
// "Applications\Explorer.exe\Drives\X\DefaultIcon". Which of those entries are
// this program's own is kept in HKLM "Software\Travenne", one value per letter:
// "1" (one byte) while the current run has just written the icon, no data at all
// once a run has finished with it. Every string is written with a byte count
// equal to its length, without the terminator, so that the empty mark is a
// value of no data at all. (Windows NT stores a terminator after a string whose
// next byte in the caller's memory is a NUL, so "1" may come back as two bytes;
// only whether a mark has data counts.)
#include "text.h"
#include "travenne.h"

using travenne_text::EqualCaseBlind;
using travenne_text::Join;
using travenne_text::Length;

namespace {

constexpr char kBookkeepingKey[] = "Software\\Travenne";
constexpr char kSetMarkText[] = "1";
constexpr char kKeptMarkText[] = "";

// Default icon name entries by slot index: a backslash and the file name,
// appended to the Windows directory.
constexpr char kDefaultIconNames[kIconSlots][kIconNameBytes] = {
    "\\cfico.ico", "\\sdico.ico", "\\smico.ico", "\\msico.ico", "\\comboico.ico",
};

// "Applications\Explorer.exe\Drives\?\DefaultIcon" with the letter in place.
struct DriveIconPath {
  char text[48] = "Applications\\Explorer.exe\\Drives\\?\\DefaultIcon";
  explicit DriveIconPath(char driveLetter) { text[33] = driveLetter; }
};
static_assert(sizeof("Applications\\Explorer.exe\\Drives\\") - 1 == 33, "letter position");

// Opens the bookkeeping key with RegOpenKeyA when it is not open yet.
bool OpenBookkeepingKey(TravenneRun& run) {
  if (run.bookkeeping) return true;
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kBookkeepingKey, &key) != ERROR_SUCCESS) return false;
  run.bookkeeping.reset(key);
  return true;
}

DWORD LetterBit(char driveLetter) { return 1u << (driveLetter - 'A'); }

}  // namespace

void UseDefaultIconNames(TravenneRun& run) {
  for (DWORD slot = 0; slot < kIconSlots; ++slot)
    Join(run.iconNames[slot], kIconNameBytes, kDefaultIconNames[slot], "");
}

bool CreateBookkeepingKey(TravenneRun& run) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBookkeepingKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  run.bookkeeping.reset(key);
  return true;
}

bool ReadIconNames(TravenneRun& run) {
  if (!OpenBookkeepingKey(run)) {
    CreateBookkeepingKey(run);  // kept open for the rest of the run if it worked
    return false;
  }
  for (DWORD slot = 0; slot < kIconSlots; ++slot) {
    const char valueName[2] = {static_cast<char>('0' + slot), '\0'};
    // At most 19 bytes, the NUL included. A name that does not end within
    // them, or an empty one, counts as unreadable: then all five defaults apply.
    char name[kIconNameBytes];
    DWORD size = kIconNameBytes - 1;
    if (RegQueryValueExA(run.bookkeeping.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) !=
        ERROR_SUCCESS)
      return false;
    name[size] = '\0';
    if (name[0] == '\0' || !Join(run.iconNames[slot], kIconNameBytes, "\\", name)) return false;
  }
  return true;
}

bool WriteLetterMark(TravenneRun& run, char driveLetter, bool set, LPCSTR text) {
  if (!OpenBookkeepingKey(run)) return false;
  const char valueName[2] = {driveLetter, '\0'};
  if (!set) return RegDeleteValueA(run.bookkeeping.get(), valueName) == ERROR_SUCCESS;
  return RegSetValueExA(run.bookkeeping.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        Length(text)) == ERROR_SUCCESS;
}

bool ScanLetterMarks(TravenneRun& run, DWORD& emptyMarks, DWORD& setMarks) {
  emptyMarks = 0;
  setMarks = 0;
  if (!OpenBookkeepingKey(run)) return false;
  for (char letter = 'A' + kFirstReaderLetter; letter <= 'Z'; ++letter) {
    const char valueName[2] = {letter, '\0'};
    DWORD size = 0;  // no buffer: only the size of the data comes back
    const LONG status = RegQueryValueExA(run.bookkeeping.get(), valueName, nullptr, nullptr, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) continue;
    if (status != ERROR_SUCCESS) return false;
    (size == 0 ? emptyMarks : setMarks) |= LetterBit(letter);
  }
  return true;
}

bool WriteDriveIcon(TravenneRun& run, char driveLetter, BYTE slotIndex) {
  const DriveIconPath path(driveLetter);
  if (slotIndex >= kIconSlots) return false;  // a reader without an icon
  HKEY rawKey = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.text, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &rawKey, nullptr) !=
      ERROR_SUCCESS)
    return false;
  UniqueRegKey iconKey(rawKey);
  // At most 63 and 19 characters: the text always fits.
  char text[kWindowsDirBytes + kIconNameBytes];
  bool written = Join(text, sizeof(text), run.windowsDir, run.iconNames[slotIndex]);
  written = written && RegSetValueExA(iconKey.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                      Length(text)) == ERROR_SUCCESS;
  iconKey.reset();
  WriteLetterMark(run, driveLetter, true, kSetMarkText);
  return written;
}

bool IsOwnDriveIcon(const TravenneRun& run, char driveLetter) {
  const DriveIconPath path(driveLetter);
  HKEY rawKey = nullptr;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, path.text, &rawKey) != ERROR_SUCCESS) return false;
  UniqueRegKey iconKey(rawKey);
  // One byte beyond what the query may fill, so that the text always ends.
  char text[kDefaultIconBytes + 1];
  DWORD size = kDefaultIconBytes;
  if (RegQueryValueExA(iconKey.get(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
    return false;
  text[size] = '\0';
  // Only the tail after the first N characters is compared: the directory part
  // of the value may be written differently (another case, a short name).
  const DWORD n = run.windowsDirLength;
  if (Length(text) <= n) return false;
  for (const char* name : run.iconNames)
    if (EqualCaseBlind(text + n, name)) return true;
  return false;
}

bool DeleteDriveIcon(TravenneRun& run, char driveLetter) {
  const DriveIconPath path(driveLetter);
  // Only the DefaultIcon key goes; the keys above it stay.
  const LONG status = RegDeleteKeyA(HKEY_CLASSES_ROOT, path.text);
  // The mark goes with the icon. While the icon is still there the kept mark
  // stays, so that a later run examines the letter again.
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) WriteLetterMark(run, driveLetter, false, nullptr);
  return status == ERROR_SUCCESS;
}

DWORD AssignIcons(TravenneRun& run) {
  if (!run.mountedDevices) return 0;
  if (ReadDiskList(run) == 0) return 0;
  const DWORD logicalDrives = GetLogicalDrives();
  DWORD claimed = 0;
  const DWORD entries = run.diskCount < run.disks.filled ? run.diskCount : run.disks.filled;
  for (DWORD i = 0; i < entries; ++i) {
    BYTE slot = SLOT_NONE, letter = LETTER_NONE;
    if (!ResolveDriveLetter(run, run.disks.names[i], logicalDrives, slot, letter)) continue;
    // The first name that reaches a letter keeps it, icon or not.
    if (run.claims[letter] != 0) continue;
    InterlockedExchange(&run.claims[letter], 1);
    const char driveLetter = static_cast<char>('A' + letter);
    WriteDriveIcon(run, driveLetter, slot);
    if (slot < kIconSlots) run.renewed |= LetterBit(driveLetter);
    ++claimed;
  }
  return claimed;
}

int RunTravenne() {
  TravenneRun run;
  const UINT length = GetWindowsDirectoryA(run.windowsDir, kWindowsDirBytes);
  if (length == 0 || length >= kWindowsDirBytes) return -1;
  run.windowsDirLength = length;

  if (!ReadIconNames(run)) UseDefaultIconNames(run);

  run.mountedDevices.reset(OpenMountedDevices());
  if (run.mountedDevices) {
    run.diskCount = ReadDiskCount(run);
    AssignIcons(run);

    DWORD emptyMarks = 0, setMarks = 0;
    ScanLetterMarks(run, emptyMarks, setMarks);  // what it found before a failure is swept all the same
    for (char letter = 'A' + kFirstReaderLetter; letter <= 'Z'; ++letter) {
      // A letter that a present reader with an icon holds is not taken back,
      // even when its icon or its set mark could not be written in this run.
      const DWORD bit = LetterBit(letter);
      if ((emptyMarks & bit) && !(run.renewed & bit) && IsOwnDriveIcon(run, letter)) DeleteDriveIcon(run, letter);
    }
    for (char letter = 'A' + kFirstReaderLetter; letter <= 'Z'; ++letter)
      if (setMarks & LetterBit(letter)) WriteLetterMark(run, letter, true, kKeptMarkText);
  }
  // The run's keys and buffers are released as `run` goes.
  return 0;
}
