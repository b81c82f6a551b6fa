// The walk over arbitrary driver lists. The harness lays the nodes out in an
// arena below 4 GiB, as the driver's memory is reachable from the program, and
// takes everything else from the input: the links (always to a node of the
// arena or null, loops included), the flags, the drive records and indexes
// and the product texts. The walk must end, take each reachable unit once,
// never register a letter past Z, and track exactly what it registered.
#include <windows.h>
#include <hostwin/control.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "driveicon.h"
#include "readerslots.h"

namespace {

// Row texts, so that the fuzzer reaches every rule quickly.
const char* const kPrefixes[] = {
    "USB SD Reader", "STORAGE DEVICE", " Kelvastrone SD", " Kelvastrone CF", "Kelvastrone SD", "Kelvastrone CF",
    " KV4-CF", " KV4-SM", " KV4-SD", " KV4-MS", "MultiCard Slot ", "USB1.1Card R/W_", "-QY ", "Quenthorp 6 IN 1",
    "CardReader ", "CF/ATA READER", "SMC READER", "SD READER", "MSTK READER", "COMBO ADAPTOR"};
constexpr std::size_t kPrefixCount = sizeof(kPrefixes) / sizeof(kPrefixes[0]);
constexpr std::size_t kNodeBytes = 1 + 2 + 1 + 1 + 16;  // next, flags, drive, prefix, text

void Put32(BYTE* at, DWORD v) { std::memcpy(at, &v, 4); }

bool IsRotatingRow(const BYTE* text) {
  static const char row[] = "QUENTHORP 6 IN 1";
  for (int i = 0; i < 16; ++i) {
    BYTE c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<BYTE>(c - 'a' + 'A');
    if (c != static_cast<BYTE>(row[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static hostwin::vexid::LowArena arena(1 << 20);
  if (size < 3) return 0;
  hostwin::Reset();
  std::memset(TrackedLetters, 0, sizeof(TrackedLetters));
  std::strcpy(WindowsDir, "C:\\WINDOWS");
  arena.Clear();

  const std::size_t count = 1 + data[0] % 96;  // more than kMaxUnits at times
  const BYTE first = data[1];
  RotationCounter = data[2] % 4;
  const BYTE counterBefore = RotationCounter;
  data += 3;
  size -= 3;

  BYTE* root = arena.Alloc(0x40);
  std::vector<BYTE*> nodes;
  for (std::size_t i = 0; i < count; ++i) nodes.push_back(arena.Alloc(0xC0));
  std::vector<int> next(count, -1);
  for (std::size_t i = 0; i < count; ++i) {
    BYTE b[kNodeBytes] = {};
    std::memcpy(b, data + std::min(size, i * kNodeBytes), std::min(kNodeBytes, size > i * kNodeBytes ? size - i * kNodeBytes : 0));
    BYTE* node = nodes[i];
    // Mostly a chain in order; the input can point anywhere among the nodes.
    next[i] = b[0] == 0 ? (i + 1 < count ? static_cast<int>(i + 1) : -1) : b[0] >= 0xF0 ? -1 : b[0] % count;
    Put32(node + 0x0C, next[i] < 0 ? 0 : arena.Address(nodes[next[i]]));
    Put32(node + 0x20, static_cast<DWORD>(b[1] | (b[2] << 8)));
    if (b[3] != 0xFF) {
      BYTE* drive = arena.Alloc(0x20);
      drive[0x14] = b[3] == 0xFE ? 26 : b[3];
      Put32(node + 0x10, arena.Address(drive));
    }
    std::memcpy(node + 0x92, b + 5, 16);
    if (b[4] < kPrefixCount) std::memcpy(node + 0x92, kPrefixes[b[4]], std::strlen(kPrefixes[b[4]]));
  }
  const int head = first >= 0xF0 ? -1 : first % static_cast<int>(count);
  Put32(root + 0x30, head < 0 ? 0 : arena.Address(nodes[head]));

  ScanUnitList(root);

  // What the walk may have seen: the reachable units, once each, at most kMaxUnits.
  std::set<int> seen;
  std::set<int> letters;
  unsigned rotating = 0;
  for (int at = head; at >= 0 && seen.size() < static_cast<std::size_t>(kMaxUnits) && !seen.count(at); at = next[at]) {
    seen.insert(at);
    DWORD flags, drive;
    std::memcpy(&flags, nodes[at] + 0x20, 4);
    std::memcpy(&drive, nodes[at] + 0x10, 4);
    if (!(flags & 0x8000)) continue;
    rotating += IsRotatingRow(nodes[at] + 0x92);
    if (!(flags & 0x4000) && drive != 0) {
      const BYTE index = reinterpret_cast<const BYTE*>(static_cast<std::uintptr_t>(drive))[0x14];
      if (index < 26) letters.insert(index);
    }
  }
  if (RotationCounter != (counterBefore + rotating) % 4) std::abort();
  for (int i = 0; i < kDriveLetters; ++i) {
    if (TrackedLetters[i] == 0) continue;
    if (TrackedLetters[i] != 'A' + i || !letters.count(i)) std::abort();
    const std::string key =
        std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\") +
        static_cast<char>('A' + i) + "\\DefaultIcon";
    if (!hostwin::registry::KeyExists(key)) std::abort();
  }
  if (hostwin::OpenHandleCount() != 0) std::abort();
  return 0;
}
