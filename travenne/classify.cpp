#include "classify.h"

#include "text.h"

namespace {

struct TypeWord {
  const char* text;  // compared exactly, only as many characters as it has
  BYTE slot;
};

enum class Family { Storage, FlashReader };

struct LeadingText {
  const char* text;  // compared case-blind at position 0
  Family family;
  DWORD base;  // where the storage family's marker positions start
};

// The first leading text that holds decides the family. The character after it
// is not examined: a name beginning "USBSTORAGE" is a storage name.
constexpr LeadingText kLeadingTexts[] = {
    {"usbstor", Family::Storage, 0},
    {"trovaski", Family::Storage, 5},
    {"usb_flash_card_reader", Family::FlashReader, 0},
};

// Storage family, after "_cardreader_": the type word at base + 40.
constexpr TypeWord kCardReaderWords[] = {
    {"CF", kSlotCF}, {"SD", kSlotSD}, {"SM", kSlotSM}, {"MS", kSlotMS}, {"Combo", kSlotCombo},
};

// Storage family, after "_MultiCard_Slot_": the one character at base + 44.
constexpr TypeWord kMultiCardLetters[] = {
    {"A", kSlotCF}, {"D", kSlotSD}, {"S", kSlotSM}, {"M", kSlotMS}, {"O", kSlotCombo},
};

// Flash reader family: the type word at position 22 (position 21 is not examined).
constexpr DWORD kFlashTypePosition = 22;
constexpr TypeWord kFlashReaderWords[] = {
    {"ATA", kSlotCF}, {"SD", kSlotSD}, {"SMC", kSlotSM}, {"MSTK", kSlotMS}, {"COMBO", kSlotCombo},
};

enum class SlotRule {
  TypeWordAt40,     // kCardReaderWords at base + 40
  FinalCharacter,   // the name's last character minus '0', modulo 256
  LetterAt44,       // kMultiCardLetters at base + 44
};

struct Marker {
  const char* text;  // compared case-blind
  DWORD offset;      // from the base
  SlotRule rule;
};

// Tried in this order; the first that holds decides.
constexpr Marker kStorageMarkers[] = {
    {"_cardreader_", 28, SlotRule::TypeWordAt40},
    {"_Quenthorp_6_in_1", 29, SlotRule::FinalCharacter},
    {"_MultiCard_Slot_", 28, SlotRule::LetterAt44},
};

using travenne_text::AsciiLower;

// Does the name hold the whole of text at position pos? Only as many characters
// as text has are compared; a name that ends first does not hold it.
bool TextAt(LPCSTR name, DWORD nameLength, DWORD pos, const char* text, bool caseBlind) {
  DWORD n = 0;
  while (text[n] != '\0') ++n;
  if (pos > nameLength || nameLength - pos < n) return false;
  for (DWORD i = 0; i < n; ++i) {
    const char a = name[pos + i], b = text[i];
    if (caseBlind ? AsciiLower(a) != AsciiLower(b) : a != b) return false;
  }
  return true;
}

template <DWORD N>
BYTE MatchTypeWord(LPCSTR name, DWORD nameLength, DWORD pos, const TypeWord (&words)[N]) {
  for (const TypeWord& w : words)
    if (TextAt(name, nameLength, pos, w.text, false)) return w.slot;
  return SLOT_NONE;
}

BYTE ClassifyStorageName(LPCSTR name, DWORD nameLength, DWORD base) {
  for (const Marker& m : kStorageMarkers) {
    if (!TextAt(name, nameLength, base + m.offset, m.text, true)) continue;
    switch (m.rule) {
      case SlotRule::TypeWordAt40:
        return MatchTypeWord(name, nameLength, base + 40, kCardReaderWords);
      case SlotRule::FinalCharacter:
        // The marker holding means the name is long enough to have a last character.
        return static_cast<BYTE>(static_cast<BYTE>(name[nameLength - 1]) - '0');
      case SlotRule::LetterAt44:
        return MatchTypeWord(name, nameLength, base + 44, kMultiCardLetters);
    }
  }
  return SLOT_NONE;
}

}  // namespace

BYTE ClassifyInstanceName(LPCSTR name) {
  if (name == nullptr) return SLOT_NONE;
  DWORD length = 0;
  while (name[length] != '\0') ++length;
  for (const LeadingText& lead : kLeadingTexts) {
    if (!TextAt(name, length, 0, lead.text, true)) continue;
    if (lead.family == Family::Storage) return ClassifyStorageName(name, length, lead.base);
    return MatchTypeWord(name, length, kFlashTypePosition, kFlashReaderWords);
  }
  return SLOT_NONE;
}
