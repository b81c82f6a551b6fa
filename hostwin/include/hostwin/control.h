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
