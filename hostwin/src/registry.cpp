// The in-memory registry. Keys form a tree per root; key and value names keep
// the case they were created with and are compared without regard to case.
// HKEY_CLASSES_ROOT is the view of HKLM\Software\Classes, as on Windows.
#include <windows.h>
#include <hostwin/control.h>

#include "names.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HOSTWIN_HAS_ASAN 1
#endif
#endif
#ifndef HOSTWIN_HAS_ASAN
#define HOSTWIN_HAS_ASAN 0
#endif
#if defined(__SANITIZE_ADDRESS__) || HOSTWIN_HAS_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace hostwin {
namespace {

using detail::Lower;

struct Node {
  std::string path;  // "HKLM\\Software\\X", fixed at creation
  bool isVolatile = false;
  bool deleted = false;
  std::map<std::string, std::shared_ptr<Node>> children;                  // by lower-case name
  std::map<std::string, std::pair<std::string, registry::Value>> values;  // by lower-case name
  std::vector<std::string> childOrder;                                    // display names, creation order
};

struct Registry {
  std::shared_ptr<Node> hklm, hkcu, hku;
  std::map<HKEY, std::shared_ptr<Node>> handles;
  std::uintptr_t nextHandle = 0x1000;
};

Registry& reg() {
  static Registry r;
  return r;
}

void ResetRegistry() {
  Registry& r = reg();
  r.hklm = std::make_shared<Node>();
  r.hklm->path = "HKLM";
  r.hkcu = std::make_shared<Node>();
  r.hkcu->path = "HKCU";
  r.hku = std::make_shared<Node>();
  r.hku->path = "HKU";
  r.handles.clear();
}

std::size_t OpenKeys() { return reg().handles.size(); }

std::string DescribeKeys() {
  std::string out;
  for (const auto& h : reg().handles) out += h.second->path + "; ";
  return out;
}

[[maybe_unused]] const bool registered = detail::RegisterArea({"registry", ResetRegistry, OpenKeys, DescribeKeys});

std::vector<std::string> Split(const char* path) {
  std::vector<std::string> parts;
  if (path == nullptr) return parts;
  std::string part;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += *p;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::shared_ptr<Node> Child(const std::shared_ptr<Node>& node, const std::string& name) {
  auto it = node->children.find(Lower(name));
  return it == node->children.end() ? nullptr : it->second;
}

std::shared_ptr<Node> AddChild(const std::shared_ptr<Node>& parent, const std::string& name, bool isVolatile) {
  auto node = std::make_shared<Node>();
  node->path = parent->path + "\\" + name;
  node->isVolatile = isVolatile;
  parent->children[Lower(name)] = node;
  parent->childOrder.push_back(name);
  return node;
}

std::shared_ptr<Node> ClassesRoot(bool create) {
  std::shared_ptr<Node> software = Child(reg().hklm, "Software");
  if (!software) {
    if (!create) return nullptr;
    software = AddChild(reg().hklm, "Software", false);
  }
  std::shared_ptr<Node> classes = Child(software, "Classes");
  if (!classes && create) classes = AddChild(software, "Classes", false);
  return classes;
}

// The node a handle stands for; nullptr for an unknown handle. A predefined
// root that does not exist yet (HKCR on an empty machine) is created.
std::shared_ptr<Node> Resolve(HKEY key) {
  Registry& r = reg();
  if (key == HKEY_LOCAL_MACHINE) return r.hklm;
  if (key == HKEY_CURRENT_USER) return r.hkcu;
  if (key == HKEY_USERS) return r.hku;
  if (key == HKEY_CLASSES_ROOT) return ClassesRoot(true);
  auto it = r.handles.find(key);
  return it == r.handles.end() ? nullptr : it->second;
}

std::string Describe(HKEY key, const char* sub) {
  std::shared_ptr<Node> node = Resolve(key);
  std::string out = node ? node->path : "?";
  if (key == HKEY_CLASSES_ROOT) out = "HKCR";
  if (sub != nullptr && *sub) out += std::string("\\") + sub;
  return out;
}

HKEY NewHandle(const std::shared_ptr<Node>& node) {
  Registry& r = reg();
  HKEY h = reinterpret_cast<HKEY>(r.nextHandle);
  r.nextHandle += 4;
  r.handles[h] = node;
  return h;
}

std::shared_ptr<Node> Walk(std::shared_ptr<Node> node, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    if (!node) break;
    node = Child(node, part);
  }
  return node;
}

// The node of a control-API path such as "HKLM\\Software\\X".
std::shared_ptr<Node> NodeOf(const std::string& path, bool create, bool isVolatile = false) {
  std::vector<std::string> parts = Split(path.c_str());
  if (parts.empty()) return nullptr;
  const std::string root = Lower(parts.front());
  parts.erase(parts.begin());
  std::shared_ptr<Node> node;
  if (root == "hklm" || root == "hkey_local_machine") node = reg().hklm;
  else if (root == "hkcu" || root == "hkey_current_user") node = reg().hkcu;
  else if (root == "hku" || root == "hkey_users") node = reg().hku;
  else if (root == "hkcr" || root == "hkey_classes_root") node = ClassesRoot(create);
  for (const std::string& part : parts) {
    if (!node) return nullptr;
    std::shared_ptr<Node> next = Child(node, part);
    if (!next && create) next = AddChild(node, part, isVolatile);
    node = next;
  }
  return node;
}

// Whether one byte may be read without touching memory the program does not
// own. The Linux builds always run under AddressSanitizer, which knows.
bool Addressable(const BYTE* p) {
#if defined(__SANITIZE_ADDRESS__) || HOSTWIN_HAS_ASAN
  return __asan_region_is_poisoned(const_cast<BYTE*>(p), 1) == nullptr;
#else
  (void)p;
  return false;
#endif
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

void Remove(const std::shared_ptr<Node>& parent, const std::string& name) {
  const std::string key = Lower(name);
  std::shared_ptr<Node> child = parent->children[key];
  parent->children.erase(key);
  auto& order = parent->childOrder;
  order.erase(std::remove_if(order.begin(), order.end(), [&](const std::string& n) { return Lower(n) == key; }),
              order.end());
  // Handles still open on the key see it as deleted.
  std::vector<std::shared_ptr<Node>> stack{child};
  while (!stack.empty()) {
    std::shared_ptr<Node> n = stack.back();
    stack.pop_back();
    n->deleted = true;
    for (auto& c : n->children) stack.push_back(c.second);
  }
}

void DropVolatile(const std::shared_ptr<Node>& node) {
  std::vector<std::string> gone;
  for (auto& c : node->children) {
    if (c.second->isVolatile) gone.push_back(c.first);
    else DropVolatile(c.second);
  }
  for (const std::string& name : gone) Remove(node, name);
}

LONG OpenKey(const char* fn, HKEY key, LPCSTR sub, PHKEY result) {
  DWORD error = 0;
  if (detail::Enter(fn, Describe(key, sub), &error)) return static_cast<LONG>(error);
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Node> base = Resolve(key);
  if (!base) return ERROR_INVALID_HANDLE;
  if (base->deleted) return ERROR_KEY_DELETED;
  std::shared_ptr<Node> node = Walk(base, Split(sub));
  if (!node) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(node);
  return ERROR_SUCCESS;
}

}  // namespace

namespace registry {

bool CreateKey(const std::string& path, bool isVolatile) { return NodeOf(path, true, isVolatile) != nullptr; }
bool KeyExists(const std::string& path) { return NodeOf(path, false) != nullptr; }

bool IsVolatile(const std::string& path) {
  std::shared_ptr<Node> node = NodeOf(path, false);
  return node && node->isVolatile;
}

bool DeleteTree(const std::string& path) {
  std::vector<std::string> parts = Split(path.c_str());
  if (parts.size() < 2) return false;
  const std::string name = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const std::string& p : parts) parentPath += p + "\\";
  std::shared_ptr<Node> parent = NodeOf(parentPath, false);
  if (!parent || !Child(parent, name)) return false;
  Remove(parent, name);
  return true;
}

std::vector<std::string> SubKeys(const std::string& path) {
  std::shared_ptr<Node> node = NodeOf(path, false);
  return node ? node->childOrder : std::vector<std::string>{};
}

std::vector<std::string> ValueNames(const std::string& path) {
  std::vector<std::string> out;
  std::shared_ptr<Node> node = NodeOf(path, false);
  if (node)
    for (const auto& v : node->values) out.push_back(v.second.first);
  return out;
}

void SetValue(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  std::shared_ptr<Node> node = NodeOf(path, true);
  Value v;
  v.type = type;
  v.data = data;
  v.written = static_cast<DWORD>(data.size());
  node->values[Lower(name)] = {name, v};
}

void SetString(const std::string& path, const std::string& name, const std::string& text, bool withTerminator) {
  std::vector<BYTE> data(text.begin(), text.end());
  if (withTerminator) data.push_back(0);
  SetValue(path, name, REG_SZ, data);
}

void SetDword(const std::string& path, const std::string& name, DWORD value) {
  std::vector<BYTE> data(4);
  std::memcpy(data.data(), &value, 4);
  SetValue(path, name, REG_DWORD, data);
}

void SetWideBinary(const std::string& path, const std::string& name, const std::string& text) {
  std::vector<BYTE> data;
  for (char ch : text) {
    data.push_back(static_cast<BYTE>(ch));
    data.push_back(0);
  }
  SetValue(path, name, REG_BINARY, data);
}

const Value* GetValue(const std::string& path, const std::string& name) {
  std::shared_ptr<Node> node = NodeOf(path, false);
  if (!node) return nullptr;
  auto it = node->values.find(Lower(name));
  return it == node->values.end() ? nullptr : &it->second.second;
}

bool HasValue(const std::string& path, const std::string& name) { return GetValue(path, name) != nullptr; }

std::string GetString(const std::string& path, const std::string& name) {
  const Value* v = GetValue(path, name);
  if (v == nullptr) return "";
  std::string s(v->data.begin(), v->data.end());
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

void Restart() {
  for (const auto& root : {reg().hklm, reg().hkcu, reg().hku}) DropVolatile(root);
}

}  // namespace registry
}  // namespace hostwin

