/* zeltadll.dll under Wine: its exports by name and by ordinal, and device
 * searches against fake USB devices and disks made in this prefix. Results
 * are read from the records the library hands out. */
#include "e2e.h"
#include "zelta_world.h"
#include "zeltadll.h"

static const char *names[12] = {
    "zeltaBulkio",          "zeltaDumpBuffer",    "zeltaGetDescriptor",  "zeltaGetDriveMap",
    "zeltaGetInterfaceInfo", "zeltaGetSerialNumber", "zeltaGetVersion",  "zeltaLockUnlock",
    "zeltaSearchUsbDevice", "zeltaStandardRequest", "zeltaVendorCommand", "zeltaWcharToAnsiChar"};

static HMODULE dll;
static PFN_zeltaSearchUsbDevice search;
static PFN_zeltaGetDriveMap next;

static HMODULE load(const char *pkg) {
  char path[MAX_PATH];
  _snprintf(path, sizeof(path), "%s\\zeltadll.dll", pkg);
  path[sizeof(path) - 1] = 0;
  return LoadLibraryA(path);
}

/* Child mode: the dumps whose output the parent compares. */
static int dump_child(const char *pkg) {
  unsigned char bytes[18];
  int i;
  PFN_zeltaDumpBuffer dump;
  HMODULE m = load(pkg);
  if (!m) return 2;
  dump = (PFN_zeltaDumpBuffer)(void (*)(void))GetProcAddress(m, "zeltaDumpBuffer");
  for (i = 0; i < 18; ++i) bytes[i] = (unsigned char)(i == 17 ? 0xAB : i);
  dump(NULL, 5);
  dump(bytes, 0);
  dump(bytes, 18);
  dump(bytes, 1);
  return 0;
}

static void check_exports(void) {
  int i;
  for (i = 0; i < 12; ++i) {
    FARPROC byName = GetProcAddress(dll, names[i]);
    FARPROC byOrdinal = GetProcAddress(dll, MAKEINTRESOURCEA(i + 1));
    printf("ordinal %d %s\n", i + 1, names[i]);
    CHECK(byName != NULL);
    CHECK(byName == byOrdinal);
  }
  CHECK(GetProcAddress(dll, MAKEINTRESOURCEA(13)) == NULL);
}

static void check_diagnostics(const char *pkg) {
  PFN_zeltaGetVersion version = (PFN_zeltaGetVersion)(void (*)(void))GetProcAddress(dll, "zeltaGetVersion");
  PFN_zeltaWcharToAnsiChar narrow =
      (PFN_zeltaWcharToAnsiChar)(void (*)(void))GetProcAddress(dll, MAKEINTRESOURCEA(12));
  unsigned char text[8] = {0x41, 0x00, 0x42, 0x01, 0x00, 0x00, 0x43, 0x00};
  unsigned char empty[4] = {0x00, 0x00, 0x5A, 0x00};
  const unsigned char narrowed[8] = {0x41, 0x42, 0x00, 0x01, 0x00, 0x00, 0x43, 0x00};
  char exe[MAX_PATH], *name, args[MAX_PATH + 8], out[512];
  const char expected[] =
      "0000 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \r\n0010 10 ab \r\n0000 00 \r\n";

  CHECK_EQ_UL(version(), 1002);
  narrow(text);
  CHECK(memcmp(text, narrowed, 8) == 0);
  narrow(empty);
  CHECK(empty[0] == 0 && empty[2] == 0x5A);

  /* The dump goes to standard output: run it in a child whose output is a file. */
  GetModuleFileNameA(NULL, exe, sizeof(exe));
  name = strrchr(exe, '\\');
  CHECK(name != NULL);
  if (name == NULL) return;
  *name++ = 0;
  _snprintf(args, sizeof(args), "\"%s\" dump", pkg);
  args[sizeof(args) - 1] = 0;
  CHECK_EQ_UL(e2e_run_output(exe, name, args, 30000, out, sizeof(out)), 0);
  /* The C runtime writes its line feeds to a file as CR LF. */
  CHECK_STR(out, expected);
}

static const DeviceRecord *first(void) { return next(NULL); }

