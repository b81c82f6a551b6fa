/* Loading the simulated maker driver zeltadrv.sys from an end-to-end test
 * program: its configuration in the registry, its kernel-driver service, and
 * a start that survives Wine's slow first driver start.
 *
 * Use, in a program whose main begins with ZELTADRV_CHILD(argc, argv):
 *   zeltadrv_install("C:\\pkg\\zeltadrv.sys");
 *   zeltadrv_configure(slots, n);        (read by the driver at each start)
 *   zeltadrv_start(60000, 3);            \\.\ZELTA opens afterwards
 *   ... CreateFileA("\\\\.\\ZELTA", ...), DeviceIoControl ...
 *   zeltadrv_stop(10000);                close every handle first
 *   zeltadrv_remove();
 * Each function returns nonzero on success and prints what failed (and how
 * the start went) with ZELTADRV_LOG, printf unless the program defines it
 * before this header. */
#ifndef ZELTADRV_CTL_H
#define ZELTADRV_CTL_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

#ifndef ZELTADRV_LOG
#define ZELTADRV_LOG printf
#endif

#define ZELTADRV_SERVICE "zeltadrv"
#define ZELTADRV_PARAMETERS "System\\CurrentControlSet\\Services\\zeltadrv\\Parameters"
#define ZELTADRV_DEVICE "\\\\.\\ZELTA"
#define ZELTADRV_START_ARG "--zeltadrv-start"

/* One slot of the driver, as zeltadrv_configure writes it. */
typedef struct ZeltaDrvSlot {
  const char *name;   /* the slot name (NULL: a slot cannot be skipped, so this ends the list) */
  int hasValue;       /* 0: the slot's value request fails, and it serves no device */
  DWORD value;        /* slot value = device number */
  const char *serial; /* string descriptor 3; NULL: the device has no serial number */
  DWORD usbId;        /* (vendor << 16) | product for the device descriptor */
} ZeltaDrvSlot;

/* The start request runs in a child process, because under Wine the first
 * driver start of a prefix can block StartServiceA for up to a minute and
 * then fail, while a start from a new process goes through. The test
 * program starts itself with ZELTADRV_START_ARG for it; put this first in
 * main. */
#define ZELTADRV_CHILD(argc, argv)                                             \
  do {                                                                         \
    if ((argc) > 1 && strcmp((argv)[1], ZELTADRV_START_ARG) == 0)              \
      return zeltadrv_start_here();                                            \
  } while (0)

static SC_HANDLE zeltadrv_open_service(DWORD access) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), svc;
  if (!scm) return NULL;
  svc = OpenServiceA(scm, ZELTADRV_SERVICE, access);
  CloseServiceHandle(scm);
  return svc;
}

/* The service's state (SERVICE_RUNNING...), 0 when it cannot be queried. */
static DWORD zeltadrv_state(void) {
  SC_HANDLE svc = zeltadrv_open_service(SERVICE_QUERY_STATUS);
  SERVICE_STATUS status;
  DWORD state = 0;
  if (!svc) return 0;
  if (QueryServiceStatus(svc, &status)) state = status.dwCurrentState;
  CloseServiceHandle(svc);
  return state;
}

/* Opens \\.\ZELTA the way the library does. */
static HANDLE zeltadrv_open(void) {
  return CreateFileA(ZELTADRV_DEVICE, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

static int zeltadrv_device_opens(void) {
  HANDLE h = zeltadrv_open();
  if (h == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(h);
  return 1;
}

/* Replaces the whole configuration with `count` slots (0 to 32). With count
 * -1 the Parameters key is removed: the driver then serves no slot. */
static int zeltadrv_configure(const ZeltaDrvSlot *slots, int count) {
  HKEY key;
  int i, ok = 1;
  LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, ZELTADRV_PARAMETERS);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    ZELTADRV_LOG("zeltadrv: cannot remove the old configuration (%ld)\n", rc);
    return 0;
  }
  if (count < 0) return 1;
  rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZELTADRV_PARAMETERS, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
  if (rc != ERROR_SUCCESS) {
    ZELTADRV_LOG("zeltadrv: cannot create the configuration key (%ld)\n", rc);
    return 0;
  }
  for (i = 0; i < count && slots[i].name; ++i) {
    char name[32];
    sprintf(name, "Slot%dName", i);
    ok &= RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)slots[i].name, (DWORD)strlen(slots[i].name) + 1) ==
          ERROR_SUCCESS;
    if (slots[i].hasValue) {
      sprintf(name, "Slot%dValue", i);
      ok &= RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&slots[i].value, 4) == ERROR_SUCCESS;
    }
    if (slots[i].serial) {
      sprintf(name, "Slot%dSerial", i);
      ok &= RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)slots[i].serial, (DWORD)strlen(slots[i].serial) + 1) ==
            ERROR_SUCCESS;
    }
    if (slots[i].usbId) {
      sprintf(name, "Slot%dUsbId", i);
      ok &= RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&slots[i].usbId, 4) == ERROR_SUCCESS;
    }
  }
  RegCloseKey(key);
  if (!ok) ZELTADRV_LOG("zeltadrv: cannot write the configuration\n");
  return ok;
}

