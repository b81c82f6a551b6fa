#include "classify.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using travenne_test::CardReaderName;
using travenne_test::Place;
using travenne_test::QuenthorpName;

// The name in a heap block of exactly its size, so that AddressSanitizer
// catches any read past the terminator.
int Classify(const std::string& name) {
  auto block = std::make_unique<char[]>(name.size() + 1);
  std::memcpy(block.get(), name.c_str(), name.size() + 1);
  return ClassifyInstanceName(block.get());
}

struct Case {
  const char* what;
  std::string name;
  int slot;
};

TEST(ClassifyInstanceName, StorageFamilyCardReaderMarker) {
  const Case cases[] = {
      {"SD at 40", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "SD"}}), 1},
      {"CF at 40", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "CF"}}), 0},
      {"SM at 40", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "SM"}}), 2},
      {"MS at 40", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "MS"}}), 3},
      {"capitals, Combo at 40", Place({{0, "USBSTOR"}, {28, "_CARDREADER_"}, {40, "Combo"}}), 4},
      {"mixed case leading text and marker", Place({{0, "UsbStor"}, {28, "_CardReader_"}, {40, "MS&REV"}}), 3},
      {"type words are exact: sd", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "sd"}}), 255},
      {"type words are exact: COMBO", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "COMBO"}}), 255},
      {"unknown type word XD", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "XD"}}), 255},
      {"only the word's own characters count", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "CFX"}}), 0},
      {"a realistic SD reader", CardReaderName("SD"), 1},
      {"trovaski: base 5", Place({{0, "trovaski"}, {33, "_cardreader_"}, {45, "MS"}}), 3},
      {"trovaski: marker at 28 is 5 too early", Place({{0, "trovaski"}, {28, "_cardreader_"}, {40, "CF"}}), 255},
      {"USBSTORAGE is still the storage family", Place({{0, "USBSTORAGE"}, {28, "_cardreader_"}, {40, "SD"}}), 1},
      {"marker one place late", Place({{0, "usbstor"}, {29, "_cardreader_"}, {41, "SD"}}), 255},
      // A lower-casing by "| 0x20" would take DEL (0x7F) for '_' (0x5F).
      {"case-blind is ASCII letters only", Place({{0, "usbstor"}, {28, "\x7f" "cardreader_"}, {40, "SD"}}), 255},
      {"no locale folding in the leading text", Place({{0, "usb\xd3tor"}, {28, "_cardreader_"}, {40, "SD"}}), 255},
      {"name ends inside the type word", Place({{0, "usbstor"}, {28, "_cardreader_"}, {40, "C"}}), 255},
      {"name ends before the type word", Place({{0, "usbstor"}, {28, "_cardreader_"}}), 255},
      {"name ends inside the marker", Place({{0, "usbstor"}, {28, "_cardread"}}), 255},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what << " \"" << cases[i].name << "\"");
    EXPECT_EQ(Classify(cases[i].name), cases[i].slot);
  }
}

TEST(ClassifyInstanceName, StorageFamilyFinalCharacterMarker) {
  const std::string marker = "_Quenthorp_6_in_1";
  const Case cases[] = {
      {"ends in 2", Place({{0, "usbstor"}, {29, marker}, {46, "&2"}}), 2},
      {"ends in 7: a reader without icon", Place({{0, "usbstor"}, {29, marker}, {46, "&7"}}), 7},
      {"ends in 0", Place({{0, "usbstor"}, {29, marker}, {46, "\\0"}}), 0},
      {"ends in a slash", Place({{0, "usbstor"}, {29, marker}, {46, "/"}}), 255},
      {"ends in A", Place({{0, "usbstor"}, {29, marker}, {46, "A"}}), 17},
      {"ends in a high byte", Place({{0, "usbstor"}, {29, marker}, {46, "\xff"}}), 0xff - 48},
      {"ends right after the marker: its own last character", Place({{0, "usbstor"}, {29, marker}}), 1},
      {"marker in capitals", QuenthorpName('3'), 3},
      {"marker at 28 only", Place({{0, "usbstor"}, {28, marker}, {45, "&2"}}), 255},
      {"trovaski: marker at 34", Place({{0, "trovaski"}, {34, marker}, {51, "&0"}}), 0},
      {"trovaski: marker at 29", Place({{0, "trovaski"}, {29, marker}, {46, "&2"}}), 255},
      // The last character of the whole name, not of some later field.
      {"long tail", Place({{0, "usbstor"}, {29, marker}, {46, std::string(150, 'x') + "4"}}), 4},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what << " \"" << cases[i].name << "\"");
    EXPECT_EQ(Classify(cases[i].name), cases[i].slot);
  }
}

