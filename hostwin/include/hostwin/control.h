// Test-control API of the in-memory Win32 world. Only tests include this.
//
// Every simulated function records itself (name and the arguments that matter)
// and consults the fault plan before it acts. Each area of the world (registry,
// services, ...) registers a reset hook and an open-handle counter, so that
// Reset() and OpenHandleCount() cover whatever the test binary links in.
#pragma once

#include <hostwin/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace hostwin {

struct Call {
  std::string fn;    // "RegOpenKeyExA"
  std::string args;  // the arguments that matter, e.g. "HKLM\\Software\\Travenne"
};

// Back to a fresh machine: every area cleared, no calls recorded, no faults
// planned, last error 0.
void Reset();

// Calls recorded since the last Reset() or ClearCalls().
const std::vector<Call>& Calls();
std::vector<Call> CallsOf(const std::string& fn);
std::size_t CallCount(const std::string& fn);
// Calls whose function name starts with prefix ("Reg" for the whole registry).
std::size_t CallCountMatching(const std::string& prefix);
void ClearCalls();

// Fault plan; calls are counted from the moment the plan is made. A failing
// close (RegCloseKey, CloseHandle, ...) still releases its handle. The failing call returns its function's failure value and, where
// the function reports through GetLastError, sets error as the last error;
// registry functions return error itself.
void FailNth(const std::string& fn, std::size_t n, DWORD error);        // the nth call of fn, 1-based
void FailAll(const std::string& fn, DWORD error);                       // every call of fn
void FailNthMatching(const std::string& prefix, std::size_t n, DWORD error);  // the nth call of any fn with prefix
void ClearFaults();

// Handles of every area that are open now (keys, service handles, files, ...).
std::size_t OpenHandleCount();
std::string DescribeOpenHandles();

// System facts.
void SetSystemDirectory(const std::string& dir);   // default "C:\\WINDOWS\\system32"
void SetWindowsDirectory(const std::string& dir);  // default "C:\\WINDOWS"
void SetLogicalDrives(DWORD mask);                 // default C: only

namespace detail {
// Called first by each simulated function. Returns true when the fault plan
// makes this call fail, with the error to report in *error.
bool Enter(const char* fn, std::string args, DWORD* error);

struct Area {
  const char* name;
  void (*reset)();
  std::size_t (*openHandles)();
  std::string (*describeOpen)();
};
// Registers an area; use from a static initialiser in the area's source file.
// The area is reset once right away.
bool RegisterArea(const Area& area);

// Kernel object handles (files, devices) shared by every area: CloseHandle
// finds the object here and calls its onClose. The handles are counted by
// OpenHandleCount() under "kernel objects".
HANDLE NewKernelHandle(const std::string& what, void (*onClose)(HANDLE, void*), void* context);
// The description given at creation, or nullptr for an unknown handle.
const std::string* KernelHandle(HANDLE h);
}  // namespace detail

// ---- registry ----
namespace registry {

struct Value {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// Paths are "HKLM\\Software\\Travenne" style: root abbreviation (HKLM, HKCR,
// HKCU, HKU) or full root name, then the subkey path. Names are compared
// without regard to case.
bool CreateKey(const std::string& path, bool isVolatile = false);
bool KeyExists(const std::string& path);
bool IsVolatile(const std::string& path);
bool DeleteTree(const std::string& path);
std::vector<std::string> SubKeys(const std::string& path);
std::vector<std::string> ValueNames(const std::string& path);

// Creates missing keys on the way.
void SetValue(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& data);
void SetString(const std::string& path, const std::string& name, const std::string& text, bool withTerminator = true);
void SetDword(const std::string& path, const std::string& name, DWORD value);
// UTF-16LE text of 8-bit characters as REG_BINARY, as Windows keeps mounted devices.
void SetWideBinary(const std::string& path, const std::string& name, const std::string& text);

bool HasValue(const std::string& path, const std::string& name);
// Value exactly as stored, or nullptr.
const Value* GetValue(const std::string& path, const std::string& name);
// Stored bytes as text, any trailing zero bytes dropped.
std::string GetString(const std::string& path, const std::string& name);

// Drops every volatile key, as a restart of the system does.
void Restart();

}  // namespace registry

// ---- service control manager ----
namespace services {

struct Config {
  std::string name;
  std::string displayName;
  DWORD type = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::string imagePath;
  bool hasLoadOrderGroup = false;
  bool hasDependencies = false;
  bool wantsTag = false;
  std::string account;   // empty: LocalSystem
  bool hasPassword = false;
  bool markedForDelete = false;
};

bool Exists(const std::string& name);
const Config* Find(const std::string& name);
void Add(const Config& config);
// OpenSCManagerA fails with this error while set (0: it opens).
void SetManagerOpenError(DWORD error);

}  // namespace services

}  // namespace hostwin

