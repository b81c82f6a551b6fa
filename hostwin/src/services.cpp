// The service control manager: a database of services by name (compared
// without regard to case), manager and service handles, and deletion that
// takes effect when the last handle to a marked service is closed.
#include <windows.h>
#include <hostwin/control.h>

#include "names.h"

#include <cctype>
#include <map>

namespace hostwin {
namespace {

using detail::Lower;

struct ScHandle {
  bool manager = false;
  std::string service;  // lower-case name, for service handles
};

struct Scm {
  std::map<std::string, services::Config> db;
  std::map<SC_HANDLE, ScHandle> handles;
  std::uintptr_t next = 0x5c000;
  DWORD openError = 0;
};

Scm& scm() {
  static Scm s;
  return s;
}

void ResetScm() {
  scm().db.clear();
  scm().handles.clear();
  scm().openError = 0;
}

std::size_t OpenScHandles() { return scm().handles.size(); }

std::string DescribeScHandles() {
  std::string out;
  for (const auto& h : scm().handles) out += (h.second.manager ? std::string("manager") : h.second.service) + "; ";
  return out;
}

[[maybe_unused]] const bool registered =
    detail::RegisterArea({"services", ResetScm, OpenScHandles, DescribeScHandles});

SC_HANDLE NewHandle(bool manager, const std::string& service) {
  SC_HANDLE h = reinterpret_cast<SC_HANDLE>(scm().next);
  scm().next += 4;
  scm().handles[h] = ScHandle{manager, service};
  return h;
}

const ScHandle* Find(SC_HANDLE h) {
  auto it = scm().handles.find(h);
  return it == scm().handles.end() ? nullptr : &it->second;
}

bool IsManager(SC_HANDLE h) {
  const ScHandle* handle = Find(h);
  return handle != nullptr && handle->manager;
}

std::string Text(LPCSTR s) { return s ? s : "(null)"; }

}  // namespace

namespace services {

bool Exists(const std::string& name) { return scm().db.count(Lower(name)) != 0; }

const Config* Find(const std::string& name) {
  auto it = scm().db.find(Lower(name));
  return it == scm().db.end() ? nullptr : &it->second;
}

void Add(const Config& config) { scm().db[Lower(config.name)] = config; }
void SetManagerOpenError(DWORD error) { scm().openError = error; }

}  // namespace services
}  // namespace hostwin

SC_HANDLE OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
  DWORD error = 0;
  if (hostwin::detail::Enter("OpenSCManagerA",
                             hostwin::Text(lpMachineName) + "|" + hostwin::Text(lpDatabaseName) + "|" +
                                 std::to_string(dwDesiredAccess),
                             &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (hostwin::scm().openError != 0) {
    SetLastError(hostwin::scm().openError);
    return nullptr;
  }
  return hostwin::NewHandle(true, "");
}

SC_HANDLE CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName, DWORD dwDesiredAccess,
                         DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                         LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                         LPCSTR lpServiceStartName, LPCSTR lpPassword) {
  DWORD error = 0;
  if (hostwin::detail::Enter("CreateServiceA",
                             hostwin::Text(lpServiceName) + "|" + hostwin::Text(lpBinaryPathName) + "|" +
                                 std::to_string(dwDesiredAccess),
                             &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (!hostwin::IsManager(hSCManager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (lpServiceName == nullptr || *lpServiceName == 0 || lpBinaryPathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const hostwin::services::Config* existing = hostwin::services::Find(lpServiceName);
  if (existing != nullptr) {
    SetLastError(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  hostwin::services::Config c;
  c.name = lpServiceName;
  c.displayName = lpDisplayName ? lpDisplayName : lpServiceName;
  c.type = dwServiceType;
  c.startType = dwStartType;
  c.errorControl = dwErrorControl;
  c.imagePath = lpBinaryPathName;
  c.hasLoadOrderGroup = lpLoadOrderGroup != nullptr;
  c.wantsTag = lpdwTagId != nullptr;
  c.hasDependencies = lpDependencies != nullptr;
  c.account = lpServiceStartName ? lpServiceStartName : "";
  c.hasPassword = lpPassword != nullptr;
  hostwin::services::Add(c);
  return hostwin::NewHandle(false, hostwin::Lower(c.name));
}

SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  DWORD error = 0;
  if (hostwin::detail::Enter("OpenServiceA", hostwin::Text(lpServiceName) + "|" + std::to_string(dwDesiredAccess),
                             &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (!hostwin::IsManager(hSCManager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (lpServiceName == nullptr || !hostwin::services::Exists(lpServiceName)) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return hostwin::NewHandle(false, hostwin::Lower(lpServiceName));
}

BOOL DeleteService(SC_HANDLE hService) {
  DWORD error = 0;
  const hostwin::ScHandle* h = hostwin::Find(hService);
  if (hostwin::detail::Enter("DeleteService", h ? h->service : "?", &error)) {
    SetLastError(error);
    return FALSE;
  }
  if (h == nullptr || h->manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  hostwin::services::Config& c = hostwin::scm().db[h->service];
  if (c.markedForDelete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  c.markedForDelete = true;
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  DWORD error = 0;
  const hostwin::ScHandle* h = hostwin::Find(hSCObject);
  const bool fail = hostwin::detail::Enter("CloseServiceHandle", h ? (h->manager ? "manager" : h->service) : "?", &error);
  if (h == nullptr) {
    SetLastError(fail ? error : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::string service = h->service;
  hostwin::scm().handles.erase(hSCObject);
  // A service marked for deletion goes once nobody holds it open.
  if (!service.empty()) {
    bool held = false;
    for (const auto& other : hostwin::scm().handles) held |= other.second.service == service;
    auto it = hostwin::scm().db.find(service);
    if (!held && it != hostwin::scm().db.end() && it->second.markedForDelete) hostwin::scm().db.erase(it);
  }
  if (fail) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
