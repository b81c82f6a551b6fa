/* zeltadll.dll against the simulated maker driver zeltadrv.sys under Wine:
 * the whole road of a request. A search over fake USB devices and disks
 * binds the driver's slots to the right records (and only those); a lock,
 * the six commands and the unlock give the right status and data; a search
 * during a lock takes the lock's link; without the driver a lock finds no
 * device. Results are read through the library's exports and, where the
 * driver's own state tells more, through a handle of this test's own. The
 * README's two examples, built against the import library, run against the
 * same machine; the records are read at the offsets zeltadll.h documents for
 * this build's architecture; the x86 build also checks that every export
 * leaves its arguments to the caller. */
#include "e2e.h"
#include "zelta_world.h"
#include "zeltadll.h"
#include "zeltadrv/zeltadrv_ctl.h"
#include "cdecl_call.h"

#define USB_CLASS "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
#define SLOT_A "USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS
#define SLOT_B "USB#VID_0ABC&PID_1234#5&2a3b4c5d&0&2#" USB_CLASS

enum { kDevA = 0x11, kDevB = 0x22, kDevOther = 0x33, kDevNoKey = 0x44, kNotServed = 0x99, kMarker = 0xBD };
enum { kSelect = 0x0022200C, kLock = 0x00222010 };

static const ZeltaDrvSlot kSlots[] = {
    {SLOT_B, 1, kDevB, "SIM-0002", 0x0abc1234},
    {SLOT_A, 1, kDevA, "0123ABC", 0x0abc1234},
    /* The path holds xyz9: keys are compared case-sensitively. */
    {"USB#VID_0DEF&PID_0001#XYZ9#" USB_CLASS, 1, kDevOther, NULL, 0x0def0001},
    /* Nothing between the second and third '#': this names no device. */
    {"A#B##D", 1, kDevNoKey, NULL, 0},
};

static PFN_zeltaSearchUsbDevice search;
static PFN_zeltaGetDriveMap next;
static PFN_zeltaLockUnlock lockUnlock;
static PFN_zeltaGetSerialNumber serialNumber;
static PFN_zeltaVendorCommand vendorCommand;
static PFN_zeltaBulkio bulkio;
static PFN_zeltaGetDescriptor getDescriptor;
static PFN_zeltaGetInterfaceInfo interfaceInfo;
static PFN_zeltaStandardRequest standardRequest;

static unsigned char buf[512];

static FARPROC need(HMODULE dll, const char *name) {
  FARPROC f = GetProcAddress(dll, name);
  if (f == NULL) printf("no export %s\n", name);
  return f;
}

static const DeviceRecord *find(const char *uniqueId) {
  const DeviceRecord *r;
  for (r = next(NULL); r != NULL; r = next(r))
    if (strcmp(r->uniqueId, uniqueId) == 0) return r;
  return NULL;
}

static int count_records(void) {
  const DeviceRecord *r;
  int n = 0;
  for (r = next(NULL); r != NULL && n < 100; r = next(r)) ++n;
  return n;
}

static void check_binding(const char *uniqueId, const char *letters, const char *slotName, DWORD slotValue) {
  const DeviceRecord *r = find(uniqueId);
  char got[5];
  int i;
  CHECK(r != NULL);
  if (r == NULL) return;
  for (i = 0; i < 4 && r->driveMap[i].position != 0xFF; ++i) got[i] = (char)r->driveMap[i].letter;
  got[i] = 0;
  printf("  %s: drives \"%s\", slot \"%s\" value 0x%lx\n", uniqueId, got, r->driverSlotName,
         (unsigned long)r->driverSlotValue);
  CHECK_STR(got, letters);
  CHECK_STR(r->driverSlotName, slotName);
  CHECK_EQ_UL(r->driverSlotValue, slotValue);
}

/* Bytes [from, to) of buf still hold the marker. */
static int untouched(DWORD from, DWORD to) {
  DWORD i;
  for (i = from; i < to; ++i)
    if (buf[i] != kMarker) return 0;
  return 1;
}

static void setup_block(SetupRequestBlock *b, DWORD device, BYTE type, BYTE request, WORD value, WORD index,
                        WORD length) {
  b->deviceNumber = device;
  b->bmRequestType = type;
  b->bRequest = request;
  b->wValue = value;
  b->wIndex = index;
  b->wLength = length;
}

