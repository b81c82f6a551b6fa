// The world's bookkeeping: recorded calls, the fault plan, the areas that make
// up the world, last error and the system's directories.
#include <windows.h>
#include <hostwin/control.h>

#include <cstring>
#include <map>

namespace hostwin {
namespace {

struct Fault {
  std::string name;  // function name, or prefix when matching
  bool matching = false;
  bool every = false;
  std::size_t n = 0;
  std::size_t seen = 0;
  DWORD error = 0;
};

struct KernelObject {
  std::string what;
  void (*onClose)(HANDLE, void*);
  void* context;
};

struct Core {
  std::map<HANDLE, KernelObject> objects;
  std::uintptr_t nextObject = 0x40000;
  std::vector<Call> calls;
  std::map<std::string, std::size_t> counts;
  std::vector<Fault> faults;
  std::vector<detail::Area> areas;
  DWORD lastError = 0;
  std::string systemDir = "C:\\WINDOWS\\system32";
  std::string windowsDir = "C:\\WINDOWS";
  DWORD drives = 1u << 2;
};

Core& core() {
  static Core c;
  return c;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

UINT CopyDirectory(const char* fn, const std::string& dir, LPSTR buffer, UINT size) {
  DWORD error = 0;
  if (detail::Enter(fn, std::to_string(size), &error)) {
    SetLastError(error);
    return 0;
  }
  const UINT length = static_cast<UINT>(dir.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, dir.c_str(), length + 1);
  return length;
}

}  // namespace

namespace detail {

bool Enter(const char* fn, std::string args, DWORD* error) {
  Core& c = core();
  c.calls.push_back(Call{fn, std::move(args)});
  const std::size_t n = ++c.counts[fn];
  bool fail = false;
  for (Fault& f : c.faults) {
    if (f.matching) {
      if (!StartsWith(fn, f.name)) continue;
      if (++f.seen == f.n && !fail) {
        fail = true;
        *error = f.error;
      }
    } else if (f.name == fn && (f.every || f.n == n) && !fail) {
      fail = true;
      *error = f.error;
    }
  }
  return fail;
}

HANDLE NewKernelHandle(const std::string& what, void (*onClose)(HANDLE, void*), void* context) {
  Core& c = core();
  HANDLE h = reinterpret_cast<HANDLE>(c.nextObject);
  c.nextObject += 4;
  c.objects[h] = KernelObject{what, onClose, context};
  return h;
}

const std::string* KernelHandle(HANDLE h) {
  auto it = core().objects.find(h);
  return it == core().objects.end() ? nullptr : &it->second.what;
}

DWORD LogicalDrives() { return core().drives; }

bool RegisterArea(const Area& area) {
  core().areas.push_back(area);
  area.reset();
  return true;
}

}  // namespace detail

void Reset() {
  Core& c = core();
  for (const detail::Area& a : c.areas) a.reset();
  c.objects.clear();
  c.calls.clear();
  c.counts.clear();
  c.faults.clear();
  c.lastError = 0;
  c.systemDir = "C:\\WINDOWS\\system32";
  c.windowsDir = "C:\\WINDOWS";
  c.drives = 1u << 2;
}

const std::vector<Call>& Calls() { return core().calls; }

std::vector<Call> CallsOf(const std::string& fn) {
  std::vector<Call> out;
  for (const Call& call : core().calls)
    if (call.fn == fn) out.push_back(call);
  return out;
}

std::size_t CallCount(const std::string& fn) {
  std::size_t n = 0;
  for (const Call& call : core().calls) n += call.fn == fn;
  return n;
}

std::size_t CallCountMatching(const std::string& prefix) {
  std::size_t n = 0;
  for (const Call& call : core().calls) n += StartsWith(call.fn, prefix);
  return n;
}

void ClearCalls() { core().calls.clear(); }

void FailNth(const std::string& fn, std::size_t n, DWORD error) {
  Fault f;
  f.name = fn;
  f.n = core().counts[fn] + n;  // counted from now on, like the other plans
  f.error = error;
  core().faults.push_back(f);
}

void FailAll(const std::string& fn, DWORD error) {
  Fault f;
  f.name = fn;
  f.every = true;
  f.error = error;
  core().faults.push_back(f);
}

void FailNthMatching(const std::string& prefix, std::size_t n, DWORD error) {
  Fault f;
  f.name = prefix;
  f.matching = true;
  f.n = n;
  f.error = error;
  core().faults.push_back(f);
}

void ClearFaults() { core().faults.clear(); }

std::size_t OpenHandleCount() {
  std::size_t n = core().objects.size();
  for (const detail::Area& a : core().areas) n += a.openHandles();
  return n;
}

std::string DescribeOpenHandles() {
  std::string out;
  for (const auto& o : core().objects) out += "kernel object: " + o.second.what + "\n";
  for (const detail::Area& a : core().areas) {
    if (a.openHandles() == 0) continue;
    out += a.name;
    out += ": ";
    out += a.describeOpen();
    out += "\n";
  }
  return out;
}

void SetSystemDirectory(const std::string& dir) { core().systemDir = dir; }
void SetWindowsDirectory(const std::string& dir) { core().windowsDir = dir; }
void SetLogicalDrives(DWORD mask) { core().drives = mask; }

}  // namespace hostwin

DWORD GetLastError() { return hostwin::core().lastError; }
void SetLastError(DWORD error) { hostwin::core().lastError = error; }

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return hostwin::CopyDirectory("GetSystemDirectoryA", hostwin::core().systemDir, lpBuffer, uSize);
}

UINT GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return hostwin::CopyDirectory("GetWindowsDirectoryA", hostwin::core().windowsDir, lpBuffer, uSize);
}

DWORD GetLogicalDrives() {
  DWORD error = 0;
  if (hostwin::detail::Enter("GetLogicalDrives", "", &error)) {
    SetLastError(error);
    return 0;
  }
  return hostwin::core().drives;
}

BOOL CloseHandle(HANDLE hObject) {
  DWORD error = 0;
  auto& objects = hostwin::core().objects;
  auto it = objects.find(hObject);
  const bool fail = hostwin::detail::Enter("CloseHandle", it == objects.end() ? "?" : it->second.what, &error);
  if (it == objects.end()) {
    SetLastError(fail ? error : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A close that reports failure has still let the handle go.
  hostwin::KernelObject object = it->second;
  objects.erase(it);
  if (object.onClose != nullptr) object.onClose(hObject, object.context);
  if (fail) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
