// The SetupAPI pattern that both search phases share: the present device
// interfaces of one class, walked by index, and each interface's device path
// read with the two-call SetupDiGetDeviceInterfaceDetailA.
#pragma once

#include "../common/unique_handle.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>

// The records' sizes are those of the caller's build; SetupAPI rejects any
// other. The 32-bit values:
static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "x86 interface data is 28 bytes");
static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "x86 detail size field is 5");
// The 64-bit ones:
static_assert(sizeof(void*) != 8 || sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "x64 interface data is 32 bytes");
static_assert(sizeof(void*) != 8 || sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8, "x64 detail size field is 8");
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4, "the path starts 4 bytes in");

struct DevInfoTraits {
  using Type = HDEVINFO;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDevInfo = UniqueHandle<DevInfoTraits>;

// One interface's device path, read into a heap buffer that this object owns.
class InterfacePath {
 public:
  InterfacePath() = default;
  InterfacePath(const InterfacePath&) = delete;
  InterfacePath& operator=(const InterfacePath&) = delete;
  ~InterfacePath();

  // Asks the size, then reads. False when no size is reported, the heap is
  // exhausted or the second call fails.
  bool Read(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data);
  // The path; "" before a successful Read.
  const char* c_str() const;

 private:
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail_ = nullptr;
};

// Calls visit(set, data) for each interface of the present interfaces of
// interfaceClass at the indices 0 to limit - 1. An index whose enumeration
// fails is passed over; ERROR_NO_MORE_ITEMS ends the walk. False, with
// nothing visited, when the set cannot be obtained.
template <typename Visit>
bool ForEachPresentInterface(const GUID& interfaceClass, DWORD limit, Visit visit) {
  UniqueDevInfo set(SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set) return false;
  for (DWORD index = 0; index < limit; ++index) {
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &interfaceClass, index, &data)) {
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      continue;
    }
    visit(set.get(), &data);
  }
  return true;
}
