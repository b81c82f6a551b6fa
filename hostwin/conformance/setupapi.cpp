// SetupAPI device interface sets as zeltadll's search walks them: the present
// interfaces of one class, enumerated by index up to ERROR_NO_MORE_ITEMS, and
// each device path read with the two-call SetupDiGetDeviceInterfaceDetailA.
// Printed: which interfaces a set lists and in which order, the errors of
// each failing call, the size the first detail call reports and the bytes
// after the path.
//
// The records' cbSize values are those of the caller's build (28 and 5 for
// x86, 32 and 8 for x64); a size that is wrong on either build is used for
// the failure cases, and the detail size is printed relative to the path,
// which is equal on both.
#include "conformance.h"

#include <setupapi.h>

#include <cstring>

#if !defined(_WIN32)
#include <hostwin/control.h>
#endif

using conformance::LastError;
using conformance::Outcome;

namespace {

const GUID kUsb = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
const GUID kDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const char kUsbText[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const char kDiskText[] = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

#if defined(_WIN32)
// Under Wine: a registered device with one interface, which DIGCF_PRESENT
// lists once the interface's "Linked" value is 1. False when a step fails.
bool RegisterDevice(const GUID& cls, const char* classText, const char* instanceId, bool present) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof(device);
  SP_DEVICE_INTERFACE_DATA itf;
  itf.cbSize = sizeof(itf);
  union {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
    char raw[512];
  } buffer;
  buffer.detail.cbSize = sizeof(buffer.detail);
  const bool made = SetupDiCreateDeviceInfoA(set, instanceId, &cls, nullptr, nullptr, 0, &device) &&
                    SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
                    SetupDiCreateDeviceInterfaceA(set, &device, &cls, nullptr, 0, &itf) &&
                    SetupDiGetDeviceInterfaceDetailA(set, &itf, &buffer.detail, sizeof(buffer), nullptr, nullptr);
  SetupDiDestroyDeviceInfoList(set);
  if (!made) return false;
  // The interface's key: its symbolic link with \\?\ written as ##?# and
  // every \ as #.
  char key[768] = "System\\CurrentControlSet\\Control\\DeviceClasses\\";
  std::strcat(key, classText);
  std::strcat(key, "\\##?#");
  char* link = key + std::strlen(key);
  std::strcat(key, buffer.detail.DevicePath + 4);
  for (; *link != 0; ++link)
    if (*link == '\\') *link = '#';
  std::strcat(key, "\\#\\Control");
  HKEY control = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &control, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const DWORD linked = present ? 1 : 0;
  const LONG written = RegSetValueExA(control, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked), 4);
  RegCloseKey(control);
  return written == ERROR_SUCCESS;
}
#endif

// A device with one interface of class cls; present unless told otherwise.
// On the host the interface has the path Wine gives it.
void AddDevice(const GUID& cls, const char* classText, const char* instanceId, const char* hostPath, bool present) {
#if defined(_WIN32)
  (void)hostPath;
  if (!RegisterDevice(cls, classText, instanceId, present)) std::printf("set-up: cannot add %s\n", instanceId);
#else
  (void)classText;
  (void)instanceId;
  hostwin::setupapi::AddInterface(cls, hostPath, present);
#endif
}

// The paths of the set's interfaces of cls, read as zeltadll reads them,
// with the errors of the calls that end or fail.
void List(const char* what, HDEVINFO set, const GUID& cls) {
  std::printf("%s:\n", what);
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data;
    std::memset(&data, 0, sizeof(data));
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &cls, index, &data)) {
      std::printf("  enum %lu -> %s\n", static_cast<unsigned long>(index), Outcome(false).s);
      return;
    }
    DWORD required = conformance::kUntouched;
    const BOOL sized = SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
    const unsigned long sizeError = LastError();
    // The buffer is the path's size, with room for the record on every build
    // and filler bytes behind it.
    union {
      SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
      BYTE raw[512];
    } buffer;
    std::memset(buffer.raw, conformance::kFiller, sizeof(buffer.raw));
    buffer.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    const DWORD size = required < sizeof(buffer.raw) - 4 ? required : 0;
    const BOOL read = SetupDiGetDeviceInterfaceDetailA(set, &data, &buffer.detail, size, nullptr, nullptr);
    const std::size_t length = read ? std::strlen(buffer.detail.DevicePath) : 0;
    std::printf("  enum %lu -> ok; size query -> %s %lu, size = path + %ld; read -> %s %s after:",
                static_cast<unsigned long>(index), sized ? "ok, error" : "fails", sizeError,
                static_cast<long>(required) - static_cast<long>(length), Outcome(read != FALSE).s,
                read ? buffer.detail.DevicePath : "-");
    conformance::PrintHex(buffer.raw + required, 4);
    std::printf("\n");
  }
}

