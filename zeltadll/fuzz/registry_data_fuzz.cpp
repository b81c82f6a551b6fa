// A whole search over registry data of any length and content: the
// ParentIdPrefix values of a device and its disk, and the mounted-device
// values, all narrowed or cut to their buffers without reading past them.
#include "device_table.h"
#include "zeltadll.h"

#include <hostwin/control.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const GUID kUsb = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
const GUID kDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Takes the next piece of the input: a length byte (times three), then that
// many bytes, or what is left.
std::vector<BYTE> Take(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0) return {};
  std::size_t n = static_cast<std::size_t>(data[0]) * 3;
  ++data;
  --size;
  if (n > size) n = size;
  std::vector<BYTE> piece(data, data + n);
  data += n;
  size -= n;
  return piece;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  hostwin::Reset();
  const std::string usb = "\\\\?\\usb#vid_0abc&pid_1234#5&2a&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
  const std::string disk = "\\\\?\\usbstor#disk&ven_a&prod_b&rev_1#6&1f&0&1#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
  hostwin::setupapi::AddInterface(kUsb, usb);
  hostwin::setupapi::AddInterface(kDisk, disk);
  const std::string usbKey = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\usb\\vid_0abc&pid_1234\\5&2a&0&1";
  const std::string diskKey = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\usbstor\\disk&ven_a&prod_b&rev_1\\6&1f&0&1";
  hostwin::registry::SetValue(usbKey, "ParentIdPrefix", REG_SZ, Take(data, size));
  hostwin::registry::SetValue(diskKey, "ParentIdPrefix", REG_SZ, Take(data, size));
  for (const char letter : {'D', 'E', 'Z'}) {
    hostwin::registry::SetValue("HKLM\\SYSTEM\\MountedDevices", std::string("\\DosDevices\\") + letter + ":",
                                REG_BINARY, Take(data, size));
  }

  const DWORD status = zeltaSearchUsbDevice(0, 0);
  if (status != ZELTA_E_OPEN && status != ZELTA_E_NODEVICE) std::abort();
  for (const DeviceRecord* r = zeltaGetDriveMap(nullptr); r != nullptr; r = zeltaGetDriveMap(r)) {
    if (std::strlen(r->childMatchId) > 256 || std::strlen(r->parentIdPrefix) > 60) std::abort();
    for (int i = 0; i < ZELTA_DRIVEMAP_ENTRIES; ++i)
      if (r->driveMap[i].position != ZELTA_DRIVEMAP_UNUSED && (r->driveMap[i].letter < 'D' || r->driveMap[i].letter > 'Z'))
        std::abort();
  }
  if (hostwin::OpenHandleCount() != 0) std::abort();
  return 0;
}
