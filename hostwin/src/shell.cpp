// The shell as the icon programs meet it: the task allocator, the desktop
// folder, My Computer with one item per drive, icon extraction and
// SHGetFileInfoA. Every object counts its references; objects and
// allocations still alive count as open handles, so a test sees a leak.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <hostwin/control.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace hostwin {
namespace {

constexpr IID kIidShellFolder = {0x000214E6, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidExtractIconA = {0x000214EB, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool SameIid(const IID& a, const IID& b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }

std::string IidName(const IID& iid) {
  if (SameIid(iid, kIidShellFolder)) return "IID_IShellFolder";
  if (SameIid(iid, kIidExtractIconA)) return "IID_IExtractIconA";
  if (SameIid(iid, kIidUnknown)) return "IID_IUnknown";
  char b[48];
  std::snprintf(b, sizeof(b), "{%08x-...}", static_cast<unsigned>(iid.Data1));
  return b;
}

// Item id lists made here: one SHITEMID of 4 bytes (cb, kind, letter) and the
// two-byte terminator.
constexpr BYTE kKindMyComputer = 0x1F;
constexpr BYTE kKindDrive = 0x2F;

struct IconLocation {
  std::string file;
  int index;
  UINT flags;
};

// What every shell object is besides its interface, so that a reset can end
// objects a test left alive.
struct Tracked {
  virtual ~Tracked() = default;
};

struct Shell {
  std::map<void*, std::string> blocks;  // live allocations and what they hold
  std::set<Tracked*> objects;           // live objects
  std::map<char, bool> known;           // drive letters known or unknown regardless of GetLogicalDrives
  std::map<char, IconLocation> icons;
  std::map<char, int> imageIndex;
  std::vector<std::string> problems;
  ULONG mallocRefs = 0;
};

Shell& sh() {
  static Shell s;
  return s;
}

void FreeBlocks() {
  for (auto& b : sh().blocks) std::free(b.first);
  sh().blocks.clear();
}

std::size_t LiveShellHandles() { return sh().blocks.size() + sh().objects.size() + (sh().mallocRefs != 0); }

std::string DescribeShell() {
  std::string out;
  for (const auto& b : sh().blocks) out += "allocation (" + b.second + "); ";
  out += std::to_string(sh().objects.size()) + " objects";
  if (sh().mallocRefs != 0) out += "; allocator x" + std::to_string(sh().mallocRefs);
  return out;
}

void ResetShell();

[[maybe_unused]] const bool registered = detail::RegisterArea({"shell", ResetShell, LiveShellHandles, DescribeShell});

bool DriveKnown(char letter) {
  auto it = sh().known.find(letter);
  if (it != sh().known.end()) return it->second;
  return (detail::LogicalDrives() >> (letter - 'A')) & 1;
}

LPITEMIDLIST NewIdList(BYTE kind, char letter, const std::string& what) {
  BYTE* p = static_cast<BYTE*>(std::malloc(6));
  p[0] = 4;
  p[1] = 0;
  p[2] = kind;
  p[3] = static_cast<BYTE>(letter);
  p[4] = 0;
  p[5] = 0;
  sh().blocks[p] = what;
  return reinterpret_cast<LPITEMIDLIST>(p);
}

// kind and letter of an id list made here, or false.
bool ReadIdList(const ITEMIDLIST* pidl, BYTE* kind, char* letter) {
  auto it = sh().blocks.find(const_cast<ITEMIDLIST*>(pidl));
  if (it == sh().blocks.end()) return false;
  const BYTE* p = reinterpret_cast<const BYTE*>(pidl);
  *kind = p[2];
  *letter = static_cast<char>(p[3]);
  return true;
}

std::string Narrow(LPCWSTR w) {
  std::string out;
  for (; w != nullptr && *w; ++w) out += static_cast<char>(*w & 0xFF);
  return out;
}

// The icon the shell shows for a drive: a test's choice, else the DriveIcons
// entry, else the removable-drive icon of shell32.
IconLocation IconOf(char letter) {
  auto it = sh().icons.find(letter);
  if (it != sh().icons.end()) return it->second;
  const std::string key =
      std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons\\") + letter + "\\DefaultIcon";
  if (registry::HasValue(key, "")) {
    const std::string value = registry::GetString(key, "");
    const std::size_t comma = value.rfind(',');
    if (comma != std::string::npos) return IconLocation{value.substr(0, comma), std::atoi(value.c_str() + comma + 1), 0};
    return IconLocation{value, 0, 0};
  }
  return IconLocation{"C:\\WINDOWS\\SYSTEM\\SHELL32.DLL", 8, 0};
}

HRESULT Failure(DWORD error) {
  return error == 0 ? E_FAIL : static_cast<HRESULT>(0x80070000u | (error & 0xFFFF));
}

template <typename Interface>
class Object : public Interface, public Tracked {
 public:
  explicit Object(std::string name) : name_(std::move(name)) { sh().objects.insert(this); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    DWORD error = 0;
    detail::Enter((Prefix() + "QueryInterface").c_str(), IidName(riid), &error);
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    DWORD error = 0;
    detail::Enter((Prefix() + "Release").c_str(), name_, &error);
    if (refs_ == 0) {
      sh().problems.push_back("release of a dead " + name_);
      return 0;
    }
    const ULONG left = --refs_;
    if (left == 0) {
      sh().objects.erase(this);
      delete this;
    }
    return left;
  }

 protected:
  virtual std::string Prefix() const = 0;
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  ULONG refs_ = 1;
};

class ExtractIcon final : public Object<IExtractIconA> {
 public:
  explicit ExtractIcon(char letter) : Object(std::string("extractor of ") + letter + ":"), letter_(letter) {}

  HRESULT STDMETHODCALLTYPE GetIconLocation(UINT uFlags, LPSTR pszIconFile, UINT cchMax, int* piIndex,
                                            UINT* pwFlags) override {
    DWORD error = 0;
    char args[48];
    std::snprintf(args, sizeof(args), "%c:|%u|%u", letter_, static_cast<unsigned>(uFlags), static_cast<unsigned>(cchMax));
    if (detail::Enter("IExtractIconA::GetIconLocation", args, &error)) return Failure(error);
    if (pszIconFile == nullptr || cchMax == 0 || piIndex == nullptr || pwFlags == nullptr) return E_INVALIDARG;
    const IconLocation icon = IconOf(letter_);
    const std::size_t n = icon.file.size() < cchMax - 1 ? icon.file.size() : cchMax - 1;
    std::memcpy(pszIconFile, icon.file.data(), n);
    pszIconFile[n] = 0;
    *piIndex = icon.index;
    *pwFlags = icon.flags;
    return S_OK;
  }

 private:
  std::string Prefix() const override { return "IExtractIconA::"; }
  char letter_;
};

class Folder final : public Object<IShellFolder> {
 public:
  explicit Folder(bool desktop) : Object(desktop ? "desktop" : "My Computer"), desktop_(desktop) {}

  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR pszDisplayName, ULONG* pchEaten,
                                             PIDLIST_RELATIVE* ppidl, ULONG* pdwAttributes) override {
    DWORD error = 0;
    const std::string name = Narrow(pszDisplayName);
    if (ppidl != nullptr) *ppidl = nullptr;
    if (detail::Enter("IShellFolder::ParseDisplayName", Name() + "|" + name, &error)) return Failure(error);
    if (ppidl == nullptr || pszDisplayName == nullptr) return E_INVALIDARG;
    // My Computer parses "X:" and "X:\" of the drives it knows.
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name.empty() ? 0 : name[0])));
    const bool drivePath = !desktop_ && letter >= 'A' && letter <= 'Z' && name.size() >= 2 && name[1] == ':' &&
                           (name.size() == 2 || (name.size() == 3 && name[2] == '\\'));
    if (!drivePath || !DriveKnown(letter)) return Failure(ERROR_FILE_NOT_FOUND);
    *ppidl = NewIdList(kKindDrive, letter, std::string("item ") + letter + ":");
    if (pchEaten != nullptr) *pchEaten = static_cast<ULONG>(name.size());
    if (pdwAttributes != nullptr) *pdwAttributes = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE pidl, IBindCtx*, REFIID riid, void** ppv) override {
    DWORD error = 0;
    BYTE kind = 0;
    char letter = 0;
    const bool ours = pidl != nullptr && ReadIdList(pidl, &kind, &letter);
    const std::string what = !ours ? "?" : kind == kKindMyComputer ? "My Computer" : std::string("item ") + letter + ":";
    if (ppv != nullptr) *ppv = nullptr;
    if (detail::Enter("IShellFolder::BindToObject", Name() + "|" + what + "|" + IidName(riid), &error))
      return Failure(error);
    if (ppv == nullptr) return E_INVALIDARG;
    if (!desktop_ || !ours || kind != kKindMyComputer) return E_INVALIDARG;
    if (!SameIid(riid, kIidShellFolder)) return E_NOINTERFACE;
    *ppv = static_cast<IShellFolder*>(new Folder(false));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT cidl, PCUITEMID_CHILD_ARRAY, SFGAOF* rgfInOut) override {
    DWORD error = 0;
    char args[64];
    std::snprintf(args, sizeof(args), "%u|0x%08x", static_cast<unsigned>(cidl),
                  rgfInOut ? static_cast<unsigned>(*rgfInOut) : 0u);
    if (detail::Enter("IShellFolder::GetAttributesOf", Name() + "|" + args, &error)) return Failure(error);
    return rgfInOut == nullptr ? E_INVALIDARG : S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT cidl, PCUITEMID_CHILD_ARRAY apidl, REFIID riid, UINT*,
                                          void** ppv) override {
    DWORD error = 0;
    BYTE kind = 0;
    char letter = 0;
    const bool one = cidl == 1 && apidl != nullptr && apidl[0] != nullptr && ReadIdList(apidl[0], &kind, &letter) &&
                     kind == kKindDrive;
    if (ppv != nullptr) *ppv = nullptr;
    if (detail::Enter("IShellFolder::GetUIObjectOf",
                      Name() + "|" + std::to_string(cidl) + "|" + (one ? std::string(1, letter) + ":" : "?") + "|" +
                          IidName(riid),
                      &error))
      return Failure(error);
    if (ppv == nullptr || desktop_ || !one) return E_INVALIDARG;
    if (!SameIid(riid, kIidExtractIconA)) return E_NOINTERFACE;
    *ppv = static_cast<IExtractIconA*>(new ExtractIcon(letter));
    return S_OK;
  }

 private:
  std::string Prefix() const override { return "IShellFolder::"; }
  bool desktop_;
};

