// The service control manager as norvainst uses it: the manager opened with
// every right, a service created, found again under any case, deleted while
// handles to it are open, and the errors of an existing, a marked and a
// missing service.
//
// Not printed: a manager that cannot be opened (ERROR_ACCESS_DENIED for a
// user without administrator rights, which hostwin's tests imitate) cannot
// be had in a Wine prefix, where every program is an administrator.
#include "conformance.h"

#if defined(_WIN32)
#define SLEEP(ms) Sleep(ms)
#else
#define SLEEP(ms) ((void)(ms))
#endif

using conformance::Outcome;

namespace {

const char kName[] = "HostwinConf";
const char kImage[] = "C:\\windows\\system32\\hostwinconf.exe";

SC_HANDLE Create(SC_HANDLE manager, const char* name) {
  return CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                        SERVICE_ERROR_NORMAL, kImage, nullptr, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

int main() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  std::printf("open manager -> %s\n", Outcome(manager != nullptr).s);

  SC_HANDLE created = Create(manager, kName);
  std::printf("create -> %s\n", Outcome(created != nullptr).s);
  SC_HANDLE again = Create(manager, kName);
  std::printf("create again -> %s\n", Outcome(again != nullptr).s);
  // Names are compared without regard to case.
  again = Create(manager, "HOSTWINCONF");
  std::printf("create again in upper case -> %s\n", Outcome(again != nullptr).s);

  SC_HANDLE opened = OpenServiceA(manager, "hostwinconf", SERVICE_ALL_ACCESS);
  std::printf("open in lower case -> %s\n", Outcome(opened != nullptr).s);
  SC_HANDLE missing = OpenServiceA(manager, "HostwinConfMissing", SERVICE_ALL_ACCESS);
  std::printf("open missing -> %s\n", Outcome(missing != nullptr).s);

  // Deleting marks the service; it goes when its last handle is closed.
  std::printf("delete -> %s\n", Outcome(DeleteService(opened) != FALSE).s);
  std::printf("delete again -> %s\n", Outcome(DeleteService(opened) != FALSE).s);
  std::printf("delete through the other handle -> %s\n", Outcome(DeleteService(created) != FALSE).s);
  again = Create(manager, kName);
  std::printf("create while marked -> %s\n", Outcome(again != nullptr).s);
  std::printf("close one handle -> %s\n", Outcome(CloseServiceHandle(opened) != FALSE).s);
  again = Create(manager, kName);
  std::printf("create while one handle is open -> %s\n", Outcome(again != nullptr).s);
  std::printf("close the last handle -> %s\n", Outcome(CloseServiceHandle(created) != FALSE).s);

  // Windows removes a stopped service at the close of its last handle. Wine
  // keeps its name marked for about two more seconds; the end state is what
  // both share, so the program waits that out (hostwin answers at once).
  for (int i = 0; i < 100; ++i) {
    missing = OpenServiceA(manager, kName, SERVICE_ALL_ACCESS);
    if (missing == nullptr) break;
    CloseServiceHandle(missing);
    SLEEP(100);
  }
  std::printf("open after the last close -> %s\n", Outcome(missing != nullptr).s);
  created = Create(manager, kName);
  std::printf("create after the last close -> %s\n", Outcome(created != nullptr).s);
  std::printf("delete -> %s\n", Outcome(DeleteService(created) != FALSE).s);
  std::printf("close -> %s\n", Outcome(CloseServiceHandle(created) != FALSE).s);
  std::printf("close manager -> %s\n", Outcome(CloseServiceHandle(manager) != FALSE).s);
  return 0;
}