static int count_records(void) {
  const DeviceRecord *r;
  int n = 0;
  for (r = first(); r != NULL && n < 100; r = next(r)) ++n;
  return n;
}

static const DeviceRecord *find(const char *uniqueId) {
  const DeviceRecord *r;
  for (r = first(); r != NULL; r = next(r))
    if (strcmp(r->uniqueId, uniqueId) == 0) return r;
  return NULL;
}

static void check_map(const DeviceRecord *r, const unsigned char expected[8]) {
  int i;
  CHECK(r != NULL);
  if (r == NULL) return;
  for (i = 0; i < 4; ++i) {
    CHECK_EQ_UL(r->driveMap[i].position, expected[2 * i]);
    CHECK_EQ_UL(r->driveMap[i].letter, expected[2 * i + 1]);
  }
}

/* The order of the records is that of the interfaces taken. */
static void check_order(DWORD vendor, DWORD product) {
  char paths[32][256];
  char wanted[32];
  int n = world_list(&world_usb, paths, 32), i;
  const DeviceRecord *r = first();
  _snprintf(wanted, sizeof(wanted), "vid_%04lx&pid_%04lx#", vendor, product);
  for (i = 0; i < n; ++i) {
    if (vendor != 0 && strstr(paths[i], wanted) == NULL) continue;
    CHECK(r != NULL);
    if (r == NULL) return;
    CHECK_STR(r->devicePath, paths[i]);
    r = next(r);
  }
  CHECK(r == NULL);
}

