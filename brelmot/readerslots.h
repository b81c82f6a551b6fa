// Reader-slot discovery: the unit list of the card-reader driver \\.\vexid,
// read in place, and the slot code of each unit's product text.
#pragma once

#include <windows.h>

#include <cstddef>

// Process global, zero at start: deals slot codes 2 to 5 in turn to the
// units of a reader that tells its slots apart by nothing else.
extern BYTE RotationCounter;

// The driver's answer to control code 3 and the list it leads to. All
// pointers in it are 32-bit; offsets are from each structure's start.
constexpr DWORD kVexidListCode = 3;
constexpr std::size_t kRootFirstUnit = 0x30;  // DriverListRoot: first UnitNode
constexpr std::size_t kUnitNext = 0x0C;       // UnitNode: next UnitNode
constexpr std::size_t kUnitDrive = 0x10;      // UnitNode: LogicalDriveRecord, or null
constexpr std::size_t kUnitFlags = 0x20;      // UnitNode: flags
constexpr std::size_t kUnitProduct = 0x92;    // UnitNode: product text
constexpr std::size_t kProductChars = 16;     // not necessarily terminated
constexpr std::size_t kDriveIndex = 0x14;     // LogicalDriveRecord: 0 = A: ... 25 = Z:
constexpr DWORD kUnitScanned = 0x8000;        // the unit takes part in the scan
constexpr DWORD kUnitNoIcon = 0x4000;         // classified, never registered

// A walk visits at most this many units. A reader has a handful; a list that
// loops back on itself or runs on without end stops here.
constexpr int kMaxUnits = 64;

// Address of the driver's DriverListRoot, or null when the driver cannot be
// opened, refuses the request or has no list.
const BYTE* QueryDriverList();
// Registers the slot icon of every reader drive that the driver lists and
// that is not tracked yet.
void ScanReaderSlots();
// Walks the list that starts at root (null: nothing) and registers as
// ScanReaderSlots does. Each unit is visited once, in list order.
void ScanUnitList(const BYTE* root);
// Classifies kProductChars bytes of product text: true with the slot code in
// CurrentSlotCode, false (CurrentSlotCode unchanged) to skip the unit.
bool ClassifyUnit(const BYTE* productText);