/* This test's own handle to \\.\ZELTA, with device locked on it. */
static HANDLE lock_elsewhere(DWORD device) {
  HANDLE h = zeltadrv_open();
  DWORD n;
  CHECK(h != INVALID_HANDLE_VALUE);
  if (h == INVALID_HANDLE_VALUE) return h;
  CHECK(DeviceIoControl(h, kSelect, &device, 4, NULL, 0, &n, NULL));
  CHECK(DeviceIoControl(h, kLock, &device, 4, NULL, 0, &n, NULL));
  return h;
}

static void check_search(void) {
  printf("search 0abc:1234\n");
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_OK);
  CHECK_EQ_UL(count_records(), 2);
  check_binding("0123abc", "EG", SLOT_A, kDevA);
  check_binding("5&2a3b4c5d&0&2", "F", SLOT_B, kDevB);

  printf("search of every device\n");
  CHECK_EQ_UL(search(0, 0), ZELTA_OK);
  CHECK_EQ_UL(count_records(), 3);
  check_binding("0123abc", "EG", SLOT_A, kDevA);
  check_binding("5&2a3b4c5d&0&2", "F", SLOT_B, kDevB);
  check_binding("xyz9", "", "", 0);
  /* The search closed its link: there is nothing to unlock. */
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_E_NODEVICE);
}

/* The first record as an application of this build's architecture reads it
 * from memory: each field at the offset zeltadll.h gives, the records a fixed
 * stride apart. */
static void check_record_layout(const char *readerPath) {
#if defined(__i386__)
  enum { kStride = 36 };
  static const unsigned kText[5] = {12, 16, 20, 24, 28}, kValue = 32;
#else
  enum { kStride = 64 };
  static const unsigned kText[5] = {16, 24, 32, 40, 48}, kValue = 56;
#endif
  static const unsigned char kMap[8] = {0x00, 'E', 0x01, 'G', 0xFF, 0xFF, 0xFF, 0xFF};
  const char *texts[5];
  const unsigned char *raw;
  const DeviceRecord *r;
  DWORD value;
  WORD id;
  int i;
  texts[0] = "0123abc";        /* uniqueId */
  texts[1] = "0123abc";        /* childMatchId */
  texts[2] = "6&a0&0";         /* parentIdPrefix */
  texts[3] = readerPath;       /* devicePath */
  texts[4] = SLOT_A;           /* driverSlotName */
  CHECK_EQ_UL(sizeof(DeviceRecord), kStride);
  r = find("0123abc");
  CHECK(r != NULL);
  if (r == NULL) return;
  raw = (const unsigned char *)r;
  CHECK(memcmp(raw, kMap, sizeof(kMap)) == 0);
  memcpy(&id, raw + 8, 2);
  CHECK_EQ_UL(id, 0x0abc);
  memcpy(&id, raw + 10, 2);
  CHECK_EQ_UL(id, 0x1234);
  for (i = 0; i < 5; ++i) {
    const char *text;
    memcpy(&text, raw + kText[i], sizeof(text));
    CHECK_STR(text, texts[i]);
  }
  memcpy(&value, raw + kValue, 4);
  CHECK_EQ_UL(value, kDevA);
  /* The walk steps one stride at a time, whichever record comes first. */
  r = next(NULL);
  CHECK(r != NULL && next(r) != NULL);
  if (r != NULL && next(r) != NULL)
    CHECK_EQ_UL((const char *)next(r) - (const char *)r, kStride);
}

/* The README's examples, as an application builds them: the listing and the
 * serial number of a device, each run with its output caught. */
