// Phases 1 and 2 of the search on the largest machine the search looks at:
// 15 USB device interfaces, 25 disks, every letter from D to Z mounted.
// Reports time and the registry and SetupAPI calls per search, beside a bare
// enumeration of the same two interface classes with every path read; and
// the whole search with a driver that serves all 16 slots it asks about.
#include "device_table.h"
#include "zeltadll.h"
#include "../tests/zelta_driver.h"

#include <windows.h>
#include <setupapi.h>
#include <hostwin/control.h>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const GUID kUsb = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
const GUID kDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

std::string Hex(int i) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02x", i);
  return text;
}

// Devices 0 to 14, every other one with a made-up id whose disks carry its
// ParentIdPrefix; disk i belongs to device i % 15 and is mounted under
// letter D + i while letters last.
void LayOutLargestMachine() {
  hostwin::Reset();
  for (int d = 0; d < 15; ++d) {
    const std::string instance = d % 2 == 0 ? "serial" + Hex(d) : "5&" + Hex(d) + "c0ffee&0&" + std::to_string(d % 4);
    const std::string path = "\\\\?\\usb#vid_0abc&pid_1234#" + instance + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    hostwin::setupapi::AddInterface(kUsb, path);
    hostwin::registry::SetString("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\usb\\vid_0abc&pid_1234\\" + instance,
                                 "ParentIdPrefix", "6&" + Hex(d) + "beef&0");
  }
  for (int i = 0; i < 25; ++i) {
    const int d = i % 15;
    const std::string owner = d % 2 == 0 ? "serial" + Hex(d) : "6&" + Hex(d) + "beef&0";
    const std::string instance = owner + "&" + std::to_string(i / 15);
    const std::string path = "\\\\?\\usbstor#disk&ven_zelta&prod_reader&rev_1.00#" + instance +
                             "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    hostwin::setupapi::AddInterface(kDisk, path);
    const std::string prefix = "7&" + Hex(i) + "d15c&0";
    hostwin::registry::SetString(
        "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\usbstor\\disk&ven_zelta&prod_reader&rev_1.00\\" + instance,
        "ParentIdPrefix", prefix);
    if (i < 23) {
      hostwin::registry::SetWideBinary("HKLM\\SYSTEM\\MountedDevices",
                                       std::string("\\DosDevices\\") + static_cast<char>('D' + i) + ":",
                                       "\\??\\STORAGE#RemovableMedia#" + prefix +
                                           "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}");
    }
  }
}

void BM_SearchPhases1And2(benchmark::State& state) {
  LayOutLargestMachine();
  std::size_t registryCalls = 0;
  std::size_t setupApiCalls = 0;
  for (auto _ : state) {
    hostwin::ClearCalls();
    const DWORD status = zeltaSearchUsbDevice(0x0abc, 0x1234);
    if (status != ZELTA_E_OPEN) state.SkipWithError("the search did not reach its binding phase");
    registryCalls = hostwin::CallCountMatching("Reg");
    setupApiCalls = hostwin::CallCountMatching("SetupDi");
  }
  std::size_t records = 0;
  std::size_t letters = 0;
  for (const DeviceRecord* r = zeltaGetDriveMap(nullptr); r != nullptr; r = zeltaGetDriveMap(r)) {
    ++records;
    for (const DriveMapEntry& e : r->driveMap) letters += e.position != ZELTA_DRIVEMAP_UNUSED;
  }
  state.counters["registry_calls"] = static_cast<double>(registryCalls);
  state.counters["setupapi_calls"] = static_cast<double>(setupApiCalls);
  state.counters["records"] = static_cast<double>(records);
  state.counters["letters"] = static_cast<double>(letters);
  Devices().Release();
}
BENCHMARK(BM_SearchPhases1And2)->Unit(benchmark::kMicrosecond);

// All three phases: the driver serves 16 slots, one per device and one more
// whose key lies in no path.
void BM_SearchWithDriver(benchmark::State& state) {
  LayOutLargestMachine();
  std::vector<zelta::StatefulDriver::Slot> slots;
  for (int d = 0; d < 16; ++d) {
    const std::string instance =
        d == 15 ? "nosuch" : d % 2 == 0 ? "serial" + Hex(d) : "5&" + Hex(d) + "c0ffee&0&" + std::to_string(d % 4);
    slots.push_back({"USB#VID_0ABC&PID_1234#" + instance + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
                     static_cast<DWORD>(0x100 + d)});
  }
  hostwin::devices::Install(zelta::kLinkName, std::make_shared<zelta::StatefulDriver>(slots));
  std::size_t requests = 0;
  for (auto _ : state) {
    hostwin::ClearCalls();
    if (zeltaSearchUsbDevice(0x0abc, 0x1234) != ZELTA_OK) state.SkipWithError("the search did not bind");
    requests = hostwin::CallCount("DeviceIoControl");
  }
  std::size_t bound = 0;
  for (const DeviceRecord* r = zeltaGetDriveMap(nullptr); r != nullptr; r = zeltaGetDriveMap(r))
    bound += r->driverSlotName[0] != '\0';
  state.counters["driver_requests"] = static_cast<double>(requests);
  state.counters["records_bound"] = static_cast<double>(bound);
  Devices().Release();
}
BENCHMARK(BM_SearchWithDriver)->Unit(benchmark::kMicrosecond);

// What the search cannot do with less: both interface sets enumerated and
// every path read with the two detail calls.
void BM_BareEnumeration(benchmark::State& state) {
  LayOutLargestMachine();
  std::size_t paths = 0;
  for (auto _ : state) {
    paths = 0;
    for (const GUID* cls : {&kUsb, &kDisk}) {
      HDEVINFO set = SetupDiGetClassDevsA(cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
      for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof(data);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, cls, i, &data)) break;
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
        std::vector<char> buf(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buf.data());
        detail->cbSize = sizeof(*detail);
        paths += SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr) ? 1 : 0;
      }
      SetupDiDestroyDeviceInfoList(set);
    }
    benchmark::DoNotOptimize(paths);
  }
  state.counters["paths"] = static_cast<double>(paths);
}
BENCHMARK(BM_BareEnumeration)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
