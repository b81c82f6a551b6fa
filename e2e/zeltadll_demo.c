/* For scripts/demo.sh: makes two card readers with their disks in the
 * prefix, then shows what zeltadll.dll finds through its exports. */
#include "zelta_world.h"
#include "zeltadll.h"

static const char *status_name(DWORD s) {
  switch (s) {
    case ZELTA_OK: return "ZELTA_OK";
    case ZELTA_E_NODEVICE: return "ZELTA_E_NODEVICE";
    case ZELTA_E_OPEN: return "ZELTA_E_OPEN (no driver behind \\\\.\\ZELTA here)";
    default: return "?";
  }
}

int main(int argc, char **argv) {
  const char *pkg = argc > 1 ? argv[1] : "C:\\pkg";
  char dllPath[MAX_PATH], path[256];
  HMODULE dll;
  PFN_zeltaSearchUsbDevice search;
  PFN_zeltaGetDriveMap next;
  PFN_zeltaDumpBuffer dump;
  PFN_zeltaGetVersion version;
  const DeviceRecord *r;
  DWORD status;
  int i;

  world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\0123ABC", "6&a0&0", path, sizeof(path));
  world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_CF&REV_1.00\\0123ABC&0", "7&aa&0", path, sizeof(path));
  world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_SD&REV_1.00\\0123ABC&1", "7&bb&0", path, sizeof(path));
  world_mount('G', "7&aa&0");
  world_mount('E', "7&bb&0");
  world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\5&2A3B4C5D&0&2", "6&1f2e3d4c&0", path, sizeof(path));
  world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_MS&REV_1.00\\6&1F2E3D4C&0&0", "7&cc&0", path, sizeof(path));
  world_mount('F', "7&cc&0");
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
  printf("zeltaGetVersion: %d\n", version());

  for (i = 0; i < 2; ++i) {
    const DWORD vendor = i == 0 ? 0x0abc : 0, product = i == 0 ? 0x1234 : 0;
    status = search(vendor, product);
    printf("\nzeltaSearchUsbDevice(0x%04lx, 0x%04lx): %s\n", vendor, product, status_name(status));
    for (r = next(NULL); r != NULL; r = next(r)) {
      int e;
      printf("  %04x:%04x uniqueId %s, childMatchId \"%s\", parentIdPrefix \"%s\", drives", r->vendorId,
             r->productId, r->uniqueId, r->childMatchId, r->parentIdPrefix);
      for (e = 0; e < ZELTA_DRIVEMAP_ENTRIES && r->driveMap[e].position != ZELTA_DRIVEMAP_UNUSED; ++e)
        printf(" %c:", r->driveMap[e].letter);
      printf("\n    %s\n", r->devicePath);
    }
  }
  r = next(NULL);
  printf("\nzeltaDumpBuffer of the first record's driveMap and ids:\n");
  fflush(stdout);
  dump(r, 12);
  FreeLibrary(dll);
  return 0;
}
