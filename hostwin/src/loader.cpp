// LoadLibraryA, GetProcAddress and FreeLibrary over the system DLLs that the
// world simulates. Only shell32.dll is known; it exports SHUpdateImageA, which
// records its calls.
#include <windows.h>
#include <hostwin/control.h>

#include "names.h"

#include <cctype>
#include <cstdio>
#include <map>

namespace hostwin {
namespace {

void WINAPI FakeSHUpdateImageA(LPCSTR pszHashItem, int iIndex, UINT uFlags, int iImageIndex) {
  DWORD error = 0;
  char args[64];
  std::snprintf(args, sizeof(args), "|%d|%u|%d", iIndex, static_cast<unsigned>(uFlags), iImageIndex);
  detail::Enter("SHUpdateImageA", std::string(pszHashItem ? pszHashItem : "(null)") + args, &error);
}

struct Export {
  std::string name;
  WORD ordinal;
  FARPROC proc;
  bool byName = true;
  bool byOrdinal = true;
};

struct Module {
  std::string name;  // lower case, with ".dll"
  HMODULE handle;
  std::vector<Export> exports;
  std::size_t refs = 0;
  bool missing = false;
};

struct Loader {
  std::map<std::string, Module> modules;
};

Loader& ldr() {
  static Loader l;
  return l;
}

using detail::Lower;

// "C:\WINDOWS\SYSTEM\Shell32" and "shell32.DLL" both name shell32.dll.
std::string ModuleKey(const std::string& path) {
  std::string name = Lower(path.substr(path.find_last_of("\\/") == std::string::npos ? 0 : path.find_last_of("\\/") + 1));
  if (name.find('.') == std::string::npos) name += ".dll";
  return name;
}

void ResetLoader() {
  Loader& l = ldr();
  l.modules.clear();
  Module shell32;
  shell32.name = "shell32.dll";
  shell32.handle = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x7fd00000));
  shell32.exports.push_back(
      Export{"SHUpdateImageA", 191, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeSHUpdateImageA)), true, true});
  l.modules[shell32.name] = shell32;
}

std::size_t LoadedModules() {
  std::size_t n = 0;
  for (const auto& m : ldr().modules) n += m.second.refs;
  return n;
}

std::string DescribeModules() {
  std::string out;
  for (const auto& m : ldr().modules)
    if (m.second.refs != 0) out += m.second.name + " x" + std::to_string(m.second.refs) + "; ";
  return out;
}

[[maybe_unused]] const bool registered = detail::RegisterArea({"loader", ResetLoader, LoadedModules, DescribeModules});

Module* ByHandle(HMODULE h) {
  for (auto& m : ldr().modules)
    if (m.second.handle == h) return &m.second;
  return nullptr;
}

}  // namespace

namespace loader {

void SetExport(const std::string& module, const std::string& name, bool byName, bool byOrdinal) {
  auto it = ldr().modules.find(ModuleKey(module));
  if (it == ldr().modules.end()) return;
  for (Export& e : it->second.exports)
    if (e.name == name) {
      e.byName = byName;
      e.byOrdinal = byOrdinal;
    }
}

void SetMissing(const std::string& module, bool missing) {
  auto it = ldr().modules.find(ModuleKey(module));
  if (it != ldr().modules.end()) it->second.missing = missing;
}

std::size_t LoadedCount(const std::string& module) {
  auto it = ldr().modules.find(ModuleKey(module));
  return it == ldr().modules.end() ? 0 : it->second.refs;
}

}  // namespace loader
}  // namespace hostwin

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
  DWORD error = 0;
  const std::string name = lpLibFileName ? lpLibFileName : "";
  if (hostwin::detail::Enter("LoadLibraryA", name, &error)) {
    SetLastError(error);
    return nullptr;
  }
  auto it = hostwin::ldr().modules.find(hostwin::ModuleKey(name));
  if (it == hostwin::ldr().modules.end() || it->second.missing) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++it->second.refs;
  return it->second.handle;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  DWORD error = 0;
  hostwin::Module* m = hostwin::ByHandle(hModule);
  const bool byOrdinal = IS_INTRESOURCE(lpProcName);
  const WORD ordinal = byOrdinal ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(lpProcName)) : 0;
  std::string what = (m ? m->name : std::string("?")) + "|";
  what += byOrdinal ? "#" + std::to_string(ordinal) : std::string(lpProcName);
  if (hostwin::detail::Enter("GetProcAddress", what, &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (m == nullptr || m->refs == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  for (const hostwin::Export& e : m->exports) {
    if (byOrdinal ? (e.byOrdinal && e.ordinal == ordinal) : (e.byName && e.name == lpProcName)) return e.proc;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  DWORD error = 0;
  hostwin::Module* m = hostwin::ByHandle(hLibModule);
  const bool fail = hostwin::detail::Enter("FreeLibrary", m ? m->name : "?", &error);
  if (m == nullptr || m->refs == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  --m->refs;
  if (fail) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