static void check_examples(const char *pkg) {
  char out[1024], expected[1024];
  const DeviceRecord *r;
  size_t n = 0;
  expected[0] = 0;
  /* Lines in the order of the records this process's search gave. */
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_OK);
  for (r = next(NULL); r != NULL; r = next(r))
    n += (size_t)_snprintf(expected + n, sizeof(expected) - n, "%s\r\n",
                           strcmp(r->uniqueId, "0123abc") == 0 ? "0ABC:1234 0123abc E: G: driver slot " SLOT_A
                                                               : "0ABC:1234 5&2a3b4c5d&0&2 F: driver slot " SLOT_B);
  CHECK_EQ_UL(e2e_run_output(pkg, "example.exe", "", 30000, out, sizeof(out)), 0);
  printf("example.exe:\n%s", out);
  CHECK_STR(out, expected);
  CHECK_EQ_UL(e2e_run_output(pkg, "commands.exe", "0x11", 30000, out, sizeof(out)), 0);
  CHECK_STR(out, "0123ABC\r\n");
  CHECK_EQ_UL(e2e_run_output(pkg, "commands.exe", "0x99", 30000, out, sizeof(out)), 1);
  CHECK_STR(out, "lock: 0x80000002\r\n");
}

#if defined(__i386__)
static DWORD WINAPI pops_its_arguments(DWORD a, DWORD b) { return a + b; }

/* Every export called as a 32-bit C caller calls it, on the whole road. */
static void check_cdecl(HMODULE dll) {
  static unsigned char text[4] = {'A', 0, 0, 0};
  static DescriptorRequestBlock descriptor = {kDevA, 0, 1, 0, 0};
  static SetupRequestBlock setup = {kDevA, 0x80, 6, 0x0100, 0, 18};
  static unsigned char vendor[ZELTA_VENDOR_REQUEST_SIZE] = {kDevA, 0, 0, 0, 0xC0, 5, 0x10, 0, 0, 0, 8, 0};
  static DWORD length = 64;
  struct {
    const char *name;
    DWORD n, args[4];
    int checkResult;
    DWORD result;
  } calls[] = {
      {"zeltaSearchUsbDevice", 2, {0x0abc, 0x1234}, 1, ZELTA_OK},
      {"zeltaGetDriveMap", 1, {0}, 0, 0},
      {"zeltaGetVersion", 0, {0}, 1, ZELTA_VERSION},
      {"zeltaLockUnlock", 2, {kDevA, 1}, 1, ZELTA_OK},
      {"zeltaGetSerialNumber", 3, {kDevA, (DWORD)buf, 64}, 1, ZELTA_OK},
      {"zeltaGetDescriptor", 4, {0, (DWORD)&descriptor, (DWORD)buf, 64}, 1, ZELTA_OK},
      {"zeltaVendorCommand", 3, {(DWORD)vendor, (DWORD)buf, (DWORD)&length}, 1, ZELTA_OK},
      {"zeltaBulkio", 4, {kDevA, (DWORD)buf, (DWORD)&length, 0}, 1, ZELTA_OK},
      {"zeltaGetInterfaceInfo", 3, {kDevA, (DWORD)buf, (DWORD)&length}, 1, ZELTA_OK},
      {"zeltaStandardRequest", 2, {(DWORD)&setup, (DWORD)buf}, 1, ZELTA_OK},
      {"zeltaLockUnlock", 2, {kDevA, 0}, 1, ZELTA_OK},
      {"zeltaWcharToAnsiChar", 1, {(DWORD)text}, 0, 0},
      {"zeltaDumpBuffer", 2, {0, 5}, 0, 0},
  };
  DWORD popped = 99, result, i;
  const DWORD two[2] = {1, 2};
  /* The check itself tells the two conventions apart. */
  CHECK_EQ_UL(e2e_call_cdecl((FARPROC)pops_its_arguments, two, 2, &popped), 3);
  CHECK_EQ_UL(popped, 8);
  for (i = 0; i < sizeof(calls) / sizeof(calls[0]); ++i) {
    FARPROC f = GetProcAddress(dll, calls[i].name);
    printf("  x86 call %s: ", calls[i].name);
    CHECK(f != NULL);
    if (f == NULL) continue;
    length = 64;
    popped = 99;
    result = e2e_call_cdecl(f, calls[i].args, calls[i].n, &popped);
    printf("result 0x%lx, %lu bytes taken by the callee\n", (unsigned long)result, (unsigned long)popped);
    CHECK_EQ_UL(popped, 0);
    if (calls[i].checkResult) CHECK_EQ_UL(result, calls[i].result);
  }
}
#endif

