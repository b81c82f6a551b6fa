/* norvainst under Wine: the service it registers, checked through the
 * service manager's own API. */
#include "e2e.h"

static const char *pkg;

static long norvainst(const char *args) { return e2e_run(pkg, "norvainst.exe", args, 30000); }

/* The quoted program name with `rest` right after its closing quote. */
static long norvainst_joined(const char *rest) {
  char line[1024];
  _snprintf(line, sizeof(line), "\"%s\\norvainst.exe\"%s", pkg, rest);
  line[sizeof(line) - 1] = 0;
  return e2e_run_line(line, 30000);
}

/* 1 exists, 0 does not exist, -1 marked for deletion or other error. */
static int service_state(void) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), svc;
  int state;
  if (!scm) return -1;
  svc = OpenServiceA(scm, "NORVA", SERVICE_QUERY_CONFIG);
  state = svc ? 1 : GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : -1;
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  return state;
}

static void check_config(const char *displayName) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE svc = scm ? OpenServiceA(scm, "NORVA", SERVICE_QUERY_CONFIG) : NULL;
  union {
    QUERY_SERVICE_CONFIGA c;
    char raw[8192];
  } buf;
  DWORD needed = 0;
  char expected[MAX_PATH + 16];
  CHECK(svc != NULL);
  if (!svc) {
    if (scm) CloseServiceHandle(scm);
    return;
  }
  GetSystemDirectoryA(expected, MAX_PATH);
  strcat(expected, "\\norva.exe");
  CHECK(QueryServiceConfigA(svc, &buf.c, sizeof(buf), &needed));
  CHECK_EQ_UL(buf.c.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  CHECK_EQ_UL(buf.c.dwStartType, SERVICE_AUTO_START);
  CHECK_EQ_UL(buf.c.dwErrorControl, SERVICE_ERROR_NORMAL);
  CHECK(_stricmp(buf.c.lpBinaryPathName, expected) == 0);
  CHECK_STR(buf.c.lpServiceStartName, "LocalSystem");
  CHECK_STR(buf.c.lpDisplayName, displayName);
  CHECK(buf.c.lpLoadOrderGroup == NULL || buf.c.lpLoadOrderGroup[0] == 0);
  CHECK(buf.c.lpDependencies == NULL || buf.c.lpDependencies[0] == 0);
  CHECK_EQ_UL(buf.c.dwTagId, 0);
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

static void rename_service(const char *displayName) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE svc = OpenServiceA(scm, "NORVA", SERVICE_ALL_ACCESS);
  CHECK(ChangeServiceConfigA(svc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, NULL, NULL, NULL, NULL,
                             NULL, NULL, displayName));
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

/* A deleted service stays "marked for deletion" for a moment after its last
 * handle is closed; wait until the name is free. */
static int wait_gone(void) {
  int i;
  for (i = 0; i < 100; ++i) {
    if (service_state() == 0) return 1;
    Sleep(100);
  }
  return 0;
}

int main(int argc, char **argv) {
  const char *noop[] = {"I", "U", "", "x"};
  int i;
  long code;
  pkg = argc > 1 ? argv[1] : "C:\\pkg";

  CHECK_EQ_UL(service_state(), 0);
  CHECK_EQ_UL(norvainst("u"), 0); /* nothing to remove */
  CHECK_EQ_UL(service_state(), 0);

  CHECK_EQ_UL(norvainst("i"), 0);
  CHECK_EQ_UL(service_state(), 1);
  check_config("NORVA");

  /* A second install leaves the registration as it stands. */
  rename_service("Changed");
  CHECK_EQ_UL(norvainst("i"), 0);
  check_config("Changed");

  for (i = 0; i < 4; ++i) {
    printf("command line \"%s\"\n", noop[i]);
    CHECK_EQ_UL(norvainst(noop[i]), 0);
    CHECK_EQ_UL(service_state(), 1);
  }
  check_config("Changed");

  CHECK_EQ_UL(norvainst("u"), 0);
  CHECK(wait_gone());

  /* Only the first character counts: "install" installs once the old
   * registration's name is free again. */
  code = norvainst("install");
  CHECK_EQ_UL(code, 0);
  CHECK_EQ_UL(service_state(), 1);
  check_config("NORVA");
  CHECK_EQ_UL(norvainst("uninstall"), 0);
  CHECK(wait_gone());

  /* A quoted program name ends at its closing quote: the action may follow
   * it without a blank, or after tabs. */
  CHECK_EQ_UL(norvainst_joined("i"), 0);
  CHECK_EQ_UL(service_state(), 1);
  check_config("NORVA");
  CHECK_EQ_UL(norvainst_joined("\t\tu"), 0);
  CHECK(wait_gone());
  return e2e_finish();
}
