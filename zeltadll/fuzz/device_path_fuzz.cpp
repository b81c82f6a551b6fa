// Device path helpers on arbitrary text: they must stay inside the string
// and keep their promises about what they return.
#include "device_path.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const WORD vendor = static_cast<WORD>(data[0] | data[1] << 8);
  const WORD product = static_cast<WORD>(data[2] | data[3] << 8);
  // The path exactly as long as the input, in a heap block of its own size,
  // so that any read past its terminator is caught.
  const std::size_t length = strnlen(reinterpret_cast<const char*>(data + 4), size - 4);
  char* path = static_cast<char*>(std::malloc(length + 1));
  std::memcpy(path, data + 4, length);
  path[length] = '\0';

  for (const TextView id : {MatchVendorProduct(path, vendor, product), ExtractUniqueId(path)}) {
    if (id.empty()) continue;
    if (id.data < path || id.data + id.size > path + length) std::abort();
    if (std::memchr(id.data, '#', id.size) != nullptr) std::abort();
  }
  const UsbIds ids = ParseVendorProduct(path);
  (void)ids;

  HeapText key;
  if (!EnumKeyOfDevicePath(path, &key)) std::abort();
  if (std::strncmp(key.c_str(), "System\\CurrentControlSet\\Enum\\", 30) != 0) std::abort();
  if (std::strchr(key.c_str(), '#') != nullptr || std::strlen(key.c_str()) > 30 + length) std::abort();
  HeapText own;
  if (!OwnEnumKeyOfDevicePath(path, &own)) std::abort();
  if (std::strncmp(own.c_str(), "SYSTEM\\CurrentControlSet\\Enum", 29) != 0) std::abort();
  if (std::strchr(own.c_str(), '#') != nullptr || std::strlen(own.c_str()) > 29 + length) std::abort();

  std::free(path);
  return 0;
}
