// zeltainfo: shows what zeltadll.dll finds on this machine. It uses the
// library as an application does: LoadLibraryA, then GetProcAddress for each
// export it calls, through the PFN_ types of zeltadll.h.
#include "args.h"
#include "report.h"

#include <windows.h>

#include <stdio.h>

namespace {

using namespace zeltainfo;

constexpr char kDllName[] = "zeltadll.dll";

void ToStream(void* stream, const char* data, std::size_t size) {
  fwrite(data, 1, size, static_cast<FILE*>(stream));
}

// Owns the loaded library for the run; it is freed after every output is
// written, since the records and their strings belong to it.
struct Library {
  HMODULE module = nullptr;
  char path[MAX_PATH] = {};  // where Windows took it from
  int version = 0;
  ~Library() {
    if (module != nullptr) FreeLibrary(module);
  }
};

// zeltadll.dll in the folder of zeltainfo.exe itself, by its full path: a
// DLL of that name in the current folder or on PATH is never taken instead.
// False when the program's path and the name do not fit.
bool PathBesideProgram(char (&path)[MAX_PATH]) {
  // A path that fills the buffer may have lost its end (Windows 2000 and XP
  // leave it without a terminator): it is not used.
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  DWORD folder = length;
  while (folder > 0 && path[folder - 1] != '\\' && path[folder - 1] != '/') --folder;
  if (folder + sizeof(kDllName) > MAX_PATH) return false;  // sizeof counts the terminator
  for (DWORD i = 0; i < sizeof(kDllName); ++i) path[folder + i] = kDllName[i];
  return true;
}

void ShowError(Writer& err, DWORD error) {
  err.Text("error ").Dec(error);
  char text[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                           sizeof(text), nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.')) --n;
  if (n > 0 && n < sizeof(text)) {
    text[n] = '\0';
    err.Text(", ").Shown(text);
  }
}

bool Load(Library& library, Writer& err) {
  char path[MAX_PATH];
  if (!PathBesideProgram(path)) {
    err.Text("zeltainfo: cannot load zeltadll.dll: the path of zeltainfo.exe is too long to name it\n");
    return false;
  }
  // No message box from Windows about a missing file or a DLL that the
  // library itself needs: the reason goes to standard error.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  library.module = LoadLibraryA(path);
  const DWORD error = GetLastError();
  SetErrorMode(oldMode);
  if (library.module == nullptr) {
    err.Text("zeltainfo: cannot load zeltadll.dll: looked for ").Shown(path).Text(" (beside zeltainfo.exe): ");
    ShowError(err, error);
    err.Put('\n');
    return false;
  }
  const DWORD length = GetModuleFileNameA(library.module, library.path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) lstrcpynA(library.path, path, MAX_PATH);
  return true;
}

// One export by name, or null with the reason on standard error.
template <typename Fn>
bool Resolve(const Library& library, const char* name, Fn& fn, Writer& err) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(library.module, name)));
  if (fn != nullptr) return true;
  err.Text("zeltainfo: ").Shown(library.path).Text(" has no export ").Text(name).Put('\n');
  return false;
}

int List(const Options& options, Library& library, Writer& out, Writer& err) {
  PFN_zeltaGetVersion version;
  PFN_zeltaSearchUsbDevice search;
  PFN_zeltaGetDriveMap next;
  if (!Resolve(library, "zeltaGetVersion", version, err) || !Resolve(library, "zeltaSearchUsbDevice", search, err) ||
      !Resolve(library, "zeltaGetDriveMap", next, err))
    return kExitNoLibrary;
  library.version = version();

  const DeviceRecord* records[kMaxRecords];  // 4 KB (8 KB in the x64 build) of stack
  SearchResult result = {};
  result.vendorId = options.vendorId;
  result.productId = options.productId;
  result.status = search(options.vendorId, options.productId);
  CollectRecords(next, records, result);
  const LibraryInfo info = {library.path, library.version};
  if (options.json)
    WriteListJson(out, info, result);
  else
    WriteListText(out, info, result, options.verbose);
  return ListExitCode(result);
}

int Serial(const Options& options, Library& library, Writer& out, Writer& err) {
  PFN_zeltaGetVersion version;
  PFN_zeltaLockUnlock lockUnlock;
  PFN_zeltaGetSerialNumber serialNumber;
  if (!Resolve(library, "zeltaGetVersion", version, err) || !Resolve(library, "zeltaLockUnlock", lockUnlock, err) ||
      !Resolve(library, "zeltaGetSerialNumber", serialNumber, err))
    return kExitNoLibrary;
  library.version = version();

  unsigned char descriptor[kDescriptorBytes] = {};
  SerialResult result = {};
  result.device = options.device;
  result.descriptor = descriptor;
  result.lock = {true, lockUnlock(options.device, 1)};
  // A failed lock leaves the link closed: nothing to read or unlock.
  if (result.lock.status == ZELTA_OK) {
    result.read = {true, serialNumber(options.device, descriptor, sizeof(descriptor))};
    result.unlock = {true, lockUnlock(options.device, 0)};
  }
  const LibraryInfo info = {library.path, library.version};
  if (options.json)
    WriteSerialJson(out, info, result);
  else
    WriteSerialText(out, info, result, options.verbose);
  return SerialExitCode(result);
}

int Run(int argc, char** argv) {
  Writer out(ToStream, stdout);
  Writer err(ToStream, stderr);
  const Options options = ParseArguments(argc - 1, argv + 1);
  if (options.mode == Mode::kHelp) {
    WriteUsage(out);
    return kExitFound;
  }
  if (options.mode == Mode::kUsageError) {
    err.Text("zeltainfo: ").Text(options.message).Text("\n\n");
    WriteUsage(err);
    return kExitUsage;
  }
  Library library;
  if (!Load(library, err)) return kExitNoLibrary;
  const int code = options.mode == Mode::kSerial ? Serial(options, library, out, err)
                                                 : List(options, library, out, err);
  // Written before the library goes, while its strings are still there.
  out.Flush();
  err.Flush();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  const int code = Run(argc, argv);
  fflush(stdout);
  fflush(stderr);
  return code;
}