using hostwin::Node;

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return hostwin::OpenKey("RegOpenKeyA", hKey, lpSubKey, phkResult);
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  return hostwin::OpenKey("RegOpenKeyExA", hKey, lpSubKey, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  DWORD error = 0;
  const bool isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
  if (hostwin::detail::Enter("RegCreateKeyExA",
                             hostwin::Describe(hKey, lpSubKey) + (isVolatile ? " volatile" : ""), &error))
    return static_cast<LONG>(error);
  if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Node> node = hostwin::Resolve(hKey);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  for (const std::string& part : hostwin::Split(lpSubKey)) {
    std::shared_ptr<Node> next = hostwin::Child(node, part);
    if (!next) {
      // A key that survives a restart cannot hang below one that does not.
      if (node->isVolatile && !isVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
      next = hostwin::AddChild(node, part, isVolatile);
      disposition = REG_CREATED_NEW_KEY;
    }
    node = next;
  }
  *phkResult = hostwin::NewHandle(node);
  if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  DWORD error = 0;
  const std::string name = lpValueName ? lpValueName : "";
  if (hostwin::detail::Enter("RegQueryValueExA", hostwin::Describe(hKey, nullptr) + "|" + name, &error))
    return static_cast<LONG>(error);
  std::shared_ptr<Node> node = hostwin::Resolve(hKey);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  auto it = node->values.find(hostwin::Lower(name));
  if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
  const hostwin::registry::Value& v = it->second.second;
  const std::vector<BYTE>& data = v.data;
  const DWORD size = static_cast<DWORD>(data.size());
  if (lpType != nullptr) *lpType = v.type;
  if (lpData == nullptr) {
    if (lpcbData != nullptr) *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size != 0) std::memcpy(lpData, data.data(), size);
  // A string stored without its terminator gets one when the buffer has room
  // for it; the size reported stays that of the stored bytes.
  if (hostwin::IsStringType(v.type) && size != 0 && data.back() != 0 && *lpcbData > size) lpData[size] = 0;
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  DWORD error = 0;
  const std::string name = lpValueName ? lpValueName : "";
  if (hostwin::detail::Enter("RegSetValueExA",
                             hostwin::Describe(hKey, nullptr) + "|" + name + "|" + std::to_string(cbData), &error))
    return static_cast<LONG>(error);
  std::shared_ptr<Node> node = hostwin::Resolve(hKey);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  hostwin::registry::Value v;
  v.type = dwType;
  if (cbData != 0) v.data.assign(lpData, lpData + cbData);
  v.written = cbData;
  // Windows keeps strings as UTF-16 and converts through the caller's byte
  // after the count: a string whose count stops right before a NUL is stored
  // with that NUL, so "1" written with a count of 1 reads back as 2 bytes. The
  // byte is looked at only where it is addressable memory, as it is on Windows.
  if (hostwin::IsStringType(dwType) && cbData != 0 && lpData[cbData - 1] != 0 &&
      hostwin::Addressable(lpData + cbData) && lpData[cbData] == 0)
    v.data.push_back(0);
  node->values[hostwin::Lower(name)] = {name, v};
  return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  DWORD error = 0;
  const std::string name = lpValueName ? lpValueName : "";
  if (hostwin::detail::Enter("RegDeleteValueA", hostwin::Describe(hKey, nullptr) + "|" + name, &error))
    return static_cast<LONG>(error);
  std::shared_ptr<Node> node = hostwin::Resolve(hKey);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (node->values.erase(hostwin::Lower(name)) == 0) return ERROR_FILE_NOT_FOUND;
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  DWORD error = 0;
  if (hostwin::detail::Enter("RegDeleteKeyA", hostwin::Describe(hKey, lpSubKey), &error))
    return static_cast<LONG>(error);
  std::shared_ptr<Node> base = hostwin::Resolve(hKey);
  if (!base) return ERROR_INVALID_HANDLE;
  if (base->deleted) return ERROR_KEY_DELETED;
  std::vector<std::string> parts = hostwin::Split(lpSubKey);
  if (parts.empty()) return ERROR_INVALID_PARAMETER;
  const std::string last = parts.back();
  parts.pop_back();
  std::shared_ptr<Node> parent = hostwin::Walk(base, parts);
  std::shared_ptr<Node> node = parent ? hostwin::Child(parent, last) : nullptr;
  if (!node) return ERROR_FILE_NOT_FOUND;
  // Windows NT deletes only a key without subkeys.
  if (!node->children.empty()) return ERROR_ACCESS_DENIED;
  hostwin::Remove(parent, last);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  DWORD error = 0;
  const bool fail = hostwin::detail::Enter("RegCloseKey", hostwin::Describe(hKey, nullptr), &error);
  if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_USERS || hKey == HKEY_CLASSES_ROOT)
    return fail ? static_cast<LONG>(error) : ERROR_SUCCESS;
  // A close that reports failure has still let the handle go.
  const bool known = hostwin::reg().handles.erase(hKey) != 0;
  if (fail) return static_cast<LONG>(error);
  return known ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
