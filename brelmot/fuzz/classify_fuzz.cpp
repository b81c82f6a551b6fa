// ClassifyUnit over arbitrary product texts: exactly 16 bytes are readable (the
// sanitizer catches a read past them), a match gives a slot code 2 to 6, a
// skip leaves CurrentSlotCode alone, and the rotation counter stays 0 to 3
// and moves only on a match.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "driveicon.h"
#include "readerslots.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  RotationCounter = data[0] % 4;
  const BYTE before = RotationCounter;
  // The text on the heap with nothing after it.
  std::unique_ptr<BYTE[]> text(new BYTE[kProductChars]());
  std::memcpy(text.get(), data + 1, std::min(size - 1, kProductChars));
  CurrentSlotCode = 0xEE;
  const bool matched = ClassifyUnit(text.get());
  if (RotationCounter > 3) std::abort();
  if (!matched) {
    if (CurrentSlotCode != 0xEE || RotationCounter != before) std::abort();
    return 0;
  }
  if (CurrentSlotCode < 2 || CurrentSlotCode > 6) std::abort();
  if (RotationCounter != before) {
    // Only the rotating row moves the counter, by one, dealing 2 + its old value.
    if (RotationCounter != (before + 1) % 4 || CurrentSlotCode != 2 + before) std::abort();
  }
  return 0;
}
