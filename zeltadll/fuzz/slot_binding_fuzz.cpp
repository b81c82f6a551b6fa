// The binding phase over arbitrary device paths and arbitrary slot names as
// the driver returns them: up to 256 bytes of UTF-16 with or without a zero
// unit, names without a key, values that fail. Whatever the input: every
// request is the expected one, the link ends closed, no name is read past
// its buffer, and a record holds only a slot whose key lies in its path and
// in no earlier record's path.
#include "device_path.h"
#include "device_table.h"
#include "driver_link.h"
#include "search.h"
#include "zeltadll.h"

#include <hostwin/control.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Reads input in order; an exhausted input gives zeros and empty pieces.
struct Input {
  const std::uint8_t* data;
  std::size_t size;

  bool empty() const { return size == 0; }
  std::uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  std::vector<BYTE> Bytes(std::size_t n) {
    if (n > size) n = size;
    std::vector<BYTE> out(data, data + n);
    data += n;
    size -= n;
    return out;
  }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

// Input: a record count (low 3 bits), each record's path as a length byte
// and that many bytes; then slots, each a flag byte (bit 0: its value
// request fails; bit 7: one more name byte), a length byte, the name bytes
// and four value bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CloseDriverLink();
  hostwin::Reset();
  Devices().Release();
  Input in{data, size};

  const int records = in.Byte() & 7;
  std::vector<std::string> paths;
  for (int r = 0; r < records; ++r) {
    const std::vector<BYTE> bytes = in.Bytes(in.Byte());
    // The system's paths hold no zero byte: the record's path ends at one.
    std::string path(bytes.begin(), bytes.end());
    path = path.c_str();
    const std::string id = "u" + std::to_string(r);
    NewDeviceRecord record;
    record.uniqueId = TextView(id.c_str());
    record.childMatchId = record.uniqueId;
    record.devicePath = TextView(path.c_str());
    Check(Devices().Append(record));
    paths.push_back(path);
  }

  auto driver = std::make_shared<hostwin::devices::ScriptedDevice>();
  hostwin::devices::Install("\\\\.\\ZELTA", driver);
  BYTE slot = 0;
  bool ended = false;
  for (; slot < kDriverSlots && !in.empty(); ++slot) {
    const std::uint8_t flags = in.Byte();
    const std::size_t length = in.Byte() + ((flags & 0x80) != 0 ? 1u : 0u);
    auto& name = driver->Expect(IOCTL_ZELTA_GET_SLOT_NAME, {slot}, kSlotNameBytes);
    name.output = in.Bytes(length);
    name.bytesReturned = static_cast<DWORD>(name.output.size());
    auto& value = driver->Expect(IOCTL_ZELTA_GET_SLOT_VALUE, {slot}, 4);
    value.output = in.Bytes(4);
    value.bytesReturned = 4;
    if ((flags & 1) != 0) {
      value.succeed = false;
      ended = true;
      ++slot;
      break;
    }
  }
  if (!ended && slot < kDriverSlots) driver->Expect(IOCTL_ZELTA_GET_SLOT_NAME, {slot}, kSlotNameBytes).succeed = false;

  Check(BindDriverSlots() == ZELTA_OK);
  Check(driver->Problems().empty());
  Check(!IsDriverLinkOpen());
  Check(hostwin::OpenHandleCount() == 0);

  std::size_t index = 0;
  for (const DeviceRecord* r = zeltaGetDriveMap(nullptr); r != nullptr; r = zeltaGetDriveMap(r), ++index) {
    Check(r->driverSlotName != nullptr);
    const std::size_t length = std::strlen(r->driverSlotName);
    if (length == 0) continue;
    Check(length <= kSlotNameBytes / 2);
    const TextView key = ExtractUniqueId(r->driverSlotName);
    Check(!key.empty());
    const std::string piece(key.data, key.size);
    Check(paths[index].find(piece) != std::string::npos);
    for (std::size_t earlier = 0; earlier < index; ++earlier) Check(paths[earlier].find(piece) == std::string::npos);
  }
  Devices().Release();
  return 0;
}