#include <memory>

namespace hostwin {

// ---- devices: "\\.\NAME" opened with CreateFileA ----
namespace devices {

// A simulated driver. Tests derive from it (or use ScriptedDevice) and install
// it under its name; CreateFileA of that name opens a kernel handle to it.
class Device {
 public:
  virtual ~Device() = default;
  // CreateFileA of the device: return ERROR_SUCCESS to open, or the error the
  // caller's GetLastError() then reports.
  virtual DWORD Open(DWORD access, DWORD share, DWORD disposition, DWORD flags);
  virtual void Close() {}
  // DeviceIoControl on an open handle. Return false with *error set to fail.
  // out and in are exactly the caller's pointers and sizes.
  virtual bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
                       DWORD* error) = 0;
};

// name as the program writes it, e.g. "\\\\.\\ZELTA"; compared without regard to case.
void Install(const std::string& name, std::shared_ptr<Device> device);
void Remove(const std::string& name);

// A driver that replays a script: each request must match the next expected
// one (control code, input bytes, output buffer size); it then answers with
// the scripted result, output bytes and byte count. Anything out of order,
// unexpected or left over is a problem the test asserts on with Problems().
class ScriptedDevice : public Device {
 public:
  struct Step {
    DWORD code = 0;
    std::vector<BYTE> input;
    DWORD outSize = 0;
    bool succeed = true;
    std::vector<BYTE> output;   // written to the caller's buffer (at most outSize bytes)
    DWORD bytesReturned = 0;
    DWORD error = ERROR_GEN_FAILURE;  // when !succeed
  };
  // Appends a step; returns it for further setting.
  Step& Expect(DWORD code, std::vector<BYTE> input, DWORD outSize);
  // Open fails with this error while set (0: opens).
  void RefuseOpen(DWORD error) { openError_ = error; }

  DWORD Open(DWORD access, DWORD share, DWORD disposition, DWORD flags) override;
  void Close() override { ++closes_; }
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned,
               DWORD* error) override;

  // Requests that did not match, plus the steps never reached. Empty: the
  // program did exactly what the script says.
  std::vector<std::string> Problems() const;
  std::size_t Opens() const { return opens_; }
  std::size_t Closes() const { return closes_; }
  std::size_t StepsDone() const { return next_; }

 private:
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  std::vector<std::string> problems_;
  DWORD openError_ = 0;
  std::size_t opens_ = 0;
  std::size_t closes_ = 0;
};

}  // namespace devices
}  // namespace hostwin

// ---- SetupAPI device interfaces ----
namespace hostwin {
namespace setupapi {

// Adds a device interface of the class interfaceClass to the machine. Sets
// list the interfaces of their class in the order they were added; one whose
// device is not present is left out of DIGCF_PRESENT sets.
void AddInterface(const GUID& interfaceClass, const std::string& devicePath, bool present = true);
std::size_t InterfaceCount();

}  // namespace setupapi
}  // namespace hostwin
