/* For scripts/demo.sh: makes two card readers with their disks in the
 * prefix, then shows what zeltadll.dll finds through its exports: first
 * without a driver, then with the simulated maker driver zeltadrv.sys
 * loaded, with the driver slots bound and one reader locked, asked for its
 * serial number and unlocked. */
#include "zelta_world.h"
#include "zeltadll.h"
#include "zeltadrv/zeltadrv_ctl.h"

static const char *status_name(DWORD s) {
  switch (s) {
    case ZELTA_OK: return "ZELTA_OK";
    case ZELTA_E_INVALIDARG: return "ZELTA_E_INVALIDARG";
    case ZELTA_E_NODEVICE: return "ZELTA_E_NODEVICE";
    case ZELTA_E_SELECT: return "ZELTA_E_SELECT";
    case ZELTA_E_DESCRIPTOR: return "ZELTA_E_DESCRIPTOR";
    case ZELTA_E_LOCK: return "ZELTA_E_LOCK";
    case ZELTA_E_OPEN: return "ZELTA_E_OPEN (no driver behind \\\\.\\ZELTA)";
    default: return "?";
  }
}

/* Each record with its letters and its driver slot. */
static void list(PFN_zeltaGetDriveMap next) {
  const DeviceRecord *r;
  for (r = next(NULL); r != NULL; r = next(r)) {
    int e;
    printf("  %04x:%04x uniqueId %s, childMatchId \"%s\", parentIdPrefix \"%s\", drives", r->vendorId, r->productId,
           r->uniqueId, r->childMatchId, r->parentIdPrefix);
    for (e = 0; e < ZELTA_DRIVEMAP_ENTRIES && r->driveMap[e].position != ZELTA_DRIVEMAP_UNUSED; ++e)
      printf(" %c:", r->driveMap[e].letter);
    printf("\n    path %s\n", r->devicePath);
    if (r->driverSlotName[0] != '\0')
      printf("    driver slot \"%s\", value 0x%lx\n", r->driverSlotName, (unsigned long)r->driverSlotValue);
    else
      printf("    no driver slot\n");
  }
}

#define USB_CLASS "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"

/* The simulated driver serves both readers: slot 0 the one without a serial
 * number (device number 0x22), slot 1 the one with it (0x11). */
static const ZeltaDrvSlot kSlots[] = {
    {"USB#VID_0ABC&PID_1234#5&2a3b4c5d&0&2#" USB_CLASS, 1, 0x22, NULL, 0x0abc1234},
    {"USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS, 1, 0x11, "0123ABC", 0x0abc1234},
};

int main(int argc, char **argv) {
  const char *pkg;
  char dllPath[MAX_PATH], sysPath[MAX_PATH], path[256];
  unsigned char serial[64];
  HMODULE dll;
  PFN_zeltaSearchUsbDevice search;
  PFN_zeltaGetDriveMap next;
  PFN_zeltaDumpBuffer dump;
  PFN_zeltaGetVersion version;
  PFN_zeltaLockUnlock lockUnlock;
  PFN_zeltaGetSerialNumber serialNumber;
  const DeviceRecord *r;
  DWORD status, device = 0;
  int i;
  ZELTADRV_CHILD(argc, argv);
  pkg = argc > 1 ? argv[1] : "C:\\pkg";

  world_two_readers(path, sizeof(path));
  world_add(&world_usb, "USB\\VID_0DEF&PID_0001\\XYZ9", NULL, path, sizeof(path));
  printf("made: readers 0abc:1234 (serial 0123ABC, disks E: G:; no serial, disk F:) and a device 0def:0001\n");

  _snprintf(dllPath, sizeof(dllPath), "%s\\zeltadll.dll", pkg);
  dll = LoadLibraryA(dllPath);
  if (dll == NULL) {
    printf("cannot load %s\n", dllPath);
    return 1;
  }
  search = (PFN_zeltaSearchUsbDevice)(void (*)(void))GetProcAddress(dll, "zeltaSearchUsbDevice");
  next = (PFN_zeltaGetDriveMap)(void (*)(void))GetProcAddress(dll, "zeltaGetDriveMap");
  dump = (PFN_zeltaDumpBuffer)(void (*)(void))GetProcAddress(dll, "zeltaDumpBuffer");
  version = (PFN_zeltaGetVersion)(void (*)(void))GetProcAddress(dll, "zeltaGetVersion");
  lockUnlock = (PFN_zeltaLockUnlock)(void (*)(void))GetProcAddress(dll, "zeltaLockUnlock");
  serialNumber = (PFN_zeltaGetSerialNumber)(void (*)(void))GetProcAddress(dll, "zeltaGetSerialNumber");
  printf("zeltaGetVersion: %d\n", version());

  printf("\n-- without a driver\n");
  for (i = 0; i < 2; ++i) {
    const DWORD vendor = i == 0 ? 0x0abc : 0, product = i == 0 ? 0x1234 : 0;
    status = search(vendor, product);
    printf("\nzeltaSearchUsbDevice(0x%04lx, 0x%04lx): %s\n", vendor, product, status_name(status));
    list(next);
  }
  r = next(NULL);
  printf("\nzeltaDumpBuffer of the first record's driveMap and ids:\n");
  fflush(stdout);
  dump(r, 12);
  printf("zeltaLockUnlock(0x11, 1): %s\n", status_name(lockUnlock(0x11, 1)));

  printf("\n-- with the simulated maker driver zeltadrv.sys loaded\n");
  _snprintf(sysPath, sizeof(sysPath), "%s\\zeltadrv.sys", pkg);
  fflush(stdout);
  if (!zeltadrv_install(sysPath) || !zeltadrv_configure(kSlots, 2) || !zeltadrv_start(60000, 3)) {
    printf("the simulated driver did not start\n");
    FreeLibrary(dll);
    return 1;
  }
  status = search(0x0abc, 0x1234);
  printf("\nzeltaSearchUsbDevice(0x0abc, 0x1234): %s\n", status_name(status));
  list(next);

  /* Lock the reader that has a serial number, through its slot value. */
  for (r = next(NULL); r != NULL; r = next(r))
    if (strcmp(r->uniqueId, "0123abc") == 0) device = r->driverSlotValue;
  printf("\nzeltaLockUnlock(0x%lx, 1): %s\n", (unsigned long)device, status_name(lockUnlock(device, 1)));
  memset(serial, 0, sizeof(serial));
  status = serialNumber(device, serial, sizeof(serial));
  printf("zeltaGetSerialNumber(0x%lx): %s, string descriptor of %u bytes, type %u, text \"", (unsigned long)device,
         status_name(status), serial[0], serial[1]);
  for (i = 2; i + 1 < serial[0] && i < (int)sizeof(serial); i += 2) putchar(serial[i]);
  printf("\"\n");
  printf("zeltaLockUnlock(0x%lx, 0): %s\n", (unsigned long)device, status_name(lockUnlock(device, 0)));
  printf("zeltaLockUnlock(0x%lx, 0) again: %s (the unlock closed the link)\n", (unsigned long)device,
         status_name(lockUnlock(device, 0)));
  printf("zeltaGetSerialNumber(0x%lx) without a lock: %s\n", (unsigned long)device,
         status_name(serialNumber(device, serial, sizeof(serial))));
  fflush(stdout);

  zeltadrv_stop(10000);
  zeltadrv_remove();
  FreeLibrary(dll);
  return 0;
}
