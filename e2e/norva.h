/* The service NORVA as the tests see it through the service manager: whether
 * it exists, waiting for a deleted one's name to be free, and its
 * registration as norvainst makes it. */
#ifndef NORVA_H
#define NORVA_H

#include "e2e.h"

/* 1 exists, 0 does not exist, -1 marked for deletion or another error. */
static __inline int norva_state(void) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT), svc;
  int state;
  if (!scm) return -1;
  svc = OpenServiceA(scm, "NORVA", SERVICE_QUERY_CONFIG);
  state = svc ? 1 : GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : -1;
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  return state;
}

/* A deleted service stays "marked for deletion" for a moment after its last
 * handle is closed; waits until the name is free. */
static __inline int norva_gone(void) {
  int i;
  for (i = 0; i < 100; ++i) {
    if (norva_state() == 0) return 1;
    Sleep(100);
  }
  return 0;
}

/* The registration norvainst makes: an automatically started service of its
 * own process, norva.exe in the system directory, LocalSystem; display name
 * as given. */
static __inline void check_norva(const char *displayName) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
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

#endif