TEST(ClassifyInstanceName, StorageFamilyMultiCardMarker) {
  const std::string marker = "_MultiCard_Slot_";
  const Case cases[] = {
      {"A", Place({{0, "usbstor"}, {28, marker}, {44, "A"}}), 0},
      {"D", Place({{0, "usbstor"}, {28, marker}, {44, "D&REV"}}), 1},
      {"S", Place({{0, "usbstor"}, {28, marker}, {44, "S"}}), 2},
      {"M", Place({{0, "usbstor"}, {28, marker}, {44, "M"}}), 3},
      {"O", Place({{0, "usbstor"}, {28, marker}, {44, "O"}}), 4},
      {"lower-case s", Place({{0, "usbstor"}, {28, marker}, {44, "s"}}), 255},
      {"other letter", Place({{0, "usbstor"}, {28, marker}, {44, "X"}}), 255},
      {"name ends at 44", Place({{0, "usbstor"}, {28, marker}}), 255},
      {"marker in capitals", Place({{0, "usbstor"}, {28, "_MULTICARD_SLOT_"}, {44, "M"}}), 3},
      {"trovaski: O at 49", Place({{0, "trovaski"}, {33, marker}, {49, "O"}}), 4},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what << " \"" << cases[i].name << "\"");
    EXPECT_EQ(Classify(cases[i].name), cases[i].slot);
  }
}

TEST(ClassifyInstanceName, FlashReaderFamily) {
  const Case cases[] = {
      {"ATA", Place({{0, "usb_flash_card_reader"}, {22, "ATA"}}), 0},
      {"SD", Place({{0, "usb_flash_card_reader"}, {22, "SD"}}), 1},
      {"capitals, SMC", Place({{0, "USB_FLASH_CARD_READER"}, {22, "SMC"}}), 2},
      {"MSTK", Place({{0, "usb_flash_card_reader"}, {22, "MSTK&0"}}), 3},
      {"COMBO", Place({{0, "usb_flash_card_reader"}, {22, "COMBO"}}), 4},
      {"Combo is not this family's word", Place({{0, "usb_flash_card_reader"}, {22, "Combo"}}), 255},
      {"smc in lower case", Place({{0, "usb_flash_card_reader"}, {22, "smc"}}), 255},
      {"SDX: two characters compared", Place({{0, "usb_flash_card_reader"}, {22, "SDX"}}), 1},
      {"character 21 is not examined", std::string("usb_flash_card_reader") + "\x01" + "ATA", 0},
      {"MST is too short", Place({{0, "usb_flash_card_reader"}, {22, "MST"}}), 255},
      {"CF is the storage family's word", Place({{0, "usb_flash_card_reader"}, {22, "CF"}}), 255},
      {"name ends at 22", "usb_flash_card_reader-", 255},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what << " \"" << cases[i].name << "\"");
    EXPECT_EQ(Classify(cases[i].name), cases[i].slot);
  }
}

TEST(ClassifyInstanceName, OtherNames) {
  const Case cases[] = {
      {"IDE disk", travenne_test::kHardDiskName, 255},
      {"empty", "", 255},
      {"leading text cut short", "usbsto", 255},
      {"leading text alone", "usbstor", 255},
      {"leading text not at 0", Place({{1, "usbstor"}, {29, "_cardreader_"}, {41, "SD"}}), 255},
      {"storage name of 39 characters", Place({{0, "usbstor"}, {28, "_cardreader"}}), 255},
      {"SCSI disk with a marker", Place({{0, "SCSI\\Disk"}, {28, "_cardreader_"}, {40, "SD"}}), 255},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].what << " \"" << cases[i].name << "\"");
    EXPECT_EQ(Classify(cases[i].name), cases[i].slot);
  }
  EXPECT_EQ(ClassifyInstanceName(nullptr), SLOT_NONE);
}

// The classifier depends on the name alone: no call reaches the system.
TEST(ClassifyInstanceName, TouchesNothing) {
  hostwin::Reset();
  Classify(CardReaderName("SD"));
  Classify(QuenthorpName('2'));
  EXPECT_TRUE(hostwin::Calls().empty());
}

}  // namespace
