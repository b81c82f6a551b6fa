/* What a device search costs under Wine, against what it cannot do with
 * less: both interface classes enumerated and every interface's path read.
 * The machine is the largest one the search looks at: 15 USB device
 * interfaces, 25 disks, every letter from D to Z mounted. The figures are
 * printed, not judged; the search's results are checked. */
#include "e2e.h"
#include "zelta_world.h"
#include "zeltadll.h"

#define ROUNDS 15

static double now_ms(void) {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart * 1000.0 / (double)f.QuadPart;
}

static int bare_enumeration(void) {
  const GUID *classes[2] = {&world_usb, &world_disk};
  int c, paths = 0;
  for (c = 0; c < 2; ++c) {
    HDEVINFO set = SetupDiGetClassDevsA(classes[c], NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    DWORD i;
    if (set == INVALID_HANDLE_VALUE) continue;
    for (i = 0;; ++i) {
      SP_DEVICE_INTERFACE_DATA itf;
      SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail;
      DWORD needed = 0;
      itf.cbSize = sizeof(itf);
      if (!SetupDiEnumDeviceInterfaces(set, NULL, classes[c], i, &itf)) break;
      SetupDiGetDeviceInterfaceDetailA(set, &itf, NULL, 0, &needed, NULL);
      detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_A *)malloc(needed);
      detail->cbSize = sizeof(*detail);
      paths += SetupDiGetDeviceInterfaceDetailA(set, &itf, detail, needed, NULL, NULL) ? 1 : 0;
      free(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
  }
  return paths;
}

static int compare(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y;
}

int main(int argc, char **argv) {
  const char *pkg = argc > 1 ? argv[1] : "C:\\pkg";
  char dllPath[MAX_PATH], path[256], instance[128], prefix[64];
  double bare[ROUNDS], searched[ROUNDS], t;
  HMODULE dll;
  PFN_zeltaSearchUsbDevice search;
  PFN_zeltaGetDriveMap next;
  const DeviceRecord *r;
  int i, records = 0, letters = 0, paths = 0;
  DWORD status = 0;

  for (i = 0; i < 15; ++i) {
    /* Every other reader has no serial number; its disks carry its prefix. */
    if (i % 2 == 0) _snprintf(instance, sizeof(instance), "USB\\VID_0ABC&PID_1234\\SERIAL%02X", i);
    else _snprintf(instance, sizeof(instance), "USB\\VID_0ABC&PID_1234\\5&%02XC0FFEE&0&%d", i, i % 4);
    _snprintf(prefix, sizeof(prefix), "6&%02xbeef&0", i);
    CHECK(world_add(&world_usb, instance, prefix, path, sizeof(path)));
  }
  for (i = 0; i < 25; ++i) {
    const int d = i % 15;
    if (d % 2 == 0)
      _snprintf(instance, sizeof(instance), "USBSTOR\\DISK&VEN_ZELTA&PROD_READER&REV_1.00\\SERIAL%02X&%d", d, i / 15);
    else
      _snprintf(instance, sizeof(instance), "USBSTOR\\DISK&VEN_ZELTA&PROD_READER&REV_1.00\\6&%02XBEEF&0&%d", d, i / 15);
    _snprintf(prefix, sizeof(prefix), "7&%02xd15c&0", i);
    CHECK(world_add(&world_disk, instance, prefix, path, sizeof(path)));
    if (i < 23) CHECK(world_mount((char)('D' + i), prefix));
  }

  _snprintf(dllPath, sizeof(dllPath), "%s\\zeltadll.dll", pkg);
  dll = LoadLibraryA(dllPath);
  CHECK(dll != NULL);
  if (dll == NULL) return e2e_finish();
  search = (PFN_zeltaSearchUsbDevice)(void (*)(void))GetProcAddress(dll, "zeltaSearchUsbDevice");
  next = (PFN_zeltaGetDriveMap)(void (*)(void))GetProcAddress(dll, "zeltaGetDriveMap");

  /* One round of each first, so that nothing is measured cold. */
  bare_enumeration();
  search(0x0abc, 0x1234);
  for (i = 0; i < ROUNDS; ++i) {
    t = now_ms();
    paths = bare_enumeration();
    bare[i] = now_ms() - t;
    t = now_ms();
    status = search(0x0abc, 0x1234);
    searched[i] = now_ms() - t;
  }
  qsort(bare, ROUNDS, sizeof(double), compare);
  qsort(searched, ROUNDS, sizeof(double), compare);
  printf("bare enumeration of 40 interfaces with their paths: median %.2f ms (min %.2f)\n", bare[ROUNDS / 2], bare[0]);
  printf("zeltaSearchUsbDevice, phases 1 and 2: median %.2f ms (min %.2f)\n", searched[ROUNDS / 2], searched[0]);
  printf("cost ratio search / bare enumeration: %.2f (median), %.2f (min)\n", searched[ROUNDS / 2] / bare[ROUNDS / 2],
         searched[0] / bare[0]);

  CHECK_EQ_UL(paths, 40);
  CHECK_EQ_UL(status, ZELTA_E_OPEN);
  for (r = next(NULL); r != NULL; r = next(r)) {
    int e;
    ++records;
    for (e = 0; e < ZELTA_DRIVEMAP_ENTRIES; ++e) letters += r->driveMap[e].position != ZELTA_DRIVEMAP_UNUSED;
  }
  CHECK_EQ_UL(records, 15);
  CHECK_EQ_UL(letters, 23);

  /* A sixteenth reader, listed last, is never looked at. */
  CHECK(world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\ZZZZ", NULL, path, sizeof(path)));
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_E_OPEN);
  records = 0;
  for (r = next(NULL); r != NULL; r = next(r)) {
    ++records;
    CHECK(strcmp(r->uniqueId, "zzzz") != 0);
  }
  CHECK_EQ_UL(records, 15);
  FreeLibrary(dll);
  return e2e_finish();
}
