// libFuzzer target: ReadMountedDeviceId on any MountedDevices value, through
// the hostwin registry. The id must stay inside its 20 bytes, end with a NUL,
// hold at most 12 characters and two '&', and be the low bytes of units 27 on.
#include "travenne.h"

#include <hostwin/control.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  hostwin::Reset();
  const std::vector<BYTE> value(data, data + size);
  hostwin::registry::SetValue("HKLM\\SYSTEM\\MountedDevices", "\\DosDevices\\Q:", REG_BINARY, value);
  HKEY key = OpenMountedDevices();
  if (key == nullptr) std::abort();

  auto id = std::make_unique<char[]>(kDeviceIdBytes);  // exactly 20 bytes: overruns are caught
  char(&idArray)[kDeviceIdBytes] = *reinterpret_cast<char(*)[kDeviceIdBytes]>(id.get());
  std::memset(id.get(), 0xBD, kDeviceIdBytes);
  const bool ok = ReadMountedDeviceId(key, 'Q', idArray);
  RegCloseKey(key);
  if (hostwin::OpenHandleCount() != 0) std::abort();

  if (ok != (size >= kMountedValueMinBytes && size <= kMountedValueBytes)) std::abort();
  if (!ok) return 0;
  const std::size_t length = strnlen(id.get(), kDeviceIdBytes);
  if (length > kDeviceIdMaxChars) std::abort();
  std::string expected;
  int ampersands = 0;
  for (std::size_t unit = kDeviceIdFirstUnit; expected.size() < kDeviceIdMaxChars; ++unit) {
    const char c = static_cast<char>(data[unit * 2]);
    if (c == '\0' || (c == '&' && ++ampersands == 3)) break;
    expected += c;
  }
  if (std::string(id.get(), length) != expected) std::abort();
  for (std::size_t i = length + 1; i < kDeviceIdBytes; ++i)
    if (static_cast<unsigned char>(id[i]) != 0xBD) std::abort();  // nothing written past the NUL
  return 0;
}