static void check_road(void) {
  static const unsigned char kSerial[16] = {16, 3, '0', 0, '1', 0, '2', 0, '3', 0, 'A', 0, 'B', 0, 'C', 0};
  static const unsigned char kDevice[18] = {18, 1, 0, 2, 0, 0, 0, 64, 0xbc, 0x0a, 0x34, 0x12, 0, 1, 0, 0, 3, 1};
  unsigned char out[100], vendor[ZELTA_VENDOR_REQUEST_SIZE];
  DescriptorRequestBlock descriptor;
  SetupRequestBlock setup;
  DWORD length, i;

  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_OK);

  /* The serial number: string descriptor 3 as the device sends it. */
  memset(buf, kMarker, sizeof(buf));
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_OK);
  CHECK(memcmp(buf, kSerial, sizeof(kSerial)) == 0);
  CHECK(untouched(sizeof(kSerial), 64));
  printf("serial number of device 0x%x: %lu bytes, \"", kDevA, (unsigned long)buf[0]);
  for (i = 2; i < buf[0]; i += 2) putchar(buf[i]);
  printf("\"\n");
  CHECK_EQ_UL(serialNumber(kDevA, buf, 8), ZELTA_E_DESCRIPTOR); /* it does not fit */
  CHECK_EQ_UL(serialNumber(kDevA, NULL, 64), ZELTA_E_INVALIDARG);
  CHECK_EQ_UL(serialNumber(kDevB, buf, 64), ZELTA_E_DESCRIPTOR); /* not the locked device */

  /* Vendor request, device to host: the driver's fill pattern, its count. */
  memset(vendor, 0, sizeof(vendor));
  vendor[0] = kDevA;
  vendor[4] = 0xC0;
  vendor[5] = 5;
  vendor[6] = 0x10;
  vendor[10] = 8;
  memset(buf, kMarker, sizeof(buf));
  length = 16;
  CHECK_EQ_UL(vendorCommand(vendor, buf, &length), ZELTA_OK);
  CHECK_EQ_UL(length, 8);
  for (i = 0; i < 8; ++i) CHECK_EQ_UL(buf[i], (5 + 0x10 + i) & 0xFF);
  CHECK(untouched(8, 16));
  vendor[4] = 0x80; /* a standard request is not a vendor request */
  length = 16;
  CHECK_EQ_UL(vendorCommand(vendor, buf, &length), ZELTA_E_VENDOR);
  CHECK_EQ_UL(vendorCommand(vendor, buf, NULL), ZELTA_E_INVALIDARG);

  /* Bulk: what goes out with flag 0 comes back with flag 1. */
  for (i = 0; i < sizeof(out); ++i) out[i] = (unsigned char)(i * 3);
  length = sizeof(out);
  CHECK_EQ_UL(bulkio(kDevA, out, &length, 0), ZELTA_OK);
  CHECK_EQ_UL(length, sizeof(out));
  memset(buf, kMarker, sizeof(buf));
  length = 200;
  CHECK_EQ_UL(bulkio(kDevA, buf, &length, 1), ZELTA_OK);
  CHECK_EQ_UL(length, sizeof(out));
  CHECK(memcmp(buf, out, sizeof(out)) == 0);
  CHECK(untouched(sizeof(out), 200));
  /* Only the flag's low 8 bits count: 0x100 sends out, 0x101 reads back. */
  length = 10;
  CHECK_EQ_UL(bulkio(kDevA, out + 50, &length, 0x100), ZELTA_OK);
  length = 200;
  CHECK_EQ_UL(bulkio(kDevA, buf, &length, 0x101), ZELTA_OK);
  CHECK_EQ_UL(length, 10);
  CHECK(memcmp(buf, out + 50, 10) == 0);
  length = 5; /* nothing kept now: a read returns no bytes */
  CHECK_EQ_UL(bulkio(kDevA, buf, &length, 1), ZELTA_OK);
  CHECK_EQ_UL(length, 0);

  /* Descriptor: the device is the block's, whatever the first argument. */
  descriptor.deviceNumber = kDevA;
  descriptor.descriptorIndex = 0;
  descriptor.descriptorType = 1;
  descriptor.languageId = 0;
  descriptor.reserved = 0;
  memset(buf, kMarker, sizeof(buf));
  CHECK_EQ_UL(getDescriptor(0xDEAD, &descriptor, buf, 64), ZELTA_OK);
  CHECK(memcmp(buf, kDevice, sizeof(kDevice)) == 0);
  CHECK(untouched(sizeof(kDevice), 64));
  descriptor.descriptorType = 7;
  CHECK_EQ_UL(getDescriptor(0, &descriptor, buf, 64), ZELTA_E_DESCRIPTOR);

  /* Interface information: 28 bytes, counted. */
  memset(buf, kMarker, sizeof(buf));
  length = 64;
  CHECK_EQ_UL(interfaceInfo(kDevA, buf, &length), ZELTA_OK);
  CHECK_EQ_UL(length, 28);
  CHECK_EQ_UL(buf[0], 28);
  CHECK_EQ_UL(buf[4], 8); /* mass storage */
  CHECK(untouched(28, 64));
  length = 10;
  CHECK_EQ_UL(interfaceInfo(kDevA, buf, &length), ZELTA_E_INTERFACE);
  CHECK_EQ_UL(interfaceInfo(kDevA, buf, NULL), ZELTA_E_INTERFACE); /* its only failure status */

  /* Standard requests. */
  memset(buf, kMarker, sizeof(buf));
  setup_block(&setup, kDevA, 0x80, 6, 0x0100, 0, 18); /* GET_DESCRIPTOR, device */
  CHECK_EQ_UL(standardRequest(&setup, buf), ZELTA_OK);
  CHECK(memcmp(buf, kDevice, sizeof(kDevice)) == 0);
  CHECK(untouched(18, 64));
  setup_block(&setup, kDevA, 0x00, 9, 0, 0, 0); /* SET_CONFIGURATION 0, no data stage */
  CHECK_EQ_UL(standardRequest(&setup, NULL), ZELTA_OK);
  setup_block(&setup, kDevA, 0x80, 8, 0, 0, 1); /* GET_CONFIGURATION */
  buf[0] = kMarker;
  CHECK_EQ_UL(standardRequest(&setup, buf), ZELTA_OK);
  CHECK_EQ_UL(buf[0], 0);
  setup_block(&setup, kDevA, 0x00, 9, 1, 0, 0);
  CHECK_EQ_UL(standardRequest(&setup, NULL), ZELTA_OK);
  setup_block(&setup, kDevA, 0x80, 0x33, 0, 0, 2); /* a request the device stalls */
  CHECK_EQ_UL(standardRequest(&setup, buf), ZELTA_E_REQUEST);
  setup_block(&setup, kDevA, 0x80, 0, 0, 0, 2);
  CHECK_EQ_UL(standardRequest(&setup, NULL), ZELTA_E_INVALIDARG);

  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_OK);
  /* The link is closed again: commands fail without reaching the driver. */
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_E_DESCRIPTOR);
  length = 64;
  CHECK_EQ_UL(interfaceInfo(kDevA, buf, &length), ZELTA_E_INTERFACE);
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_E_NODEVICE);
}

