// Device I/O as zeltadll's driver link uses it: \\.\ZELTA opened the way the
// library opens it, synchronous DeviceIoControl requests of the buffered and
// the direct transfer methods, and CloseHandle. Printed for each request:
// its result and error, the byte count (the caller's count is preset, so
// "untouched" shows a count the call left alone), the bytes the answer
// wrote and the filler bytes after them.
//
// Under Wine the requests go to the simulated maker driver zeltadrv.sys
// (C:\pkg, beside this program). On the host they go to hostwin's scripted
// device, scripted below with the driver's answers; so on the host this
// holds what hostwin's own calls do around a device's answer: the handle,
// the count, the caller's buffer, the error.
//
// Not printed: \\.\vexid, the Windows 98 driver that brelmot opens with
// creation disposition 0. An NT-family system (Wine included) refuses that
// disposition before any driver is asked, so its answers cannot be had here.
#if defined(_WIN32)
#include <cstdarg>
#include <cstring>
void SetUpLog(const char* format, ...);
#define ZELTADRV_LOG SetUpLog
#include "zeltadrv_ctl.h"
#endif

#include "conformance.h"

#include <winioctl.h>

#include <cstring>

#if !defined(_WIN32)
#include <hostwin/control.h>

#include <string>
#include <memory>
#include <vector>
#endif

using conformance::kUntouched;
using conformance::Outcome;