class TaskAllocator final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++sh().mallocRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    DWORD error = 0;
    detail::Enter("IMalloc::Release", "", &error);
    if (sh().mallocRefs == 0) {
      sh().problems.push_back("release of the allocator beyond its references");
      return 0;
    }
    return --sh().mallocRefs;
  }
  void STDMETHODCALLTYPE Free(void* pv) override {
    DWORD error = 0;
    auto it = sh().blocks.find(pv);
    detail::Enter("IMalloc::Free", pv == nullptr ? "(null)" : it == sh().blocks.end() ? "?" : it->second, &error);
    if (pv == nullptr) return;
    if (it == sh().blocks.end()) {
      sh().problems.push_back("free of a block the allocator never handed out");
      return;
    }
    std::free(pv);
    sh().blocks.erase(it);
  }
};

TaskAllocator& Allocator() {
  static TaskAllocator a;
  return a;
}

void ResetShell() {
  FreeBlocks();
  // Objects still alive belong to a test that leaked them (and failed).
  const std::set<Tracked*> left = sh().objects;
  for (Tracked* t : left) delete t;
  sh() = Shell();
}

}  // namespace

namespace shell {

void SetDriveKnown(char letter, bool known) { sh().known[letter] = known; }
void ForgetDriveOverrides() { sh().known.clear(); }
void SetIconLocation(char letter, const std::string& file, int index, UINT flags) {
  sh().icons[letter] = IconLocation{file, index, flags};
}
void SetSystemImageIndex(char letter, int index) { sh().imageIndex[letter] = index; }
std::size_t LiveAllocations() { return sh().blocks.size(); }
std::size_t LiveObjects() { return sh().objects.size(); }
std::vector<std::string> Problems() { return sh().problems; }

}  // namespace shell
}  // namespace hostwin