static void check_lock_failures(void) {
  HANDLE other;
  /* A device the driver does not serve: the select fails, the link closes. */
  CHECK_EQ_UL(lockUnlock(kNotServed, 1), ZELTA_E_SELECT);
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_E_DESCRIPTOR);
  CHECK_EQ_UL(lockUnlock(kNotServed, 0), ZELTA_E_NODEVICE);

  /* Another handle holds device B: the lock request fails. */
  other = lock_elsewhere(kDevB);
  CHECK_EQ_UL(lockUnlock(kDevB, 1), ZELTA_E_LOCK);
  CHECK_EQ_UL(lockUnlock(kDevB, 0), ZELTA_E_NODEVICE);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  CHECK_EQ_UL(lockUnlock(kDevB, 1), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kDevB, 0x100), ZELTA_OK); /* a flag of 0x100 unlocks */

  /* A failed select closes the link even when an earlier lock opened it,
   * and that lock ends with it: another handle can take device A. */
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kNotServed, 1), ZELTA_E_SELECT);
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_E_DESCRIPTOR);
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_E_NODEVICE);
  other = lock_elsewhere(kDevA);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

  /* A failed unlock keeps the link; lock twice, one unlock closes it. */
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kDevB, 0), ZELTA_E_LOCK); /* B is not locked */
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_E_NODEVICE);
}

