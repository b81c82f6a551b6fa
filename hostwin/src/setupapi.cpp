// SetupAPI device interface sets. The machine's device interfaces are a list
// that tests lay out (class, device path, present or not); a set made by
// SetupDiGetClassDevsA is a snapshot of the matching ones, in the order
// Windows lists them: that of their keys under DeviceClasses\{class}, named
// after the path, so by path compared without regard to case.
#include <windows.h>
#include <setupapi.h>
#include <hostwin/control.h>

#include "names.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace hostwin {
namespace {

struct Interface {
  GUID interfaceClass;
  std::string path;
  bool present;
};

struct DeviceSet {
  std::vector<Interface> interfaces;
};

struct SetupApi {
  std::vector<Interface> machine;
  std::map<HDEVINFO, DeviceSet> sets;
  std::uintptr_t next = 0x7d000;
};

SetupApi& api() {
  static SetupApi s;
  return s;
}

void ResetSetupApi() {
  api().machine.clear();
  api().sets.clear();
}

std::size_t OpenSets() { return api().sets.size(); }

std::string DescribeSets() { return std::to_string(api().sets.size()) + " device information set(s)"; }

[[maybe_unused]] const bool registered =
    detail::RegisterArea({"setupapi", ResetSetupApi, OpenSets, DescribeSets});

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

std::string GuidText(const GUID* g) {
  if (g == nullptr) return "(null)";
  char text[40];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g->Data1), g->Data2, g->Data3, g->Data4[0], g->Data4[1], g->Data4[2],
                g->Data4[3], g->Data4[4], g->Data4[5], g->Data4[6], g->Data4[7]);
  return text;
}

DeviceSet* FindSet(HDEVINFO set) {
  auto it = api().sets.find(set);
  return it == api().sets.end() ? nullptr : &it->second;
}

// The interface that SetupDiEnumDeviceInterfaces described in data: its
// Reserved field holds the position in the set, plus one.
const Interface* InterfaceOf(const DeviceSet& set, const SP_DEVICE_INTERFACE_DATA* data) {
  if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return nullptr;
  if (data->Reserved == 0 || data->Reserved > set.interfaces.size()) return nullptr;
  return &set.interfaces[data->Reserved - 1];
}

}  // namespace

namespace setupapi {

void AddInterface(const GUID& interfaceClass, const std::string& devicePath, bool present) {
  api().machine.push_back(Interface{interfaceClass, devicePath, present});
}

std::size_t InterfaceCount() { return api().machine.size(); }

}  // namespace setupapi
}  // namespace hostwin

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND, DWORD Flags) {
  DWORD error = 0;
  char flags[16];
  std::snprintf(flags, sizeof(flags), "0x%X", static_cast<unsigned>(Flags));
  if (hostwin::detail::Enter("SetupDiGetClassDevsA", hostwin::GuidText(ClassGuid) + " " + flags, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  // Only interface sets of one class are simulated.
  if (ClassGuid == nullptr || (Flags & DIGCF_DEVICEINTERFACE) == 0 || (Flags & DIGCF_ALLCLASSES) != 0 ||
      Enumerator != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  hostwin::DeviceSet set;
  for (const hostwin::Interface& i : hostwin::api().machine) {
    if (!hostwin::SameGuid(i.interfaceClass, *ClassGuid)) continue;
    if ((Flags & DIGCF_PRESENT) != 0 && !i.present) continue;
    set.interfaces.push_back(i);
  }
  std::stable_sort(set.interfaces.begin(), set.interfaces.end(),
                   [](const hostwin::Interface& a, const hostwin::Interface& b) {
                     return hostwin::detail::LessFoldedUpper(a.path, b.path);
                   });
  HDEVINFO h = reinterpret_cast<HDEVINFO>(hostwin::api().next);
  hostwin::api().next += 4;
  hostwin::api().sets[h] = set;
  return h;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA, const GUID* InterfaceClassGuid,
                                 DWORD MemberIndex, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  DWORD error = 0;
  if (hostwin::detail::Enter("SetupDiEnumDeviceInterfaces", std::to_string(MemberIndex), &error)) {
    SetLastError(error);
    return FALSE;
  }
  hostwin::DeviceSet* set = hostwin::FindSet(DeviceInfoSet);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr ||
      DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD seen = 0;
  for (std::size_t i = 0; i < set->interfaces.size(); ++i) {
    const hostwin::Interface& itf = set->interfaces[i];
    if (!hostwin::SameGuid(itf.interfaceClass, *InterfaceClassGuid)) continue;
    if (seen++ != MemberIndex) continue;
    DeviceInterfaceData->InterfaceClassGuid = itf.interfaceClass;
    DeviceInterfaceData->Flags = SPINT_ACTIVE;
    DeviceInterfaceData->Reserved = i + 1;
    return TRUE;
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return FALSE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA) {
  DWORD error = 0;
  const hostwin::DeviceSet* set = hostwin::FindSet(DeviceInfoSet);
  const hostwin::Interface* itf = set != nullptr ? hostwin::InterfaceOf(*set, DeviceInterfaceData) : nullptr;
  if (hostwin::detail::Enter("SetupDiGetDeviceInterfaceDetailA",
                             (itf != nullptr ? itf->path : std::string("?")) + " " +
                                 std::to_string(DeviceInterfaceDetailDataSize),
                             &error)) {
    SetLastError(error);
    return FALSE;
  }
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (itf == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A size without a buffer is a bad buffer, as a wrong size field is.
  if (DeviceInterfaceDetailData == nullptr && DeviceInterfaceDetailDataSize != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  constexpr DWORD kFixed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  if (DeviceInterfaceDetailData != nullptr && DeviceInterfaceDetailDataSize < kFixed + 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DeviceInterfaceDetailData != nullptr &&
      DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const DWORD needed = kFixed + static_cast<DWORD>(itf->path.size()) + 1;
  if (RequiredSize != nullptr) *RequiredSize = needed;
  if (DeviceInterfaceDetailDataSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(DeviceInterfaceDetailData->DevicePath, itf->path.c_str(), itf->path.size() + 1);
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  DWORD error = 0;
  const bool fail = hostwin::detail::Enter("SetupDiDestroyDeviceInfoList", "", &error);
  // A destroy that reports failure has still let the set go.
  const bool known = hostwin::api().sets.erase(DeviceInfoSet) != 0;
  if (fail || !known) {
    SetLastError(fail ? error : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