/* Registers the driver file as a demand-start kernel driver service, or
 * points an existing registration at it. */
static int zeltadrv_install(const char *sysPath) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), svc;
  int ok = 0;
  if (!scm) {
    ZELTADRV_LOG("zeltadrv: no service manager (%lu)\n", GetLastError());
    return 0;
  }
  svc = CreateServiceA(scm, ZELTADRV_SERVICE, ZELTADRV_SERVICE, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, sysPath, NULL, NULL, NULL, NULL, NULL);
  if (svc) {
    ok = 1;
  } else if (GetLastError() == ERROR_SERVICE_EXISTS) {
    svc = OpenServiceA(scm, ZELTADRV_SERVICE, SERVICE_ALL_ACCESS);
    ok = svc && ChangeServiceConfigA(svc, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, sysPath,
                                     NULL, NULL, NULL, NULL, NULL, NULL);
  }
  if (!ok) ZELTADRV_LOG("zeltadrv: cannot register %s (%lu)\n", sysPath, GetLastError());
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  return ok;
}

/* The child's part of zeltadrv_start: one StartServiceA. Exit code 0 when
 * the driver runs, else the Windows error. */
static int zeltadrv_start_here(void) {
  SC_HANDLE svc = zeltadrv_open_service(SERVICE_START);
  DWORD error = 0;
  if (!svc) return (int)GetLastError();
  if (!StartServiceA(svc, 0, NULL)) error = GetLastError();
  CloseServiceHandle(svc);
  return error == ERROR_SERVICE_ALREADY_RUNNING ? 0 : (int)error;
}

/* Waits until the service runs and \\.\ZELTA opens. */
static int zeltadrv_wait_running(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (zeltadrv_state() == SERVICE_RUNNING && zeltadrv_device_opens()) return 1;
    if (GetTickCount() - start >= timeoutMs) return 0;
    Sleep(50);
  }
}

/* Starts the driver: each attempt is one child process with attemptMs to
 * start it. Returns the number of attempts used, 0 when all failed. */
static int zeltadrv_start(DWORD attemptMs, int attempts) {
  char self[MAX_PATH], line[MAX_PATH + 40];
  int i;
  if (!GetModuleFileNameA(NULL, self, sizeof(self))) return 0;
  sprintf(line, "\"%s\" %s", self, ZELTADRV_START_ARG);
  for (i = 1; i <= attempts; ++i) {
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    DWORD begin = GetTickCount(), code = 0, waited;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
      ZELTADRV_LOG("zeltadrv: cannot run %s (%lu)\n", line, GetLastError());
      return 0;
    }
    waited = WaitForSingleObject(pi.hProcess, attemptMs);
    if (waited != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (zeltadrv_wait_running(waited == WAIT_OBJECT_0 && code == 0 ? 10000 : 2000)) {
      ZELTADRV_LOG("zeltadrv: started on attempt %d after %lu ms\n", i, GetTickCount() - begin);
      return i;
    }
    ZELTADRV_LOG("zeltadrv: start attempt %d: %s, code %lu, after %lu ms\n", i,
           waited == WAIT_OBJECT_0 ? "ended" : "timed out", code, GetTickCount() - begin);
  }
  return 0;
}

/* Stops the driver (every handle to \\.\ZELTA closed first) and waits until
 * it is stopped and \\.\ZELTA no longer opens. */
static int zeltadrv_stop(DWORD timeoutMs) {
  SC_HANDLE svc = zeltadrv_open_service(SERVICE_STOP | SERVICE_QUERY_STATUS);
  SERVICE_STATUS status;
  DWORD start = GetTickCount();
  if (!svc) return 0;
  if (!ControlService(svc, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
    ZELTADRV_LOG("zeltadrv: stop request failed (%lu)\n", GetLastError());
  CloseServiceHandle(svc);
  for (;;) {
    if (zeltadrv_state() == SERVICE_STOPPED && !zeltadrv_device_opens()) return 1;
    if (GetTickCount() - start >= timeoutMs) {
      ZELTADRV_LOG("zeltadrv: still not stopped after %lu ms\n", timeoutMs);
      return 0;
    }
    Sleep(50);
  }
}

/* Stops the driver if it runs, removes the service and its configuration,
 * and waits until the name is free again. */
static int zeltadrv_remove(void) {
  SC_HANDLE svc;
  int i;
  if (zeltadrv_state() != SERVICE_STOPPED && zeltadrv_state() != 0) zeltadrv_stop(10000);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, ZELTADRV_PARAMETERS);
  svc = zeltadrv_open_service(DELETE);
  if (!svc) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  if (!DeleteService(svc)) ZELTADRV_LOG("zeltadrv: cannot delete the service (%lu)\n", GetLastError());
  CloseServiceHandle(svc);
  for (i = 0; i < 100; ++i) {
    svc = zeltadrv_open_service(SERVICE_QUERY_STATUS);
    if (!svc && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return 1;
    if (svc) CloseServiceHandle(svc);
    Sleep(100);
  }
  ZELTADRV_LOG("zeltadrv: the service is still there\n");
  return 0;
}

#endif
