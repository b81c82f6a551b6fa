// libFuzzer target: ClassifyInstanceName on any name, checked against a
// straightforward second reading of the rules written with std::string.
#include "classify.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool At(const std::string& s, std::size_t pos, const std::string& text, bool caseBlind) {
  if (pos + text.size() > s.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char a = s[pos + i], b = text[i];
    if (caseBlind) {
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    }
    if (a != b) return false;
  }
  return true;
}

int Reference(const std::string& s) {
  std::size_t base;
  if (At(s, 0, "usbstor", true)) base = 0;
  else if (At(s, 0, "trovaski", true)) base = 5;
  else if (At(s, 0, "usb_flash_card_reader", true)) {
    const char* words[] = {"ATA", "SD", "SMC", "MSTK", "COMBO"};
    for (int i = 0; i < 5; ++i)
      if (At(s, 22, words[i], false)) return i;
    return 255;
  } else {
    return 255;
  }
  if (At(s, base + 28, "_cardreader_", true)) {
    const char* words[] = {"CF", "SD", "SM", "MS", "Combo"};
    for (int i = 0; i < 5; ++i)
      if (At(s, base + 40, words[i], false)) return i;
    return 255;
  }
  if (At(s, base + 29, "_Quenthorp_6_in_1", true)) return (static_cast<unsigned char>(s.back()) - 48) & 0xFF;
  if (At(s, base + 28, "_MultiCard_Slot_", true)) {
    const char* letters = "ADSMO";
    for (int i = 0; i < 5; ++i)
      if (At(s, base + 44, std::string(1, letters[i]), false)) return i;
    return 255;
  }
  return 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The name ends at the first NUL, as a string read from the registry does;
  // it sits in a block of exactly its size so that any overread is caught.
  const std::string name(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  auto block = std::make_unique<char[]>(name.size() + 1);
  std::memcpy(block.get(), name.c_str(), name.size() + 1);
  const int slot = ClassifyInstanceName(block.get());
  if (slot != Reference(name)) std::abort();
  if (ClassifyInstanceName(block.get()) != slot) std::abort();
  return 0;
}
