// travenne: one pass that gives every card-reader drive the icon of its slot
// and takes back the icons it set earlier for drives that are gone.
//
// Everything a pass holds lives in one TravenneRun: the registry keys it keeps
// open, the disk list, the letter claims and the icon names. RunTravenne makes
// one on its stack; tests make their own to drive single steps.
#pragma once

#include <windows.h>

#include "../common/unique_handle.h"
#include "classify.h"

// ---- Drive-letter resolution ----

constexpr DWORD kLetterCount = 26;          // A to Z
constexpr DWORD kFirstReaderLetter = 3;     // D: A, B and C are never a reader's
constexpr BYTE LETTER_NONE = 255;
constexpr DWORD kDiskListEntries = 26;
constexpr DWORD kInstanceNameBytes = 260;   // a name of at most 259 characters and its NUL
constexpr DWORD kEnumPathBytes = 260;       // "system\CurrentControlSet\Enum\" and the name
constexpr DWORD kParentIdPrefixBytes = 20;
constexpr DWORD kDeviceIdBytes = 20;
constexpr DWORD kMountedValueBytes = 260;
// 27 UTF-16 units are skipped ("\??\STORAGE#RemovableMedia#") and at most 12
// are read: a shorter value cannot hold a device id.
constexpr DWORD kMountedValueMinBytes = 78;
constexpr DWORD kDeviceIdFirstUnit = 27;
constexpr DWORD kDeviceIdMaxChars = 12;

// The disk service's Enum list, read once per run: entry i holds value i.
struct DiskList {
  char names[kDiskListEntries][kInstanceNameBytes];
  DWORD filled = 0;  // entries 0 to filled - 1 hold a name
};

// What the MountedDevices value of one letter gave, read at most once per run:
// the value does not change while the run resolves its names.
struct MountedDeviceIds {
  enum class State : BYTE { Unread, Missing, Read };
  State state[kLetterCount] = {};
  char id[kLetterCount][kDeviceIdBytes];
};

// ---- Icon assignment and bookkeeping ----

constexpr DWORD kWindowsDirBytes = 64;      // at most 63 characters and the NUL
constexpr DWORD kIconNameBytes = 20;        // backslash, at most 18 characters, NUL
constexpr DWORD kDefaultIconBytes = 256;    // what a DefaultIcon value may hold to be examined

struct TravenneRun {
  // Keys kept open for the whole run and closed when it ends.
  UniqueRegKey diskEnum;        // opened by the first successful ReadDiskCount
  UniqueRegKey mountedDevices;  // opened by the run before anything is resolved
  UniqueRegKey bookkeeping;     // HKLM "Software\Travenne", opened or created on first need

  DiskList disks;
  DWORD diskCount = 0;                     // bounds the assignment loop
  volatile LONG claims[kLetterCount] = {}; // 1: a reader took the letter in this run
  MountedDeviceIds mounted;

  char windowsDir[kWindowsDirBytes] = {};
  DWORD windowsDirLength = 0;
  char iconNames[kIconSlots][kIconNameBytes] = {};
  DWORD renewed = 0;  // bit n: a reader with an icon holds letter 'A' + n in this run
};

// The MountedDevices key for reading, or null.
HKEY OpenMountedDevices();
// "Count" of the disk Enum key (opened on the first call and kept), or 0.
DWORD ReadDiskCount(TravenneRun& run);
// Reads the names of the disk list; the number of entries read (at most
// kDiskListEntries), or 0 when any of them cannot be read. A name of 260
// characters without a terminator is read as an empty entry.
DWORD ReadDiskList(TravenneRun& run);
// The device id that the MountedDevices value of driveLetter holds.
bool ReadMountedDeviceId(HKEY mountedDevices, char driveLetter, char (&deviceId)[kDeviceIdBytes]);
// Slot index and letter index (3 to 25, or LETTER_NONE) of one instance name.
// True when a letter was found. logicalDrives: bit n set for letter 'A' + n in use.
bool ResolveDriveLetter(TravenneRun& run, LPCSTR instanceName, DWORD logicalDrives, BYTE& slotIndex,
                        BYTE& letterIndex);

// Puts all five default icon names in place of whatever was read.
void UseDefaultIconNames(TravenneRun& run);
bool CreateBookkeepingKey(TravenneRun& run);
bool ReadIconNames(TravenneRun& run);
bool ScanLetterMarks(TravenneRun& run, DWORD& emptyMarks, DWORD& setMarks);
bool WriteLetterMark(TravenneRun& run, char driveLetter, bool set, LPCSTR text);
bool WriteDriveIcon(TravenneRun& run, char driveLetter, BYTE slotIndex);
bool IsOwnDriveIcon(const TravenneRun& run, char driveLetter);
bool DeleteDriveIcon(TravenneRun& run, char driveLetter);
DWORD AssignIcons(TravenneRun& run);

// One whole pass: 0, or -1 when the Windows directory cannot be had in 63
// characters.
int RunTravenne();
