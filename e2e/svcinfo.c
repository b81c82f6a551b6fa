/* Prints a service's registration as the service manager reports it. Used by
 * scripts/demo.sh:  svcinfo.exe NAME */
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv) {
  const char *name = argc > 1 ? argv[1] : "NORVA";
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT), svc;
  union {
    QUERY_SERVICE_CONFIGA c;
    char raw[8192];
  } buf;
  DWORD needed = 0;
  if (!scm) {
    printf("service manager cannot be opened (error %lu)\n", GetLastError());
    return 1;
  }
  svc = OpenServiceA(scm, name, SERVICE_QUERY_CONFIG);
  if (!svc) {
    DWORD e = GetLastError();
    printf("%s: not registered (error %lu%s)\n", name, e,
           e == ERROR_SERVICE_DOES_NOT_EXIST ? ", the service does not exist" :
           e == ERROR_SERVICE_MARKED_FOR_DELETE ? ", marked for deletion" : "");
    CloseServiceHandle(scm);
    return 0;
  }
  if (QueryServiceConfigA(svc, &buf.c, sizeof(buf), &needed)) {
    printf("%s: registered\n", name);
    printf("  display name   %s\n", buf.c.lpDisplayName);
    printf("  type           0x%lx%s\n", buf.c.dwServiceType,
           buf.c.dwServiceType == SERVICE_WIN32_OWN_PROCESS ? " (own process)" : "");
    printf("  start          %lu%s\n", buf.c.dwStartType, buf.c.dwStartType == SERVICE_AUTO_START ? " (automatic)" : "");
    printf("  error control  %lu%s\n", buf.c.dwErrorControl, buf.c.dwErrorControl == SERVICE_ERROR_NORMAL ? " (normal)" : "");
    printf("  image path     %s\n", buf.c.lpBinaryPathName);
    printf("  account        %s\n", buf.c.lpServiceStartName);
  }
  CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  return 0;
}