HRESULT SHGetMalloc(IMalloc** ppMalloc) {
  DWORD error = 0;
  if (ppMalloc != nullptr) *ppMalloc = nullptr;
  if (hostwin::detail::Enter("SHGetMalloc", "", &error)) return hostwin::Failure(error);
  if (ppMalloc == nullptr) return E_INVALIDARG;
  hostwin::Allocator().AddRef();
  *ppMalloc = &hostwin::Allocator();
  return S_OK;
}

HRESULT SHGetDesktopFolder(IShellFolder** ppshf) {
  DWORD error = 0;
  if (ppshf != nullptr) *ppshf = nullptr;
  if (hostwin::detail::Enter("SHGetDesktopFolder", "", &error)) return hostwin::Failure(error);
  if (ppshf == nullptr) return E_INVALIDARG;
  *ppshf = new hostwin::Folder(true);
  return S_OK;
}

HRESULT SHGetSpecialFolderLocation(HWND, int csidl, PIDLIST_ABSOLUTE* ppidl) {
  DWORD error = 0;
  if (ppidl != nullptr) *ppidl = nullptr;
  if (hostwin::detail::Enter("SHGetSpecialFolderLocation", std::to_string(csidl), &error))
    return hostwin::Failure(error);
  if (ppidl == nullptr || csidl != CSIDL_DRIVES) return E_INVALIDARG;
  *ppidl = hostwin::NewIdList(hostwin::kKindMyComputer, 0, "My Computer");
  return S_OK;
}