static void check_search(void) {
  char path[256], readerA[256], readerB[256], other[256];
  const unsigned char mapA[8] = {0x00, 'E', 0x01, 'G', 0xFF, 0xFF, 0xFF, 0xFF};
  const unsigned char mapB[8] = {0x00, 'F', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const unsigned char none[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  char diskPaths[8][256];
  const DeviceRecord *a, *b, *c;
  int i, disks;

  CHECK(first() == NULL); /* nothing before the first search */

  /* A reader with a serial number and two mounted disks. */
  CHECK(world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\0123ABC", "6&a0&0", readerA, sizeof(readerA)));
  CHECK(world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_CF&REV_1.00\\0123ABC&1", "7&aa&0", path, sizeof(path)));
  CHECK(world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_SD&REV_1.00\\0123ABC&0", "7&bb&0", path, sizeof(path)));
  CHECK(world_mount('G', "7&aa&0"));
  CHECK(world_mount('E', "7&bb&0"));
  /* Its third disk is mounted as C:, which the library never considers. */
  CHECK(world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_XD&REV_1.00\\0123ABC&2", "7&ee&0", path, sizeof(path)));
  CHECK(world_mount('C', "7&ee&0"));
  /* A reader without a serial number: its disks carry its ParentIdPrefix. */
  CHECK(world_add(&world_usb, "USB\\VID_0ABC&PID_1234\\5&2A3B4C5D&0&2", "6&1f2e3d4c&0", readerB, sizeof(readerB)));
  CHECK(world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_MS&REV_1.00\\6&1F2E3D4C&0&0", "7&cc&0", path, sizeof(path)));
  CHECK(world_mount('F', "7&cc&0"));
  /* Unit 4: found, but not mapped. */
  CHECK(world_add(&world_disk, "USBSTOR\\DISK&VEN_ZELTA&PROD_SM&REV_1.00\\6&1F2E3D4C&0&4", "7&dd&0", path, sizeof(path)));
  CHECK(world_mount('H', "7&dd&0"));
  /* A device of another vendor. */
  CHECK(world_add(&world_usb, "USB\\VID_0DEF&PID_0001\\XYZ9", NULL, other, sizeof(other)));
  printf("reader A %s\nreader B %s\nother %s\n", readerA, readerB, other);

  /* No driver behind \\.\ZELTA here: the binding phase cannot open its link. */
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_E_OPEN);
  CHECK_EQ_UL(count_records(), 2);
  check_order(0x0abc, 0x1234);
  a = find("0123abc");
  b = find("5&2a3b4c5d&0&2");
  CHECK(a != NULL && b != NULL);
  if (a == NULL || b == NULL) return;
  CHECK_EQ_UL(a->vendorId, 0x0abc);
  CHECK_EQ_UL(a->productId, 0x1234);
  CHECK_STR(a->childMatchId, "0123abc");
  CHECK_STR(a->parentIdPrefix, "6&a0&0");
  CHECK_STR(a->devicePath, readerA);
  CHECK_STR(a->driverSlotName, "");
  CHECK_EQ_UL(a->driverSlotValue, 0);
  check_map(a, mapA);
  CHECK_STR(b->childMatchId, "6&1f2e3d4c&0");
  CHECK_STR(b->parentIdPrefix, "6&1f2e3d4c&0");
  CHECK_STR(b->devicePath, readerB);
  check_map(b, mapB);
  /* The records lie one after another; the walk ends after the last. */
  CHECK_EQ_UL(sizeof(DeviceRecord), sizeof(void *) == 4 ? 36 : 64);
  CHECK(next(first()) == first() + 1);
  CHECK(next(first() + 1) == NULL);
  CHECK(next((const DeviceRecord *)((const char *)first() + 4)) == NULL);

  /* Every device: ids read from the path. */
  CHECK_EQ_UL(search(0, 0), ZELTA_E_OPEN);
  CHECK_EQ_UL(count_records(), 3);
  check_order(0, 0);
  c = find("xyz9");
  CHECK(c != NULL);
  if (c != NULL) {
    CHECK_EQ_UL(c->vendorId, 0x0def);
    CHECK_EQ_UL(c->productId, 0x0001);
    CHECK_STR(c->childMatchId, "xyz9");
    CHECK_STR(c->parentIdPrefix, "");
    check_map(c, none);
  }
  check_map(find("0123abc"), mapA);

  /* Nothing of these ids: an empty table. */
  CHECK_EQ_UL(search(0x0abc, 0x9999), ZELTA_E_NODEVICE);
  CHECK(first() == NULL);

  /* Without any present disk, the records of the first phase stay, unmapped. */
  disks = world_list(&world_disk, diskPaths, 8);
  for (i = 0; i < disks; ++i) CHECK(world_link(&world_disk, diskPaths[i], 0));
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_E_NODEVICE);
  CHECK_EQ_UL(count_records(), 2);
  check_map(find("0123abc"), none);
  check_map(find("5&2a3b4c5d&0&2"), none);
  for (i = 0; i < disks; ++i) world_link(&world_disk, diskPaths[i], 1);
}

static void check_commands(void) {
  PFN_zeltaLockUnlock lock = (PFN_zeltaLockUnlock)(void (*)(void))GetProcAddress(dll, "zeltaLockUnlock");
  PFN_zeltaGetSerialNumber serial =
      (PFN_zeltaGetSerialNumber)(void (*)(void))GetProcAddress(dll, "zeltaGetSerialNumber");
  unsigned char buffer[64];
  CHECK_EQ_UL(lock(1, 1), ZELTA_E_NODEVICE); /* no driver to lock with */
  CHECK_EQ_UL(lock(1, 0), ZELTA_E_NODEVICE);
  CHECK_EQ_UL(serial(1, NULL, 0), ZELTA_E_INVALIDARG);
  CHECK_EQ_UL(serial(1, buffer, sizeof(buffer)), ZELTA_E_DESCRIPTOR);
}

int main(int argc, char **argv) {
  const char *pkg = argc > 1 ? argv[1] : "C:\\pkg";
  if (argc > 2 && strcmp(argv[2], "dump") == 0) return dump_child(pkg);

  dll = load(pkg);
  CHECK(dll != NULL);
  if (dll == NULL) return e2e_finish();
  search = (PFN_zeltaSearchUsbDevice)(void (*)(void))GetProcAddress(dll, "zeltaSearchUsbDevice");
  next = (PFN_zeltaGetDriveMap)(void (*)(void))GetProcAddress(dll, MAKEINTRESOURCEA(4));
  check_exports();
  check_diagnostics(pkg);
  check_search();
  check_commands();
  CHECK(FreeLibrary(dll));
  return e2e_finish();
}
