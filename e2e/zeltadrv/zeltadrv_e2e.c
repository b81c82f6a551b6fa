/* The simulated maker driver under Wine: loaded through the service manager,
 * then every control code asked directly with DeviceIoControl: the codes it
 * knows, the bytes it returns and the buffers it leaves alone, its lock
 * state across handles, and its failures. */
#include "e2e.h"
#include "zeltadrv_ctl.h"

enum {
  kSelect = 0x0022200C,
  kLock = 0x00222010,
  kUnlock = 0x00222014,
  kGetDescriptor = 0x00222019,
  kVendor = 0x0022202A,
  kBulk1 = 0x0022202E,
  kBulk0 = 0x00222032,
  kSlotName = 0x00222034,
  kSlotValue = 0x00222038,
  kInterfaceInfo = 0x0022203C,
  kStandard = 0x00222042
};

#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

enum { kDev1 = 0x11, kDev2 = 0x22, kDevNoSerial = 0x44, kNotServed = 0x99, kMarker = 0xBD };

#define NAME127 "A#B#k127#" \
  "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
#define NAME128 NAME127 "y"

static const ZeltaDrvSlot kSlots[] = {
    {"USB#Vid_1234&Pid_5678#sim0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 1, kDev1, "SIM0001", 0x12345678},
    {"USB#Vid_1234&Pid_5679#sim0002#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 1, kDev2, "SIM-0002-XYZ", 0x12345679},
    {"NAME#WITHOUT#value#D", 0, 0, NULL, 0},
    {NAME127, 1, kDevNoSerial, NULL, 0},
    /* Too long for the library's 256 bytes: refused when the driver reads its
     * settings, which ends the slots here. */
    {NAME128, 1, 0x55, "S", 0},
};
#define SLOT_COUNT (int)(sizeof(kSlots) / sizeof(kSlots[0]))
#define SERVED_COUNT (SLOT_COUNT - 1)

static unsigned char g_buf[8192 + 16];

/* One DeviceIoControl on a buffer of outLen bytes (null when 0), marked
 * beyond it, or holding outInit. Checks the result, the error, the count,
 * the first expBytes bytes against expData (any content when null) and that
 * nothing else changed. */
static void io_case(const char *what, HANDLE h, DWORD code, const void *in, DWORD inLen, const void *outInit,
                    DWORD outLen, DWORD expError, DWORD expBytes, const void *expData) {
  DWORD bytes = 0xDEADBEEF, error, i, bad = (DWORD)-1;
  BOOL ok;
  memset(g_buf, kMarker, sizeof(g_buf));
  if (outInit) memcpy(g_buf, outInit, outLen);
  SetLastError(0);
  ok = DeviceIoControl(h, code, (void *)in, inLen, outLen ? g_buf : NULL, outLen, &bytes, NULL);
  error = ok ? 0 : GetLastError();
  if (expError) expBytes = 0;
  if (expData && memcmp(g_buf, expData, expBytes) != 0) bad = 0;
  for (i = expData ? expBytes : 0; i < outLen + 16 && bad == (DWORD)-1; ++i) {
    unsigned char want = outInit && i < outLen ? ((const unsigned char *)outInit)[i] : kMarker;
    if (i < expBytes && !expData) continue;
    if (g_buf[i] != want) bad = i;
  }
  /* The count is only defined on success: Wine leaves it untouched after a failure. */
  if (error == expError && (error || bytes == expBytes) && bad == (DWORD)-1) {
    ++e2e_passed;
  } else {
    ++e2e_failed;
    printf("FAIL %s: code 0x%08lx gave error %lu, %lu bytes (want %lu, %lu)", what, code, error, bytes, expError,
           expBytes);
    if (bad != (DWORD)-1) printf(", buffer wrong at byte %lu", bad);
    printf("\n");
  }
}

static HANDLE open_checked(void) {
  HANDLE h = zeltadrv_open();
  CHECK(h != INVALID_HANDLE_VALUE);
  return h;
}

static void check_codes(HANDLE h) {
  static const struct {
    const char *name;
    DWORD code, inLen;
  } kCodes[] = {{"SELECT_DEVICE", kSelect, 4},       {"LOCK", kLock, 4},
                {"UNLOCK", kUnlock, 4},              {"GET_DESCRIPTOR", kGetDescriptor, 12},
                {"VENDOR_REQUEST", kVendor, 12},     {"BULK_1", kBulk1, 4},
                {"BULK_0", kBulk0, 4},               {"GET_SLOT_NAME", kSlotName, 1},
                {"GET_SLOT_VALUE", kSlotValue, 1},   {"GET_INTERFACE_INFO", kInterfaceInfo, 4},
                {"STANDARD_REQUEST", kStandard, 12}};
  /* Functions 0x800 to 0x812 with other methods, the unused 0x807 to 0x809,
   * another device type and another access. */
  static const DWORD kUnknown[] = {0x00222000, 0x0022201C, 0x00222020, 0x00222024, 0x00222018, 0x0022200F,
                                   0x00222030, 0x00222036, 0x00222044, 0x0002200C, 0x0022600C, 0x00222048};
  unsigned char in[16];
  char what[96];
  size_t i;
  DWORD sizes[3];
  memset(in, 0, sizeof(in));
  /* Each code is known: a wrong input size fails as such, not as an unknown code. */
  for (i = 0; i < sizeof(kCodes) / sizeof(kCodes[0]); ++i) {
    int s;
    sizes[0] = 0;
    sizes[1] = kCodes[i].inLen - 1;
    sizes[2] = kCodes[i].inLen + 1;
    for (s = 0; s < 3; ++s) {
      sprintf(what, "%s with %lu input bytes", kCodes[i].name, sizes[s]);
      io_case(what, h, kCodes[i].code, sizes[s] ? in : NULL, sizes[s], NULL, 64, ERROR_INVALID_PARAMETER, 0, NULL);
    }
  }
  for (i = 0; i < sizeof(kUnknown) / sizeof(kUnknown[0]); ++i) {
    sprintf(what, "unknown code 0x%08lx", kUnknown[i]);
    io_case(what, h, kUnknown[i], in, 4, NULL, 64, ERROR_INVALID_FUNCTION, 0, NULL);
  }
}

static void widen(const char *text, unsigned char *out) {
  size_t i, n = strlen(text);
  for (i = 0; i <= n; ++i) {
    out[2 * i] = (unsigned char)text[i];
    out[2 * i + 1] = 0;
  }
}

static void check_slots(HANDLE h, const ZeltaDrvSlot *slots, int count) {
  unsigned char expected[520];
  char what[96];
  int i;
  for (i = 0; i < count; ++i) {
    unsigned char slot = (unsigned char)i;
    DWORD need = (DWORD)(strlen(slots[i].name) + 1) * 2;
    widen(slots[i].name, expected);
    /* The library's 256-byte buffer, then exactly the name's size and one byte less. */
    sprintf(what, "slot %d name in 256 bytes", i);
    io_case(what, h, kSlotName, &slot, 1, NULL, 256, 0, need, expected);
    sprintf(what, "slot %d name in %lu bytes", i, need);
    io_case(what, h, kSlotName, &slot, 1, NULL, need, 0, need, expected);
    sprintf(what, "slot %d name in %lu bytes", i, need - 1);
    io_case(what, h, kSlotName, &slot, 1, NULL, need - 1, ERROR_INSUFFICIENT_BUFFER, 0, NULL);
    sprintf(what, "slot %d value", i);
    io_case(what, h, kSlotValue, &slot, 1, NULL, 8, slots[i].hasValue ? 0 : ERROR_NOT_FOUND, 4, &slots[i].value);
    if (slots[i].hasValue) {
      sprintf(what, "slot %d value in 3 bytes", i);
      io_case(what, h, kSlotValue, &slot, 1, NULL, 3, ERROR_INSUFFICIENT_BUFFER, 0, NULL);
    }
  }
  /* Past the served slots, and far past them. */
  for (i = count; i < 256; i += 255 - count) {
    unsigned char slot = (unsigned char)i;
    sprintf(what, "slot %d name (not served)", i);
    io_case(what, h, kSlotName, &slot, 1, NULL, 256, ERROR_NOT_FOUND, 0, NULL);
    sprintf(what, "slot %d value (not served)", i);
    io_case(what, h, kSlotValue, &slot, 1, NULL, 4, ERROR_NOT_FOUND, 0, NULL);
  }
}

/* Lock state across two handles, as a sequence of steps. */
static void check_lock_state(void) {
  enum { A, B, kReopen = 0 };
  static const struct {
    int handle;
    DWORD code, device, error;
    const char *what;
  } kSteps[] = {
      {A, kLock, kDev1, ERROR_BAD_COMMAND, "lock without a select"},
      {A, kUnlock, kDev1, ERROR_BAD_COMMAND, "unlock of a device not locked"},
      {A, kSelect, kNotServed, ERROR_NO_SUCH_DEVICE, "select of a device not served"},
      {A, kLock, kNotServed, ERROR_NO_SUCH_DEVICE, "lock of a device not served"},
      {A, kInterfaceInfo, kDev1, ERROR_BAD_COMMAND, "command before any lock"},
      {A, kSelect, kDev1, 0, "select"},
      {A, kLock, kDev2, ERROR_BAD_COMMAND, "lock of another device than the selected one"},
      {A, kLock, kDev1, 0, "lock"},
      {A, kInterfaceInfo, kDev1, 0, "command under the lock"},
      {A, kLock, kDev1, 0, "a second lock on the same handle"},
      {A, kInterfaceInfo, kDev2, ERROR_BAD_COMMAND, "command for a device this handle has not locked"},
      {B, kSelect, kDev1, 0, "select while another handle holds the lock"},
      {B, kLock, kDev1, ERROR_SHARING_VIOLATION, "lock held by another handle"},
      {B, kUnlock, kDev1, ERROR_BAD_COMMAND, "unlock of another handle's lock"},
      {B, kInterfaceInfo, kDev1, ERROR_BAD_COMMAND, "command under another handle's lock"},
      {B, kSelect, kDev2, 0, "select of the second device"},
      {B, kSelect, kNotServed, ERROR_NO_SUCH_DEVICE, "a failed select"},
      {B, kLock, kDev2, ERROR_BAD_COMMAND, "lock after a failed select"},
      {B, kSelect, kDev2, 0, "select again"},
      {B, kLock, kDev2, 0, "two handles lock two devices"},
      {A, kUnlock, kDev1, 0, "unlock"},
      {A, kUnlock, kDev1, ERROR_BAD_COMMAND, "a second unlock"},
      {A, kInterfaceInfo, kDev1, ERROR_BAD_COMMAND, "command after the unlock"},
      {A, kLock, kDev1, 0, "the selection outlives the unlock"},
      {A, 0, 0, 0, "close the locking handle"},
      {A, kLock, kDev1, ERROR_BAD_COMMAND, "a new handle has nothing selected"},
      {B, kSelect, kDev1, 0, "select of a device whose locking handle closed"},
      {B, kLock, kDev1, 0, "closing a handle ends its locks"},
      {B, kUnlock, kDev1, 0, "unlock"},
      {B, kUnlock, kDev2, 0, "unlock of the second device"},
  };
  HANDLE h[2];
  size_t i;
  char what[128];
  h[A] = open_checked();
  h[B] = open_checked();
  for (i = 0; i < sizeof(kSteps) / sizeof(kSteps[0]); ++i) {
    DWORD device = kSteps[i].device;
    if (kSteps[i].code == kReopen) {
      CloseHandle(h[kSteps[i].handle]);
      h[kSteps[i].handle] = open_checked();
      continue;
    }
    sprintf(what, "step %u: %s", (unsigned)i, kSteps[i].what);
    io_case(what, h[kSteps[i].handle], kSteps[i].code, &device, 4, NULL, kSteps[i].code == kInterfaceInfo ? 64 : 0,
            kSteps[i].error, kSteps[i].code == kInterfaceInfo ? 28 : 0, NULL);
  }
  CloseHandle(h[A]);
  CloseHandle(h[B]);
}

static void lock(HANDLE h, DWORD device) {
  DWORD bytes;
  CHECK(DeviceIoControl(h, kSelect, &device, 4, NULL, 0, &bytes, NULL));
  CHECK(DeviceIoControl(h, kLock, &device, 4, NULL, 0, &bytes, NULL));
}

static void block(unsigned char *b, DWORD device, unsigned char b4, unsigned char b5, WORD w6, WORD w8, WORD w10) {
  memcpy(b, &device, 4);
  b[4] = b4;
  b[5] = b5;
  memcpy(b + 6, &w6, 2);
  memcpy(b + 8, &w8, 2);
  memcpy(b + 10, &w10, 2);
}

static void check_descriptors(HANDLE h) {
  static const unsigned char kSerial1[] = {16, 3, 'S', 0, 'I', 0, 'M', 0, '0', 0, '0', 0, '0', 0, '1', 0};
  static const unsigned char kSerial2[] = {26, 3, 'S', 0, 'I', 0, 'M', 0, '-', 0, '0', 0, '0', 0, '0', 0,
                                           '2', 0, '-', 0, 'X', 0, 'Y', 0, 'Z', 0};
  static const unsigned char kDevice1[] = {18, 1, 0, 2, 0, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0, 1, 0, 0, 3, 1};
  static const unsigned char kDeviceNoSerial[] = {18, 1, 0, 2, 0, 0, 0, 64, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1};
  static const unsigned char kLanguages[] = {4, 3, 0x09, 0x04};
  static const unsigned char kConfiguration[] = {9, 2, 32, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 2, 8, 6, 0x50, 0,
                                                 7, 5, 0x81, 2, 0, 2, 0, 7, 5, 0x02, 2, 0, 2, 0};
  static const struct {
    const char *what;
    DWORD device;
    unsigned char index, type;
    WORD language;
    DWORD outLen, error, bytes;
    const unsigned char *data;
  } kCases[] = {
      {"serial number", kDev1, 3, 3, 0x0409, 256, 0, 16, kSerial1},
      {"serial number, exact buffer", kDev1, 3, 3, 0x0409, 16, 0, 16, kSerial1},
      {"serial number, one byte short", kDev1, 3, 3, 0x0409, 15, ERROR_INSUFFICIENT_BUFFER, 0, NULL},
      {"serial number, no buffer", kDev1, 3, 3, 0x0409, 0, ERROR_INSUFFICIENT_BUFFER, 0, NULL},
      {"serial number of the second device", kDev2, 3, 3, 0x0409, 64, 0, 26, kSerial2},
      {"serial number in another language", kDev1, 3, 3, 0x0407, 64, ERROR_NOT_SUPPORTED, 0, NULL},
      {"serial number of a device without one", kDevNoSerial, 3, 3, 0x0409, 64, ERROR_NOT_SUPPORTED, 0, NULL},
      {"language list", kDev1, 0, 3, 0, 64, 0, 4, kLanguages},
      {"device descriptor", kDev1, 0, 1, 0, 64, 0, 18, kDevice1},
      {"device descriptor without serial", kDevNoSerial, 0, 1, 0, 18, 0, 18, kDeviceNoSerial},
      {"configuration descriptor", kDev1, 0, 2, 0, 32, 0, 32, kConfiguration},
      {"configuration descriptor, short", kDev1, 0, 2, 0, 9, ERROR_INSUFFICIENT_BUFFER, 0, NULL},
      {"string 4", kDev1, 4, 3, 0x0409, 64, ERROR_NOT_SUPPORTED, 0, NULL},
      {"descriptor type 5", kDev1, 0, 5, 0, 64, ERROR_NOT_SUPPORTED, 0, NULL},
  };
  unsigned char in[12];
  size_t i;
  for (i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    block(in, kCases[i].device, kCases[i].index, kCases[i].type, kCases[i].language, 0, 0);
    io_case(kCases[i].what, h, kGetDescriptor, in, 12, NULL, kCases[i].outLen, kCases[i].error, kCases[i].bytes,
            kCases[i].data);
  }
}

static void check_vendor(HANDLE h) {
  static const struct {
    const char *what;
    unsigned char requestType, request;
    WORD value, length;
    DWORD outLen, error;
  } kCases[] = {
      {"vendor in, 16 of 64 bytes", 0xC0, 0x10, 0x0102, 16, 64, 0},
      {"vendor in, whole buffer", 0xC1, 0xF0, 0x0020, 300, 300, 0},
      {"vendor in, buffer short of wLength", 0xC0, 0x10, 0, 65, 64, ERROR_INSUFFICIENT_BUFFER},
      {"vendor out", 0x40, 0x22, 0, 8, 8, 0},
      {"vendor out, no data", 0x40, 0x23, 0, 0, 0, 0},
      {"standard request through the vendor code", 0x80, 0x06, 0x0100, 18, 64, ERROR_NOT_SUPPORTED},
      {"class request through the vendor code", 0xA1, 0xFE, 0, 1, 64, ERROR_NOT_SUPPORTED},
  };
  static const unsigned char kOut[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  unsigned char in[12], expected[300];
  size_t i;
  for (i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    unsigned j;
    int toHost = (kCases[i].requestType & 0x80) != 0;
    for (j = 0; j < kCases[i].length && j < sizeof(expected); ++j)
      expected[j] = (unsigned char)(kCases[i].request + kCases[i].value + j);
    block(in, kDev1, kCases[i].requestType, kCases[i].request, kCases[i].value, 0, kCases[i].length);
    io_case(kCases[i].what, h, kVendor, in, 12, toHost ? NULL : kOut, kCases[i].outLen, kCases[i].error,
            kCases[i].length, toHost ? expected : kOut);
  }
}

static void check_bulk(HANDLE h) {
  static unsigned char data[5000];
  DWORD device = kDev1;
  unsigned i;
  for (i = 0; i < sizeof(data); ++i) data[i] = (unsigned char)(i * 7 + i / 256);
  io_case("bulk in with nothing kept", h, kBulk1, &device, 4, NULL, 64, 0, 0, NULL);
  io_case("bulk out, 100 bytes", h, kBulk0, &device, 4, data, 100, 0, 100, data);
  io_case("bulk in, buffer short", h, kBulk1, &device, 4, NULL, 99, ERROR_INSUFFICIENT_BUFFER, 0, NULL);
  io_case("bulk in echoes", h, kBulk1, &device, 4, NULL, 200, 0, 100, data);
  io_case("bulk in after the echo", h, kBulk1, &device, 4, NULL, 200, 0, 0, NULL);
  io_case("bulk out, 5000 bytes", h, kBulk0, &device, 4, data, 5000, 0, 4096, data);
  io_case("bulk in of the 4096 kept", h, kBulk1, &device, 4, NULL, 8192, 0, 4096, data);
  io_case("bulk out, no data", h, kBulk0, &device, 4, NULL, 0, 0, 0, NULL);
  io_case("bulk in after an empty out", h, kBulk1, &device, 4, NULL, 16, 0, 0, NULL);
}

static void check_interface_and_standard(HANDLE h) {
  static const unsigned char kInfo[28] = {28, 0, 0, 0, 8, 6, 0x50, 0, 2, 0,    0, 0, 0, 2,
                                          0x81, 0, 2, 0, 0, 0, 0, 2, 2, 0, 2, 0, 0, 0};
  static const unsigned char kDevice1[] = {18, 1, 0, 2, 0, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0, 1, 0, 0, 3, 1};
  static const unsigned char kZero[2] = {0, 0}, kOne[1] = {1};
  static const struct {
    const char *what;
    unsigned char requestType, request;
    WORD value, index, length;
    DWORD outLen, error, bytes;
    const unsigned char *data;
  } kCases[] = {
      {"GET_DESCRIPTOR device", 0x80, 6, 0x0100, 0, 18, 18, 0, 18, kDevice1},
      {"GET_DESCRIPTOR device, cut to wLength", 0x80, 6, 0x0100, 0, 8, 8, 0, 8, kDevice1},
      {"GET_DESCRIPTOR device, wLength past it", 0x80, 6, 0x0100, 0, 64, 64, 0, 18, kDevice1},
      {"GET_DESCRIPTOR buffer short of wLength", 0x80, 6, 0x0100, 0, 18, 17, ERROR_INSUFFICIENT_BUFFER, 0, NULL},
      {"GET_DESCRIPTOR string 5", 0x80, 6, 0x0305, 0x0409, 64, 64, ERROR_NOT_SUPPORTED, 0, NULL},
      {"GET_STATUS", 0x80, 0, 0, 0, 2, 2, 0, 2, kZero},
      {"GET_CONFIGURATION", 0x80, 8, 0, 0, 1, 1, 0, 1, kOne},
      {"SET_CONFIGURATION 0, no data stage", 0x00, 9, 0, 0, 0, 0, 0, 0, NULL},
      {"GET_CONFIGURATION after it", 0x80, 8, 0, 0, 1, 1, 0, 1, kZero},
      {"SET_CONFIGURATION 2", 0x00, 9, 2, 0, 0, 0, ERROR_NOT_SUPPORTED, 0, NULL},
      {"SET_CONFIGURATION 1", 0x00, 9, 1, 0, 0, 0, 0, 0, NULL},
      {"GET_CONFIGURATION again", 0x80, 8, 0, 0, 1, 1, 0, 1, kOne},
      {"GET_INTERFACE", 0x81, 10, 0, 0, 1, 1, 0, 1, kZero},
      {"GET_INTERFACE of interface 1", 0x81, 10, 0, 1, 1, 1, ERROR_NOT_SUPPORTED, 0, NULL},
      {"SET_ADDRESS", 0x00, 5, 3, 0, 0, 0, ERROR_NOT_SUPPORTED, 0, NULL},
      {"vendor request through the standard code", 0xC0, 1, 0, 0, 4, 4, ERROR_NOT_SUPPORTED, 0, NULL},
  };
  DWORD device = kDev1;
  unsigned char in[12];
  size_t i;
  io_case("interface information", h, kInterfaceInfo, &device, 4, NULL, 64, 0, 28, kInfo);
  io_case("interface information, exact buffer", h, kInterfaceInfo, &device, 4, NULL, 28, 0, 28, kInfo);
  io_case("interface information, short", h, kInterfaceInfo, &device, 4, NULL, 27, ERROR_INSUFFICIENT_BUFFER, 0,
          NULL);
  for (i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    block(in, kDev1, kCases[i].requestType, kCases[i].request, kCases[i].value, kCases[i].index, kCases[i].length);
    io_case(kCases[i].what, h, kStandard, in, 12, NULL, kCases[i].outLen, kCases[i].error, kCases[i].bytes,
            kCases[i].data);
  }
}

/* Stops, reconfigures and starts the driver again. */
static int restart(const ZeltaDrvSlot *slots, int count) {
  int ok = zeltadrv_stop(10000);
  ok = ok && zeltadrv_configure(slots, count);
  ok = ok && zeltadrv_start(60000, 3);
  CHECK(ok);
  return ok;
}

int main(int argc, char **argv) {
  char sys[MAX_PATH];
  DWORD begin = GetTickCount(), t;
  HANDLE h;
  ZELTADRV_CHILD(argc, argv);
  (void)e2e_run;
  setvbuf(stdout, NULL, _IONBF, 0);
  sprintf(sys, "%s\\zeltadrv.sys", argc > 1 ? argv[1] : "C:\\pkg");

  CHECK(!zeltadrv_device_opens());
  CHECK(zeltadrv_install(sys));
  CHECK(zeltadrv_configure(kSlots, SLOT_COUNT));
  t = GetTickCount();
  if (!zeltadrv_start(60000, 3)) {
    CHECK(!"the driver starts");
    return e2e_finish();
  }
  printf("first start: %lu ms\n", GetTickCount() - t);

  h = open_checked();
  check_codes(h);
  check_slots(h, kSlots, SERVED_COUNT);
  CloseHandle(h);
  check_lock_state();

  h = open_checked();
  lock(h, kDev1);
  lock(h, kDev2);
  lock(h, kDevNoSerial);
  check_descriptors(h);
  check_vendor(h);
  check_bulk(h);
  check_interface_and_standard(h);
  CloseHandle(h);

  /* More slots than the library asks about, then none at all. */
  {
    static char names[20][32];
    ZeltaDrvSlot many[20];
    int i;
    for (i = 0; i < 20; ++i) {
      sprintf(names[i], "A#B#key%02d#D", i);
      many[i].name = names[i];
      many[i].hasValue = 1;
      many[i].value = 0x100 + (DWORD)i;
      many[i].serial = NULL;
      many[i].usbId = 0;
    }
    t = GetTickCount();
    if (restart(many, 20)) {
      printf("restart: %lu ms\n", GetTickCount() - t);
      h = open_checked();
      check_slots(h, many, 20);
      CloseHandle(h);
    }
    if (restart(NULL, -1)) {
      h = open_checked();
      check_slots(h, many, 0);
      CloseHandle(h);
    }
  }

  CHECK(zeltadrv_stop(10000));
  SetLastError(0);
  h = zeltadrv_open();
  CHECK(h == INVALID_HANDLE_VALUE);
  CHECK_EQ_UL(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK(zeltadrv_remove());
  printf("total: %lu ms\n", GetTickCount() - begin);
  return e2e_finish();
}
