#include "norvainst.h"

#include "../common/unique_handle.h"

namespace {

constexpr char kServiceName[] = "NORVA";
constexpr char kImageName[] = "\\norva.exe";

// The system directory followed by "\norva.exe". False, with nothing to
// register, when the directory cannot be read or the whole path and its
// terminator would not fit the buffer.
bool BuildImagePath(char (&path)[kImagePathChars]) {
  const UINT length = GetSystemDirectoryA(path, kImagePathChars);
  if (length == 0 || length >= kImagePathChars) return false;
  if (length + sizeof(kImageName) > kImagePathChars) return false;  // sizeof counts the terminator
  for (UINT i = 0; i < sizeof(kImageName); ++i) path[length + i] = kImageName[i];
  return true;
}

void InstallService(SC_HANDLE manager) {
  char imagePath[kImagePathChars];
  if (!BuildImagePath(imagePath)) return;
  // An existing registration makes this fail and stays as it is.
  UniqueScHandle service(CreateServiceA(manager, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                        imagePath, nullptr, nullptr, nullptr, nullptr, nullptr));
}

void RemoveService(SC_HANDLE manager) {
  UniqueScHandle service(OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS));
  // A running service is only marked for deletion; it is not asked to stop.
  if (service) DeleteService(service.get());
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text after the program name and the blanks that follow it, by
// Windows' rule: a program name that begins with a quote ends at the next
// quote (or at the end of the line), whatever comes right after it; any
// other program name ends at the first blank.
LPCSTR ArgumentsOf(LPCSTR commandLine) {
  LPCSTR p = commandLine != nullptr ? commandLine : "";
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  return p;
}

}  // namespace

int RunNorvainst(LPCSTR commandLine) {
  UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return -1;
  const char action = ArgumentsOf(commandLine)[0];
  if (action == 'i') InstallService(manager.get());
  else if (action == 'u') RemoveService(manager.get());
  return 0;
}