namespace {

constexpr DWORD Code(DWORD function, DWORD method) {
  return CTL_CODE(FILE_DEVICE_UNKNOWN, function, method, FILE_ANY_ACCESS);
}
constexpr DWORD kSelect = Code(0x803, METHOD_BUFFERED);
constexpr DWORD kLock = Code(0x804, METHOD_BUFFERED);
constexpr DWORD kUnlock = Code(0x805, METHOD_BUFFERED);
constexpr DWORD kDescriptor = Code(0x806, METHOD_IN_DIRECT);
constexpr DWORD kVendor = Code(0x80A, METHOD_OUT_DIRECT);
constexpr DWORD kBulk1 = Code(0x80B, METHOD_OUT_DIRECT);
constexpr DWORD kBulk0 = Code(0x80C, METHOD_OUT_DIRECT);
constexpr DWORD kSlotName = Code(0x80D, METHOD_BUFFERED);
constexpr DWORD kSlotValue = Code(0x80E, METHOD_BUFFERED);
constexpr DWORD kStandard = Code(0x810, METHOD_OUT_DIRECT);
constexpr DWORD kUnknown = Code(0x807, METHOD_BUFFERED);  // one of the driver's own, never sent by the library

const char kSlotNameText[] = "Z#Y#conf01#X";
constexpr DWORD kDevice = 0x11;

const BYTE kDeviceIn[4] = {0x11, 0, 0, 0};
const BYTE kOtherIn[4] = {0x99, 0, 0, 0};
const BYTE kSlot0[1] = {0};
const BYTE kSlot1[1] = {1};
// String descriptor 3 in US English: the serial number.
const BYTE kSerialIn[12] = {0x11, 0, 0, 0, 3, 3, 0x09, 0x04, 0, 0, 0, 0};
// Vendor request 5 to the host, value 0x10, 8 bytes.
const BYTE kVendorIn[12] = {0x11, 0, 0, 0, 0xC0, 0x05, 0x10, 0x00, 0, 0, 8, 0};
// GET_STATUS of the device, 2 bytes; SET_CONFIGURATION 1, no data stage.
const BYTE kGetStatusIn[12] = {0x11, 0, 0, 0, 0x80, 0x00, 0, 0, 0, 0, 2, 0};
const BYTE kSetConfigurationIn[12] = {0x11, 0, 0, 0, 0x00, 0x09, 1, 0, 0, 0, 0, 0};
const BYTE kBulkData[5] = {'h', 'e', 'l', 'l', 'o'};

const char kLinkName[] = "\\\\.\\ZELTA";

HANDLE OpenLink(const char* name) {
  return CreateFileA(name, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// One request with an output buffer of outSize bytes (none for 0) inside a
// larger one filled with filler bytes, or with data as the buffer the
// request hands over (bulk 0).
void Request(HANDLE link, const char* what, DWORD code, const BYTE* in, DWORD inSize, DWORD outSize,
             const BYTE* data = nullptr) {
  BYTE buffer[64];
  std::memset(buffer, conformance::kFiller, sizeof(buffer));
  if (data != nullptr) std::memcpy(buffer, data, outSize);
  DWORD count = kUntouched;
  const BOOL ok = DeviceIoControl(link, code, const_cast<BYTE*>(in), inSize, outSize != 0 ? buffer : nullptr,
                                  outSize, &count, nullptr);
  std::printf("%s -> %s", what, Outcome(ok != FALSE).s);
  conformance::PrintCount("count", count);
  // The answer's bytes and the two after them; after a failure the buffer's
  // first bytes (at most 14) and the two after them.
  DWORD shown = outSize < 14 ? outSize : 14;
  if (ok) shown = count != kUntouched && count <= sizeof(buffer) - 2 ? count : 0;
  shown += 2;
  std::printf(" buffer=");
  conformance::PrintHex(buffer, shown);
  std::printf("\n");
}

#if defined(_WIN32)
// The simulated driver with one slot: device 0x11, serial "CONF01".
bool StartDriver(const char* packageDir) {
  char sys[MAX_PATH];
  std::snprintf(sys, sizeof(sys), "%s\\zeltadrv.sys", packageDir);
  const ZeltaDrvSlot slots[] = {{kSlotNameText, 1, kDevice, "CONF01", 0x12345678}};
  return zeltadrv_install(sys) && zeltadrv_configure(slots, 1) && zeltadrv_start(60000, 3) != 0;
}

// Stops it and removes its service.
void StopDriver() { zeltadrv_remove(); }
#else
using Script = hostwin::devices::ScriptedDevice;
std::shared_ptr<Script> g_script;

std::vector<BYTE> Bytes(const BYTE* p, std::size_t n) { return std::vector<BYTE>(p, p + n); }

// The driver's answers to the requests below, in their order: what it
// writes and its count, or its error. A failed request writes nothing.
void Answer(DWORD code, std::vector<BYTE> in, DWORD outSize, std::vector<BYTE> out) {
  Script::Step& step = g_script->Expect(code, std::move(in), outSize);
  step.bytesReturned = static_cast<DWORD>(out.size());
  step.output = std::move(out);
}

void Refuse(DWORD code, std::vector<BYTE> in, DWORD outSize, DWORD error) {
  Script::Step& step = g_script->Expect(code, std::move(in), outSize);
  step.succeed = false;
  step.error = error;
}

bool StartDriver(const char*) {
  g_script = std::make_shared<Script>();
  std::vector<BYTE> name;
  for (const char* c = kSlotNameText;; ++c) {
    name.push_back(static_cast<BYTE>(*c));
    name.push_back(0);
    if (*c == 0) break;
  }
  const std::vector<BYTE> device = Bytes(kDeviceIn, 4);
  Answer(kSlotName, {0}, 64, name);
  Refuse(kSlotName, {1}, 64, ERROR_NOT_FOUND);
  Refuse(kSlotName, {0}, 8, ERROR_INSUFFICIENT_BUFFER);
  Answer(kSlotValue, {0}, 4, {0x11, 0, 0, 0});
  Refuse(kSelect, Bytes(kOtherIn, 4), 0, ERROR_NO_SUCH_DEVICE);
  Refuse(kLock, device, 0, ERROR_BAD_COMMAND);
  Refuse(kVendor, Bytes(kVendorIn, 12), 16, ERROR_BAD_COMMAND);
  Answer(kSelect, device, 0, {});
  Answer(kLock, device, 0, {});
  Answer(kDescriptor, Bytes(kSerialIn, 12), 32, {14, 3, 'C', 0, 'O', 0, 'N', 0, 'F', 0, '0', 0, '1', 0});
  Refuse(kDescriptor, Bytes(kSerialIn, 12), 8, ERROR_INSUFFICIENT_BUFFER);
  Answer(kVendor, Bytes(kVendorIn, 12), 16, {0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C});
  Refuse(kVendor, Bytes(kVendorIn, 12), 4, ERROR_INSUFFICIENT_BUFFER);
  // Bulk 0 takes the caller's bytes: a count, nothing written.
  g_script->Expect(kBulk0, device, 5).bytesReturned = 5;
  g_script->Expect(kBulk0, device, 5).bytesReturned = 5;
  Answer(kBulk1, device, 16, Bytes(kBulkData, 5));
  Answer(kBulk1, device, 16, {});
  Answer(kStandard, Bytes(kGetStatusIn, 12), 2, {0, 0});
  Answer(kStandard, Bytes(kSetConfigurationIn, 12), 0, {});
  Refuse(kUnknown, device, 0, ERROR_INVALID_FUNCTION);
  Answer(kUnlock, device, 0, {});
  Refuse(kUnlock, device, 0, ERROR_BAD_COMMAND);
  hostwin::devices::Install(kLinkName, g_script);
  return true;
}

void StopDriver() { hostwin::devices::Remove(kLinkName); }
#endif

}  // namespace

#if defined(_WIN32)
// What the driver's set-up said, printed only when it failed.
char g_setUpLog[4096];

void SetUpLog(const char* format, ...) {
  const std::size_t used = std::strlen(g_setUpLog);
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_setUpLog + used, sizeof(g_setUpLog) - used, format, args);
  va_end(args);
}
#endif

int main(int argc, char** argv) {
#if defined(_WIN32)
  ZELTADRV_CHILD(argc, argv);
#endif
  if (!StartDriver(argc > 1 ? argv[1] : "")) {
#if defined(_WIN32)
    std::printf("set-up: the driver did not start\n%s", g_setUpLog);
#endif
    return 1;
  }

  HANDLE link = OpenLink(kLinkName);
  std::printf("open \\\\.\\ZELTA -> %s\n", Outcome(link != INVALID_HANDLE_VALUE).s);
  HANDLE none = OpenLink("\\\\.\\HOSTWINCONFNONE");
  std::printf("open a device that is not there -> %s, %s\n", Outcome(none != INVALID_HANDLE_VALUE).s,
              none == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : "a handle");

  // Buffered requests: the answer is copied back, its count and no more.
  Request(link, "slot 0 name", kSlotName, kSlot0, 1, 64);
  Request(link, "slot 1 name (no slot 1)", kSlotName, kSlot1, 1, 64);
  Request(link, "slot 0 name into 8 bytes", kSlotName, kSlot0, 1, 8);
  Request(link, "slot 0 value", kSlotValue, kSlot0, 1, 4);
  Request(link, "select a device not served", kSelect, kOtherIn, 4, 0);
  Request(link, "lock without a select", kLock, kDeviceIn, 4, 0);
  Request(link, "vendor request without a lock", kVendor, kVendorIn, 12, 16);
  Request(link, "select", kSelect, kDeviceIn, 4, 0);
  Request(link, "lock", kLock, kDeviceIn, 4, 0);
  // Direct requests: the driver writes into the caller's buffer.
  Request(link, "serial number", kDescriptor, kSerialIn, 12, 32);
  Request(link, "serial number into 8 bytes", kDescriptor, kSerialIn, 12, 8);
  Request(link, "vendor request", kVendor, kVendorIn, 12, 16);
  Request(link, "vendor request into 4 bytes", kVendor, kVendorIn, 12, 4);
  Request(link, "bulk to the device", kBulk0, kDeviceIn, 4, 5, kBulkData);
  Request(link, "bulk to the device again", kBulk0, kDeviceIn, 4, 5, kBulkData);
  Request(link, "bulk from the device", kBulk1, kDeviceIn, 4, 16);
  Request(link, "bulk from the device, nothing kept", kBulk1, kDeviceIn, 4, 16);
  Request(link, "standard request GET_STATUS", kStandard, kGetStatusIn, 12, 2);
  Request(link, "standard request without a data stage", kStandard, kSetConfigurationIn, 12, 0);
  Request(link, "a code the driver does not know", kUnknown, kDeviceIn, 4, 0);
  Request(link, "unlock", kUnlock, kDeviceIn, 4, 0);
  Request(link, "unlock again", kUnlock, kDeviceIn, 4, 0);

  std::printf("close -> %s\n", Outcome(CloseHandle(link) != FALSE).s);
  Request(link, "a request on the closed handle", kSelect, kDeviceIn, 4, 0);
  std::printf("close again -> %s\n", Outcome(CloseHandle(link) != FALSE).s);

  StopDriver();
  link = OpenLink(kLinkName);
  std::printf("open once the driver is gone -> %s\n", Outcome(link != INVALID_HANDLE_VALUE).s);
#if !defined(_WIN32)
  for (const std::string& problem : g_script->Problems()) std::printf("script: %s\n", problem.c_str());
#endif
  return 0;
}