DWORD_PTR SHGetFileInfoA(LPCSTR pszPath, DWORD dwFileAttributes, SHFILEINFOA* psfi, UINT cbFileInfo, UINT uFlags) {
  DWORD error = 0;
  char args[64];
  std::snprintf(args, sizeof(args), "|%u|%u|0x%x", static_cast<unsigned>(dwFileAttributes),
                static_cast<unsigned>(cbFileInfo), static_cast<unsigned>(uFlags));
  if (hostwin::detail::Enter("SHGetFileInfoA", std::string(pszPath ? pszPath : "(null)") + args, &error)) return 0;
  if (pszPath == nullptr || psfi == nullptr || cbFileInfo != sizeof(SHFILEINFOA)) return 0;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(pszPath[0])));
  if (letter < 'A' || letter > 'Z' || pszPath[1] != ':' || !hostwin::DriveKnown(letter)) return 0;
  if (uFlags & SHGFI_ICONLOCATION) {
    const hostwin::IconLocation icon = hostwin::IconOf(letter);
    std::snprintf(psfi->szDisplayName, sizeof(psfi->szDisplayName), "%s", icon.file.c_str());
    psfi->iIcon = icon.index;
  }
  if (uFlags & SHGFI_SYSICONINDEX) {
    auto it = hostwin::sh().imageIndex.find(letter);
    psfi->iIcon = it != hostwin::sh().imageIndex.end() ? it->second : 20 + (letter - 'A');
    return static_cast<DWORD_PTR>(0x700000);  // the system image list
  }
  return 1;
}