static void check_search_during_lock(void) {
  HANDLE other;
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_OK);
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_OK);
  check_binding("0123abc", "EG", SLOT_A, kDevA);
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_E_DESCRIPTOR);
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_E_NODEVICE);
  /* The driver let the lock go with the library's handle: another handle
   * takes it now. */
  other = lock_elsewhere(kDevA);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

  /* A search that ends before its binding phase leaves a lock alone. */
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_OK);
  CHECK_EQ_UL(search(0x0abc, 0x9999), ZELTA_E_NODEVICE);
  CHECK_EQ_UL(serialNumber(kDevA, buf, 64), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(kDevA, 0), ZELTA_OK);
}

int main(int argc, char **argv) {
  const char *pkg;
  char path[MAX_PATH], sys[MAX_PATH], readerA[MAX_PATH];
  HMODULE dll;
  DWORD begin = GetTickCount();
  ZELTADRV_CHILD(argc, argv);
  pkg = argc > 1 ? argv[1] : "C:\\pkg";

  /* Reader A with a serial number and disks E: and G:, reader B without one
   * and its disk F:, and a device of another vendor. */
  CHECK(world_two_readers(readerA, sizeof(readerA)));
  CHECK(world_add(&world_usb, "USB\\VID_0DEF&PID_0001\\XYZ9", NULL, path, sizeof(path)));

  _snprintf(path, sizeof(path), "%s\\zeltadll.dll", pkg);
  path[sizeof(path) - 1] = 0;
  dll = LoadLibraryA(path);
  CHECK(dll != NULL);
  if (dll == NULL) return e2e_finish();
  search = (PFN_zeltaSearchUsbDevice)(void (*)(void))need(dll, "zeltaSearchUsbDevice");
  next = (PFN_zeltaGetDriveMap)(void (*)(void))need(dll, "zeltaGetDriveMap");
  lockUnlock = (PFN_zeltaLockUnlock)(void (*)(void))need(dll, "zeltaLockUnlock");
  serialNumber = (PFN_zeltaGetSerialNumber)(void (*)(void))need(dll, "zeltaGetSerialNumber");
  vendorCommand = (PFN_zeltaVendorCommand)(void (*)(void))need(dll, "zeltaVendorCommand");
  bulkio = (PFN_zeltaBulkio)(void (*)(void))need(dll, "zeltaBulkio");
  getDescriptor = (PFN_zeltaGetDescriptor)(void (*)(void))need(dll, "zeltaGetDescriptor");
  interfaceInfo = (PFN_zeltaGetInterfaceInfo)(void (*)(void))need(dll, "zeltaGetInterfaceInfo");
  standardRequest = (PFN_zeltaStandardRequest)(void (*)(void))need(dll, "zeltaStandardRequest");
  if (!search || !next || !lockUnlock || !serialNumber || !vendorCommand || !bulkio || !getDescriptor ||
      !interfaceInfo || !standardRequest) {
    CHECK(!"every export is there");
    return e2e_finish();
  }

  /* Before the driver runs: the search cannot open its link. */
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_E_OPEN);
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_E_NODEVICE);

  _snprintf(sys, sizeof(sys), "%s\\zeltadrv.sys", pkg);
  sys[sizeof(sys) - 1] = 0;
  CHECK(zeltadrv_install(sys));
  CHECK(zeltadrv_configure(kSlots, (int)(sizeof(kSlots) / sizeof(kSlots[0]))));
  if (!zeltadrv_start(60000, 3)) {
    CHECK(!"the driver starts");
    zeltadrv_remove();
    return e2e_finish();
  }

  check_search();
  check_record_layout(readerA);
  check_examples(pkg);
#if defined(__i386__)
  check_cdecl(dll);
#endif
  check_road();
  check_lock_failures();
  check_search_during_lock();

  /* The driver stopped: no link to lock with, and the search keeps its records. */
  CHECK(zeltadrv_stop(10000));
  CHECK_EQ_UL(lockUnlock(kDevA, 1), ZELTA_E_NODEVICE);
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_E_OPEN);
  check_binding("0123abc", "EG", "", 0);
  CHECK(zeltadrv_remove());
  CHECK(FreeLibrary(dll));
  printf("total: %lu ms\n", (unsigned long)(GetTickCount() - begin));
  return e2e_finish();
}
