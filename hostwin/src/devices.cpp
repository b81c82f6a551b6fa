// Device names opened with CreateFileA and spoken to with DeviceIoControl.
// Each open makes a kernel handle that holds the device until CloseHandle.
#include <windows.h>
#include <hostwin/control.h>

#include "names.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

namespace hostwin {
namespace {

using detail::Lower;

struct Devices {
  std::map<std::string, std::shared_ptr<devices::Device>> byName;
  std::map<HANDLE, std::shared_ptr<devices::Device>> open;
};

Devices& devs() {
  static Devices d;
  return d;
}

void ResetDevices() {
  devs().byName.clear();
  devs().open.clear();
}

// Open device handles are kernel objects and counted there.
std::size_t NoOwnHandles() { return 0; }
std::string NoDescription() { return ""; }

[[maybe_unused]] const bool registered =
    detail::RegisterArea({"devices", ResetDevices, NoOwnHandles, NoDescription});

void OnClose(HANDLE h, void*) {
  auto it = devs().open.find(h);
  if (it == devs().open.end()) return;
  std::shared_ptr<devices::Device> device = it->second;
  devs().open.erase(it);
  device->Close();
}

std::string Hex(const void* p, DWORD n) {
  std::string out;
  char b[4];
  const BYTE* bytes = static_cast<const BYTE*>(p);
  for (DWORD i = 0; i < n && bytes != nullptr; ++i) {
    std::snprintf(b, sizeof(b), "%02x", bytes[i]);
    out += b;
  }
  return out;
}

}  // namespace

namespace devices {

DWORD Device::Open(DWORD, DWORD, DWORD, DWORD) { return ERROR_SUCCESS; }

void Install(const std::string& name, std::shared_ptr<Device> device) { devs().byName[Lower(name)] = device; }
void Remove(const std::string& name) { devs().byName.erase(Lower(name)); }

ScriptedDevice::Step& ScriptedDevice::Expect(DWORD code, std::vector<BYTE> input, DWORD outSize) {
  Step s;
  s.code = code;
  s.input = std::move(input);
  s.outSize = outSize;
  steps_.push_back(s);
  return steps_.back();
}

DWORD ScriptedDevice::Open(DWORD, DWORD, DWORD, DWORD) {
  if (openError_ != 0) return openError_;
  ++opens_;
  return ERROR_SUCCESS;
}

bool ScriptedDevice::Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                             DWORD* bytesReturned, DWORD* error) {
  char what[160];
  std::snprintf(what, sizeof(what), "request %zu: code 0x%08x in=%s out size %u", next_ + 1,
                static_cast<unsigned>(code), Hex(in, inSize).c_str(), static_cast<unsigned>(outSize));
  if (next_ >= steps_.size()) {
    problems_.push_back(std::string("unexpected ") + what);
    *error = ERROR_INVALID_FUNCTION;
    return false;
  }
  const Step& s = steps_[next_];
  const std::vector<BYTE> got(static_cast<const BYTE*>(in),
                              static_cast<const BYTE*>(in) + (in != nullptr ? inSize : 0));
  if (s.code != code || s.input != got || s.outSize != outSize) {
    char want[160];
    std::snprintf(want, sizeof(want), "; expected code 0x%08x in=%s out size %u", static_cast<unsigned>(s.code),
                  Hex(s.input.data(), static_cast<DWORD>(s.input.size())).c_str(), static_cast<unsigned>(s.outSize));
    problems_.push_back(std::string("out of order ") + what + want);
    *error = ERROR_INVALID_FUNCTION;
    return false;
  }
  ++next_;
  if (!s.succeed) {
    *error = s.error;
    return false;
  }
  const std::size_t n = s.output.size() < outSize ? s.output.size() : outSize;
  if (n != 0 && out != nullptr) std::memcpy(out, s.output.data(), n);
  *bytesReturned = s.bytesReturned;
  return true;
}

std::vector<std::string> ScriptedDevice::Problems() const {
  std::vector<std::string> out = problems_;
  for (std::size_t i = next_; i < steps_.size(); ++i) {
    char what[96];
    std::snprintf(what, sizeof(what), "left over: step %zu, code 0x%08x", i + 1, static_cast<unsigned>(steps_[i].code));
    out.push_back(what);
  }
  return out;
}

}  // namespace devices
}  // namespace hostwin

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  DWORD error = 0;
  const std::string name = lpFileName ? lpFileName : "";
  char args[64];
  std::snprintf(args, sizeof(args), "|0x%x|%u|%u|0x%x", static_cast<unsigned>(dwDesiredAccess),
                static_cast<unsigned>(dwShareMode), static_cast<unsigned>(dwCreationDisposition),
                static_cast<unsigned>(dwFlagsAndAttributes));
  if (hostwin::detail::Enter("CreateFileA", name + args, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto it = hostwin::devs().byName.find(hostwin::Lower(name));
  if (it == hostwin::devs().byName.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const DWORD refused = it->second->Open(dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
  if (refused != ERROR_SUCCESS) {
    SetLastError(refused);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = hostwin::detail::NewKernelHandle(name, hostwin::OnClose, nullptr);
  hostwin::devs().open[h] = it->second;
  return h;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  DWORD error = 0;
  char args[96];
  std::snprintf(args, sizeof(args), "0x%08x|in %u|out %u", static_cast<unsigned>(dwIoControlCode),
                static_cast<unsigned>(nInBufferSize), static_cast<unsigned>(nOutBufferSize));
  if (hostwin::detail::Enter("DeviceIoControl", args, &error)) {
    SetLastError(error);
    return FALSE;
  }
  auto it = hostwin::devs().open.find(hDevice);
  if (it == hostwin::devs().open.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A synchronous request needs somewhere to put the byte count.
  if (lpBytesReturned == nullptr && lpOverlapped == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD returned = 0;
  error = ERROR_GEN_FAILURE;
  const bool ok = it->second->Control(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                                      &returned, &error);
  // Windows writes the byte count only for a request that did not fail: after
  // a failure the caller's count keeps whatever it held.
  if (!ok) {
    SetLastError(error);
    return FALSE;
  }
  if (lpBytesReturned != nullptr) *lpBytesReturned = returned;
  return TRUE;
}
