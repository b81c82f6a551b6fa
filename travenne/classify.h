// travenne: which card slot a storage instance name stands for.
#pragma once

#include <windows.h>

// Slot indexes: 0 CF, 1 SD, 2 SM, 3 MS, 4 Combo also index the icon names.
// 5 to 254 are readers whose slot has no icon; SLOT_NONE is no reader at all.
constexpr BYTE kSlotCF = 0;
constexpr BYTE kSlotSD = 1;
constexpr BYTE kSlotSM = 2;
constexpr BYTE kSlotMS = 3;
constexpr BYTE kSlotCombo = 4;
constexpr BYTE kIconSlots = 5;
constexpr BYTE SLOT_NONE = 255;

// The slot index of one NUL-terminated instance name, from its text alone.
// Never reads past the terminator; no state, no allocation, no failure.
BYTE ClassifyInstanceName(LPCSTR name);