// The detail call's failures, on the first interface of the set.
void DetailFailures(HDEVINFO set) {
  SP_DEVICE_INTERFACE_DATA data;
  std::memset(&data, 0, sizeof(data));
  data.cbSize = sizeof(data);
  if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data)) return;
  DWORD needed = 0;
  SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
  union {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
    BYTE raw[512];
  } buffer;
  struct Case {
    const char* what;
    bool withBuffer;
    DWORD cbSize;
    DWORD size;
  } cases[] = {
      {"no buffer, size 0, no size asked", false, 0, 0},
      {"no buffer with a size", false, 0, needed},
      {"record size of neither build", true, 3, needed},
      {"record size 0", true, 0, needed},
      {"buffer one byte short", true, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), needed - 1},
      {"buffer of the size field and one byte", true, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), 5},
  };
  for (const Case& c : cases) {
    std::memset(buffer.raw, conformance::kFiller, sizeof(buffer.raw));
    buffer.detail.cbSize = c.cbSize;
    DWORD required = conformance::kUntouched;
    const bool asksSize = c.withBuffer || c.size != 0;
    const BOOL ok = SetupDiGetDeviceInterfaceDetailA(set, &data, c.withBuffer ? &buffer.detail : nullptr, c.size,
                                                     asksSize ? &required : nullptr, nullptr);
    std::printf("detail, %s -> %s", c.what, Outcome(ok != FALSE).s);
    if (asksSize) {
      if (required == conformance::kUntouched)
        std::printf(" size untouched");
      else
        std::printf(" size %s", required == needed ? "reported" : "other");
    }
    std::printf(" path byte ");
    conformance::PrintHex(buffer.raw + 4, 1);
    std::printf("\n");
  }
}

HDEVINFO Present(const GUID& cls) {
  return SetupDiGetClassDevsA(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

}  // namespace

int main() {
  // Added out of alphabetical order, one of them not present, and a disk
  // that is of another class. A set lists its interfaces in the order of
  // their keys under DeviceClasses, names compared without regard to case.
  // Windows' registry folds them to upper case and Wine's to lower case, so
  // the two differ for '_' and the other characters between 'Z' and 'a' in
  // the place where two paths first differ; these paths keep clear of that.
  AddDevice(kUsb, kUsbText, "USB\\VID_1234&PID_5678\\Zeta3",
            "\\\\?\\usb#vid_1234&pid_5678#zeta3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", true);
  AddDevice(kUsb, kUsbText, "USB\\VID_1234&PID_5678\\Gone2",
            "\\\\?\\usb#vid_1234&pid_5678#gone2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", false);
  AddDevice(kUsb, kUsbText, "USB\\VID_0ABC&PID_0001\\Alpha1",
            "\\\\?\\usb#vid_0abc&pid_0001#alpha1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", true);
  AddDevice(kDisk, kDiskText, "USBSTOR\\Disk&Ven_Conf&Prod_Disk&Rev_1.00\\Disk1&0",
            "\\\\?\\usbstor#disk&ven_conf&prod_disk&rev_1.00#disk1&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", true);

  HDEVINFO set = Present(kUsb);
  std::printf("present usb set -> %s\n", Outcome(set != INVALID_HANDLE_VALUE).s);
  List("present usb interfaces", set, kUsb);
  List("disk interfaces of the usb set", set, kDisk);

  // A device that arrives after the set was made is not in it.
  AddDevice(kUsb, kUsbText, "USB\\VID_1234&PID_5678\\Late4",
            "\\\\?\\usb#vid_1234&pid_5678#late4#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", true);
  List("present usb interfaces after an arrival", set, kUsb);

  SP_DEVICE_INTERFACE_DATA data;
  std::memset(&data, 0, sizeof(data));
  data.cbSize = sizeof(data) + 1;
  std::printf("enum with a record size of neither build -> %s\n",
              Outcome(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 0, &data) != FALSE).s);
  data.cbSize = sizeof(data);
  std::printf("enum far past the end -> %s\n",
              Outcome(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsb, 100, &data) != FALSE).s);
  DetailFailures(set);
  std::printf("destroy -> %s\n", Outcome(SetupDiDestroyDeviceInfoList(set) != FALSE).s);

  set = Present(kUsb);
  List("a new present usb set", set, kUsb);
  std::printf("destroy -> %s\n", Outcome(SetupDiDestroyDeviceInfoList(set) != FALSE).s);

  set = SetupDiGetClassDevsA(&kUsb, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  List("usb set without DIGCF_PRESENT", set, kUsb);
  std::printf("destroy -> %s\n", Outcome(SetupDiDestroyDeviceInfoList(set) != FALSE).s);

  set = Present(kDisk);
  List("present disk interfaces", set, kDisk);
  std::printf("destroy -> %s\n", Outcome(SetupDiDestroyDeviceInfoList(set) != FALSE).s);

  // A set that cannot be made is INVALID_HANDLE_VALUE, not null.
  set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  std::printf("set without a class -> %s, %s\n", Outcome(set != INVALID_HANDLE_VALUE).s,
              set == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : set == nullptr ? "null" : "a set");
  std::printf("destroy INVALID_HANDLE_VALUE -> %s\n",
              Outcome(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE) != FALSE).s);
  return 0;
}
