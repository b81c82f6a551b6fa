/* zeltainfo.exe under Wine, as a user runs it, against the real zeltadll.dll
 * on fake USB devices and disks, before and with the simulated maker driver:
 * the listing, -v, --json read by a strict JSON parser and compared field by
 * field with what the library reports to this test itself, --serial, every
 * exit code and every kind of bad argument. Then zeltainfo away from the
 * library (none beside it, one that is no DLL, one that lacks an export) and
 * beside a stand-in library (e2e/fakezelta) whose records hold every kind of
 * byte, whose walk never ends, and which logs the calls it gets. */
#include "e2e.h"
#include "json.h"
#include "zelta_world.h"
#include "zeltadll.h"
#include "zeltadrv/zeltadrv_ctl.h"

#define USB_CLASS "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
#define SLOT_A "USB#VID_0ABC&PID_1234#0123abc#" USB_CLASS
#define SLOT_B "USB#VID_0ABC&PID_1234#5&2a3b4c5d&0&2#" USB_CLASS

enum { kDevA = 0x11, kDevB = 0x22, kNotServed = 0x99 };
enum { kSelect = 0x0022200C, kLock = 0x00222010 };
enum { kOutSize = 1 << 20 };

/* Reader A with a serial number, reader B without one. */
static const ZeltaDrvSlot kSlots[] = {
    {SLOT_A, 1, kDevA, "0123ABC", 0x0abc1234},
    {SLOT_B, 1, kDevB, NULL, 0x0abc1234},
};

static const char *pkg;
static char *out; /* the last run's output, CR LF turned into LF */
static JsonDoc doc;
static HMODULE dll;
static PFN_zeltaSearchUsbDevice search;
static PFN_zeltaGetDriveMap next;
static PFN_zeltaGetVersion version;
static PFN_zeltaLockUnlock lockUnlock;
static PFN_zeltaGetSerialNumber serialNumber;

/* ---- Running zeltainfo ---- */

/* Runs dir\zeltainfo.exe args with its standard output and error caught in
 * out; returns its exit code. */
static int firstLineOnly; /* the log shows only the first line of each output */

static long run_in(const char *dir, const char *args) {
  long code = e2e_run_output(dir, "zeltainfo.exe", args, 60000, out, kOutSize);
  const char *end;
  char *r, *w;
  for (r = w = out; *r; ++r)
    if (!(r[0] == '\r' && r[1] == '\n')) *w++ = *r;
  *w = 0;
  end = firstLineOnly && strchr(out, '\n') ? strchr(out, '\n') + 1 : out + strlen(out);
  printf("-- %s\\zeltainfo %s: exit %ld\n%.*s", dir, args, code, (int)(end - out), out);
  return code;
}

static long run(const char *args) { return run_in(pkg, args); }

/* Each piece occurs in out, in this order. */
static int has_in_order(const char *const *pieces, int n) {
  const char *at = out;
  int i;
  for (i = 0; i < n; ++i) {
    const char *found = strstr(at, pieces[i]);
    if (found == NULL) {
      printf("  missing after offset %ld: \"%s\"\n", (long)(at - out), pieces[i]);
      return 0;
    }
    at = found + strlen(pieces[i]);
  }
  return 1;
}

static int has(const char *piece) { return has_in_order(&piece, 1); }

static const char *stristr(const char *text, const char *piece) {
  size_t n = strlen(piece);
  for (; *text; ++text)
    if (_strnicmp(text, piece, n) == 0) return text;
  return NULL;
}

/* ---- The library, as this test sees it ---- */

static FARPROC need(const char *name) {
  FARPROC f = GetProcAddress(dll, name);
  if (f == NULL) printf("no export %s\n", name);
  return f;
}

static int load_library(void) {
  char path[MAX_PATH];
  _snprintf(path, sizeof(path), "%s\\zeltadll.dll", pkg);
  path[sizeof(path) - 1] = 0;
  dll = LoadLibraryA(path);
  if (dll == NULL) return 0;
  search = (PFN_zeltaSearchUsbDevice)(void (*)(void))need("zeltaSearchUsbDevice");
  next = (PFN_zeltaGetDriveMap)(void (*)(void))need("zeltaGetDriveMap");
  version = (PFN_zeltaGetVersion)(void (*)(void))need("zeltaGetVersion");
  lockUnlock = (PFN_zeltaLockUnlock)(void (*)(void))need("zeltaLockUnlock");
  serialNumber = (PFN_zeltaGetSerialNumber)(void (*)(void))need("zeltaGetSerialNumber");
  return search && next && version && lockUnlock && serialNumber;
}

static const char *status_name(DWORD s) {
  switch (s) {
    case ZELTA_OK: return "ZELTA_OK";
    case ZELTA_E_NODEVICE: return "ZELTA_E_NODEVICE";
    case ZELTA_E_SELECT: return "ZELTA_E_SELECT";
    case ZELTA_E_DESCRIPTOR: return "ZELTA_E_DESCRIPTOR";
    case ZELTA_E_LOCK: return "ZELTA_E_LOCK";
    case ZELTA_E_OPEN: return "ZELTA_E_OPEN";
    default: return "?";
  }
}

/* 8-bit text as JSON gives it back: each byte the code point of its value,
 * in UTF-8. */
static void latin1_to_utf8(const char *text, char *utf8, size_t size) {
  size_t n = 0;
  for (; *text && n + 3 < size; ++text) {
    unsigned char c = (unsigned char)*text;
    if (c < 0x80) {
      utf8[n++] = (char)c;
    } else {
      utf8[n++] = (char)(0xC0 | c >> 6);
      utf8[n++] = (char)(0x80 | (c & 0x3F));
    }
  }
  utf8[n] = 0;
}

/* A JSON string member equals the library's 8-bit text (null for null). */
static void check_json_text(int object, const char *name, const char *expected) {
  char utf8[1024];
  int node = json_member(&doc, object, name);
  if (expected == NULL) {
    if (json_type(&doc, node) != JSON_NULL) printf("  member %s\n", name);
    CHECK(json_type(&doc, node) == JSON_NULL);
    return;
  }
  latin1_to_utf8(expected, utf8, sizeof(utf8));
  if (json_text(&doc, node) == NULL || strcmp(json_text(&doc, node), utf8) != 0 ||
      doc.nodes[node].length != (int)strlen(utf8))
    printf("  member %s\n", name);
  CHECK(json_text(&doc, node) != NULL && doc.nodes[node].length == (int)strlen(utf8));
  CHECK_STR(json_text(&doc, node), utf8);
}

static void check_json_uint(int object, const char *name, unsigned long expected) {
  long long v = json_uint(&doc, json_member(&doc, object, name));
  if (v != (long long)expected) printf("  member %s: %lld, expected %lu\n", name, v, expected);
  CHECK(v == (long long)expected);
}

/* The output parses as one JSON document, all ASCII; its root. */
static int parse_out(void) {
  const unsigned char *p;
  int root;
  for (p = (const unsigned char *)out; *p; ++p)
    if (*p >= 0x80) break;
  CHECK(*p == 0);
  root = json_parse(&doc, out, strlen(out));
  if (root < 0) printf("  JSON rejected at offset %lu: %s\n", (unsigned long)doc.errorAt, doc.error);
  CHECK(root >= 0);
  CHECK(json_type(&doc, root) == JSON_OBJECT);
  check_json_uint(root, "zeltainfo", 1);
  return root;
}

/* The library member: the file this test loaded too, and its version. */
static void check_json_library(int root, const char *expectedPath, int expectedVersion) {
  int library = json_member(&doc, root, "library");
  CHECK(json_type(&doc, library) == JSON_OBJECT);
  CHECK(json_text(&doc, json_member(&doc, library, "path")) != NULL &&
        _stricmp(json_text(&doc, json_member(&doc, library, "path")), expectedPath) == 0);
  check_json_uint(library, "version", (unsigned long)expectedVersion);
}

static void check_json_device(int device, const DeviceRecord *r) {
  int drives = json_member(&doc, device, "drives"), i;
  CHECK(json_type(&doc, device) == JSON_OBJECT);
  /* The stable field names, and no other. */
  CHECK_EQ_UL(doc.nodes[device].count, 9);
  check_json_uint(device, "vendorId", r->vendorId);
  check_json_uint(device, "productId", r->productId);
  check_json_text(device, "uniqueId", r->uniqueId);
  check_json_text(device, "childMatchId", r->childMatchId);
  check_json_text(device, "parentIdPrefix", r->parentIdPrefix);
  check_json_text(device, "devicePath", r->devicePath);
  check_json_text(device, "driverSlotName", r->driverSlotName);
  check_json_uint(device, "driverSlotValue", r->driverSlotValue);
  CHECK(json_type(&doc, drives) == JSON_ARRAY);
  for (i = 0; i < ZELTA_DRIVEMAP_ENTRIES && r->driveMap[i].position != ZELTA_DRIVEMAP_UNUSED; ++i) {
    char letter[2];
    letter[0] = (char)r->driveMap[i].letter;
    letter[1] = 0;
    CHECK_STR(json_text(&doc, json_item(&doc, drives, i)), letter);
  }
  CHECK_EQ_UL(doc.nodes[drives].count, i);
}

/* zeltainfo --json [id] against the library's own answer to the same search
 * in this process, field by field. */
static void check_json_listing(const char *id, DWORD vendor, DWORD product) {
  char args[64], dllPath[MAX_PATH];
  const DeviceRecord *r;
  DWORD status;
  int root, searched, devices, i = 0;
  long code;
  _snprintf(args, sizeof(args), "--json %s", id);
  args[sizeof(args) - 1] = 0;
  code = run(args);
  root = parse_out();
  if (root < 0) return;
  status = search(vendor, product);
  GetModuleFileNameA(dll, dllPath, sizeof(dllPath));
  check_json_library(root, dllPath, version());
  searched = json_member(&doc, root, "search");
  check_json_uint(searched, "vendorId", vendor);
  check_json_uint(searched, "productId", product);
  check_json_uint(searched, "status", status);
  CHECK_STR(json_text(&doc, json_member(&doc, searched, "statusName")), status_name(status));
  CHECK(json_text(&doc, json_member(&doc, searched, "statusText")) != NULL);
  CHECK(json_type(&doc, json_member(&doc, searched, "truncated")) == JSON_FALSE);
  devices = json_member(&doc, root, "devices");
  CHECK(json_type(&doc, devices) == JSON_ARRAY);
  for (r = next(NULL); r != NULL; r = next(r), ++i) check_json_device(json_item(&doc, devices, i), r);
  CHECK_EQ_UL(doc.nodes[devices].count, i);
  CHECK_EQ_UL(code, i > 0 ? 0 : 1);
}

/* zeltainfo [-v] [id] as text: the search line, then each record the
 * library gives this test, in its order, with its letters and slot. */
static void check_text_listing(const char *args, DWORD vendor, DWORD product, int verbose) {
  char lines[12][512], dllPath[MAX_PATH];
  const char *pieces[12];
  const DeviceRecord *r;
  DWORD status;
  int n = 0, count = 0, i;
  long code = run(args);
  status = search(vendor, product);
  if (verbose) {
    GetModuleFileNameA(dll, dllPath, sizeof(dllPath));
    CHECK(stristr(out, dllPath) != NULL);
    CHECK(has("version 1002\n"));
  }
  _snprintf(lines[n++], 512, ": %s (0x%08lx)\n", status_name(status), (unsigned long)status);
  for (r = next(NULL); r != NULL && n + 4 < 12; r = next(r)) {
    char drives[32] = "";
    ++count;
    for (i = 0; i < 4 && r->driveMap[i].position != 0xFF; ++i)
      sprintf(drives + strlen(drives), "%s%c:", i ? " " : "", r->driveMap[i].letter);
    _snprintf(lines[n++], 512, "Device %d: %04x:%04x, unique id %s\n  drives:           %s\n", count, r->vendorId,
              r->productId, r->uniqueId, drives[0] ? drives : "none");
    if (r->driverSlotName[0])
      _snprintf(lines[n++], 512, "  driver slot:      %s\n  slot value:       0x%lx (%lu)\n", r->driverSlotName,
                (unsigned long)r->driverSlotValue, (unsigned long)r->driverSlotValue);
    else
      _snprintf(lines[n++], 512, "  driver slot:      none\n");
    if (verbose)
      _snprintf(lines[n++], 512, "  device path:      %s\n  child match id:   %s\n  parent id prefix: %s\n",
                r->devicePath, r->childMatchId, r->parentIdPrefix[0] ? r->parentIdPrefix : "none");
  }
  if (count == 0) _snprintf(lines[n++], 512, "\nNo device found.\n");
  else _snprintf(lines[n++], 512, "\n%d device%s found.\n", count, count == 1 ? "" : "s");
  for (i = 0; i < n; ++i) {
    lines[i][511] = 0;
    pieces[i] = lines[i];
  }
  CHECK(has_in_order(pieces, n));
  CHECK(strstr(out, "Usage:") == NULL);
  CHECK_EQ_UL(code, count > 0 ? 0 : 1);
}

/* ---- The serial number ---- */

/* This test's own handle to \\.\ZELTA with the device locked on it. */
static HANDLE lock_elsewhere(DWORD device) {
  HANDLE h = zeltadrv_open();
  DWORD n;
  if (h == INVALID_HANDLE_VALUE) return h;
  if (!DeviceIoControl(h, kSelect, &device, 4, NULL, 0, &n, NULL) ||
      !DeviceIoControl(h, kLock, &device, 4, NULL, 0, &n, NULL)) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

#define NOT_CALLED (-1LL)

static void check_json_step(int serial, const char *name, long long status) {
  int step = json_member(&doc, serial, name);
  if (status < 0) {
    CHECK(json_type(&doc, step) == JSON_NULL);
    return;
  }
  check_json_uint(step, "status", (unsigned long)status);
  CHECK_STR(json_text(&doc, json_member(&doc, step, "statusName")), status_name((DWORD)status));
}

/* zeltainfo --json --serial device against the library's own lock, read and
 * unlock in this process: the statuses, the descriptor's bytes and text. */
static void check_json_serial(DWORD device, const char *text, long long lock, long long read, long long unlock,
                              long exitCode) {
  unsigned char descriptor[256];
  char args[64];
  int root, serial, bytes, i;
  long code;
  _snprintf(args, sizeof(args), "--serial 0x%lx --json", (unsigned long)device);
  code = run(args);
  CHECK_EQ_UL(code, exitCode);
  root = parse_out();
  if (root < 0) return;
  serial = json_member(&doc, root, "serial");
  check_json_uint(serial, "device", device);
  check_json_step(serial, "lock", lock);
  check_json_step(serial, "read", read);
  check_json_step(serial, "unlock", unlock);
  bytes = json_member(&doc, serial, "descriptor");
  if (read != ZELTA_OK) {
    CHECK(json_type(&doc, bytes) == JSON_NULL);
    CHECK(json_type(&doc, json_member(&doc, serial, "serialNumber")) == JSON_NULL);
    return;
  }
  memset(descriptor, 0, sizeof(descriptor));
  CHECK_EQ_UL(lockUnlock(device, 1), ZELTA_OK);
  CHECK_EQ_UL(serialNumber(device, descriptor, sizeof(descriptor)), ZELTA_OK);
  CHECK_EQ_UL(lockUnlock(device, 0), ZELTA_OK);
  CHECK_EQ_UL(doc.nodes[bytes].count, descriptor[0]);
  for (i = 0; i < descriptor[0]; ++i) CHECK_EQ_UL(json_uint(&doc, json_item(&doc, bytes, i)), descriptor[i]);
  CHECK_STR(json_text(&doc, json_member(&doc, serial, "serialNumber")), text);
}

static void check_serial(void) {
  static const char *const ok[] = {
      "zeltaLockUnlock(0x11, 1): ZELTA_OK (0x00000000)\n",
      "zeltaGetSerialNumber(0x11): ZELTA_OK (0x00000000)\n", "  serial number: 0123ABC\n",
      "  descriptor: 10 03 30 00 31 00 32 00 33 00 41 00 42 00 43 00\n",
      "zeltaLockUnlock(0x11, 0): ZELTA_OK (0x00000000)\n"};
  static const char *const noSerial[] = {
      "zeltaLockUnlock(0x22, 1): ZELTA_OK", "zeltaGetSerialNumber(0x22): ZELTA_E_DESCRIPTOR (0x80000003)\n",
      "zeltaLockUnlock(0x22, 0): ZELTA_OK"};
  static const char *const notServed[] = {"zeltaLockUnlock(0x99, 1): ZELTA_E_SELECT (0x80000002)\n",
                                          "zeltaGetSerialNumber(0x99): not called, no lock\n",
                                          "zeltaLockUnlock(0x99, 0): not called, no lock\n"};
  HANDLE other;

  CHECK_EQ_UL(run("-v --serial 0x11"), 0);
  CHECK(has_in_order(ok, 5));
  /* zeltainfo let the device go: this test's own handle takes it. */
  other = lock_elsewhere(kDevA);
  CHECK(other != INVALID_HANDLE_VALUE);
  /* ... and while it holds the device, zeltainfo's lock is refused. */
  CHECK_EQ_UL(run("--serial 17"), 1);
  CHECK(has("zeltaLockUnlock(0x11, 1): ZELTA_E_LOCK (0x80000004)\n"));
  CHECK(has("zeltaGetSerialNumber(0x11): not called, no lock\n"));
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

  CHECK_EQ_UL(run("--serial 0x22"), 1);
  CHECK(has_in_order(noSerial, 3));
  CHECK_EQ_UL(run("--serial=153"), 1);
  CHECK(has_in_order(notServed, 3));

  check_json_serial(kDevA, "0123ABC", ZELTA_OK, ZELTA_OK, ZELTA_OK, 0);
  check_json_serial(kDevB, NULL, ZELTA_OK, ZELTA_E_DESCRIPTOR, ZELTA_OK, 1);
  check_json_serial(kNotServed, NULL, ZELTA_E_SELECT, NOT_CALLED, NOT_CALLED, 1);
}

/* ---- Bad command lines, help, and the library's absence ---- */

#define USAGE_FIRST_LINE "Usage: zeltainfo [-v] [--json] [VID:PID]\n"

/* Run from a folder without zeltadll.dll: the command line is judged first. */
static void check_command_lines(const char *lonely) {
  static const struct {
    const char *args;
    const char *first;
  } bad[] = {
      {"-x", "zeltainfo: unknown option \"-x\"\n"},
      {"--verbose", "zeltainfo: unknown option \"--verbose\"\n"},
      {"--serial", "zeltainfo: --serial needs a device number, such as 0x11 or 17\n"},
      {"-v --serial", "zeltainfo: --serial needs a device number, such as 0x11 or 17\n"},
      {"0abc1234", "zeltainfo: malformed id \"0abc1234\": VID:PID with a colon, such as 0abc:1234\n"},
      {"0abg:1234", "zeltainfo: malformed id \"0abg:1234\": hex digits on both sides of the colon, such as 0abc:1234\n"},
      {"0abc:12345", "zeltainfo: malformed id \"0abc:12345\": at most 4 hex digits on each side\n"},
      {"0abc:1234 0def:1", "zeltainfo: one VID:PID at most; \"0def:1\" is a second one\n"},
      {"--serial x11", "zeltainfo: malformed device number \"x11\" for --serial: decimal or 0x and hex digits\n"},
      {"--serial 0x100000000", "zeltainfo: device number \"0x100000000\" for --serial does not fit 32 bits\n"},
      {"--serial 1 --serial 2", "zeltainfo: --serial given twice: one device at a time\n"},
      {"--serial 1 0abc:1234", "zeltainfo: --serial takes no VID:PID (\"0abc:1234\" given)\n"},
  };
  static const char *const help[] = {"-h", "--help", "/?", "0abc:1234 -h"};
  size_t i;
  firstLineOnly = 1;
  for (i = 0; i < sizeof(bad) / sizeof(bad[0]); ++i) {
    const char *usage;
    CHECK_EQ_UL(run_in(lonely, bad[i].args), 2);
    /* One line, a blank line, the usage; nothing else. */
    CHECK(strncmp(out, bad[i].first, strlen(bad[i].first)) == 0);
    usage = out + strlen(bad[i].first);
    CHECK(strncmp(usage, "\n" USAGE_FIRST_LINE, strlen(USAGE_FIRST_LINE) + 1) == 0);
    CHECK(strstr(usage, "Exit codes: 0 devices found") != NULL);
  }
  for (i = 0; i < sizeof(help) / sizeof(help[0]); ++i) {
    CHECK_EQ_UL(run_in(lonely, help[i]), 0);
    CHECK(strncmp(out, USAGE_FIRST_LINE, strlen(USAGE_FIRST_LINE)) == 0);
    CHECK(has("2 usage error, 3 zeltadll.dll\ncannot be loaded or lacks an export.\n"));
  }
  firstLineOnly = 0;
}

static int copy_into(const char *dir, const char *from, const char *name) {
  char target[MAX_PATH];
  CreateDirectoryA(dir, NULL);
  _snprintf(target, sizeof(target), "%s\\%s", dir, name);
  target[sizeof(target) - 1] = 0;
  return CopyFileA(from, target, FALSE);
}

static int write_file(const char *path, const char *text) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD n = 0;
  if (h == INVALID_HANDLE_VALUE) return 0;
  WriteFile(h, text, (DWORD)strlen(text), &n, NULL);
  CloseHandle(h);
  return n == strlen(text);
}

static void check_without_library(const char *program) {
  static const char *const missing[] = {"zeltainfo: cannot load zeltadll.dll: looked for ",
                                        "\\alone\\zeltadll.dll (beside zeltainfo.exe): error 126"};
  /* The current folder holds the real library: it is not taken instead. */
  CHECK(SetCurrentDirectoryA(pkg));
  CHECK(copy_into("C:\\alone", program, "zeltainfo.exe"));
  check_command_lines("C:\\alone");
  CHECK_EQ_UL(run_in("C:\\alone", ""), 3);
  CHECK(has_in_order(missing, 2));
  CHECK_EQ_UL(run_in("C:\\alone", "--json --serial 0x11"), 3);
  CHECK(has_in_order(missing, 2));
  CHECK(strchr(out, '{') == NULL);

  /* A file of that name that is no DLL. */
  CHECK(copy_into("C:\\notadll", program, "zeltainfo.exe"));
  CHECK(write_file("C:\\notadll\\zeltadll.dll", "not a library\r\n"));
  CHECK_EQ_UL(run_in("C:\\notadll", "-v"), 3);
  CHECK(has("zeltainfo: cannot load zeltadll.dll: looked for "));
  CHECK(stristr(out, "\\notadll\\zeltadll.dll (beside zeltainfo.exe): error 193") != NULL);
}

/* ---- The stand-in library ---- */

static char fakeLog[MAX_PATH];

static void read_log(char *text, DWORD size) {
  HANDLE h = CreateFileA(fakeLog, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  DWORD n = 0;
  text[0] = 0;
  if (h == INVALID_HANDLE_VALUE) return;
  ReadFile(h, text, size - 1, &n, NULL);
  text[n] = 0;
  CloseHandle(h);
  DeleteFileA(fakeLog);
}

static void check_log(const char *expected) {
  char log[512];
  read_log(log, sizeof(log));
  CHECK_STR(log, expected);
}

static void check_stand_in(const char *program, const char *fake, const char *fakeNoSerial) {
  static const char *const escapesText[] = {
      "Library: ", "\\fake\\zeltadll.dll, version 999\n",
      "Search for 0abc:1234: 0x8000000f (unknown)\n  Not a status of zeltadll.\n",
      "Device 1: 0abc:1234, unique id q\"b\\s/\n  drives:           E: \":\n",
      "  driver slot:      USB#x#q\"b#{}\n  slot value:       0xffffffff (4294967295)\n",
      "  device path:      \\\\?\\usb#vid_0abc\n  child match id:   \\x08\\x0c\\x0a\\x0d\\x09\\x01\\x1f\\x7f\n",
      "  parent id prefix: \x80\xe9\xff\n",
      "Device 2: ffff:0000, unique id (null)\n  drives:           none\n  driver slot:      none\n",
      "  device path:      (null)\n", "\n2 devices found.\n"};
  static const char *const serialText[] = {
      "zeltaLockUnlock(0x5, 1): ZELTA_OK (0x00000000)\n", "  serial number: A\\u00e9\\ud83d\\ude00\\udc00\"\\\\u0001\n",
      "zeltaLockUnlock(0x5, 0): ZELTA_E_LOCK (0x80000004)\n  The driver refused the unlock"};
  int root, devices, serial;

  CHECK(copy_into("C:\\fake", program, "zeltainfo.exe"));
  CHECK(copy_into("C:\\fake", fake, "zeltadll.dll"));
  CHECK(copy_into("C:\\partial", program, "zeltainfo.exe"));
  CHECK(copy_into("C:\\partial", fakeNoSerial, "zeltadll.dll"));
  strcpy(fakeLog, "C:\\fake\\calls.log");
  CHECK(SetEnvironmentVariableA("FAKEZELTA_LOG", fakeLog));

  /* Every kind of byte, null strings, an unknown status. */
  CHECK(SetEnvironmentVariableA("FAKEZELTA", "escapes"));
  CHECK_EQ_UL(run_in("C:\\fake", "-v 0abc:1234"), 0);
  CHECK(has_in_order(escapesText, (int)(sizeof(escapesText) / sizeof(escapesText[0]))));
  check_log("version\nsearch abc 1234\n");
  CHECK_EQ_UL(run_in("C:\\fake", "--json 0ABC:1234"), 0);
  check_log("version\nsearch abc 1234\n");
  root = parse_out();
  if (root >= 0) {
    int search = json_member(&doc, root, "search"), drives;
    const DeviceRecord odd[2] = {
        {{{0, 'E'}, {1, '"'}, {0xFF, 0xFF}, {0xFF, 0xFF}}, 0x0abc, 0x1234, "q\"b\\s/", "\b\f\n\r\t\x01\x1f\x7f",
         "\x80\xe9\xff", "\\\\?\\usb#vid_0abc", "USB#x#q\"b#{}", 0xFFFFFFFFUL},
        {{{0xFF, 0xFF}, {0xFF, 0xFF}, {0xFF, 0xFF}, {0xFF, 0xFF}}, 0xffff, 0, NULL, NULL, NULL, NULL, NULL, 0}};
    check_json_library(root, "C:\\fake\\zeltadll.dll", 999);
    check_json_uint(search, "status", 0x8000000FUL);
    CHECK(json_type(&doc, json_member(&doc, search, "statusName")) == JSON_NULL);
    devices = json_member(&doc, root, "devices");
    CHECK_EQ_UL(doc.nodes[devices].count, 2);
    check_json_device(json_item(&doc, devices, 0), &odd[0]);
    check_json_device(json_item(&doc, devices, 1), &odd[1]);
    drives = json_member(&doc, json_item(&doc, devices, 0), "drives");
    CHECK_STR(json_text(&doc, json_item(&doc, drives, 1)), "\"");
    /* The bytes from 0x80 up, as code points U+0080 to U+00FF. */
    CHECK(strstr(out, "\"parentIdPrefix\": \"\\u0080\\u00e9\\u00ff\"") != NULL);
  }

  /* A walk that never ends stops at 1024 records. */
  CHECK(SetEnvironmentVariableA("FAKEZELTA", "loop"));
  CHECK_EQ_UL(e2e_run_output("C:\\fake", "zeltainfo.exe", "--json", 60000, out, kOutSize), 0);
  root = parse_out();
  if (root >= 0) {
    devices = json_member(&doc, root, "devices");
    CHECK_EQ_UL(doc.nodes[devices].count, 1024);
    CHECK(json_type(&doc, json_member(&doc, json_member(&doc, root, "search"), "truncated")) == JSON_TRUE);
  }
  CHECK_EQ_UL(e2e_run_output("C:\\fake", "zeltainfo.exe", "", 60000, out, kOutSize), 0);
  CHECK(strstr(out, "did not end after 1024 records; the rest is not shown.") != NULL);
  CHECK(strstr(out, "1024 devices found.") != NULL);
  DeleteFileA(fakeLog);

  /* The serial number's units, and an unlock that fails. */
  CHECK(SetEnvironmentVariableA("FAKEZELTA", "plain"));
  CHECK_EQ_UL(run_in("C:\\fake", "--serial 5"), 1);
  CHECK(has_in_order(serialText, 3));
  check_log("version\nlock 5 1\nserial 5 256\nlock 5 0\n");
  CHECK_EQ_UL(run_in("C:\\fake", "--serial 5 --json"), 1);
  check_log("version\nlock 5 1\nserial 5 256\nlock 5 0\n");
  root = parse_out();
  serial = json_member(&doc, root, "serial");
  /* U+00E9, U+1F600 and, for the lone half, U+FFFD, in UTF-8. */
  CHECK_STR(json_text(&doc, json_member(&doc, serial, "serialNumber")),
            "A\xc3\xa9\xf0\x9f\x98\x80\xef\xbf\xbd\"\\\x01");
  check_json_uint(json_member(&doc, serial, "unlock"), "status", ZELTA_E_LOCK);
  /* A refused lock: no read, no unlock. */
  CHECK_EQ_UL(run_in("C:\\fake", "--serial 0x99"), 1);
  check_log("version\nlock 99 1\n");

  /* Without zeltaGetSerialNumber: the listing works, --serial names the export. */
  strcpy(fakeLog, "C:\\partial\\calls.log");
  CHECK(SetEnvironmentVariableA("FAKEZELTA_LOG", fakeLog));
  CHECK_EQ_UL(run_in("C:\\partial", ""), 0);
  CHECK(has("Device 1: 0abc:1234, unique id plain1\n"));
  check_log("version\nsearch 0 0\n");
  CHECK_EQ_UL(run_in("C:\\partial", "--serial 5"), 3);
  CHECK(stristr(out, "zeltainfo: C:\\partial\\zeltadll.dll has no export zeltaGetSerialNumber\n") != NULL);
  CHECK(strstr(out, "zeltaLockUnlock") == NULL);
  check_log("");
  SetEnvironmentVariableA("FAKEZELTA", NULL);
  SetEnvironmentVariableA("FAKEZELTA_LOG", NULL);
}

/* ---- The parser itself ---- */

/* The parser accepts what RFC 8259 allows and rejects the faults a writer
 * makes: so a document it takes is JSON. */
static void check_parser(void) {
  static const struct {
    const char *text;
    int ok;
  } cases[] = {
      {"{}", 1}, {" [ ] ", 1}, {"0", 1}, {"-0", 1}, {"\"\"", 1}, {"null", 1},
      {"{\"a\": [1, -2, 2.5e+3, 1E-2, true, false, null, \"\\u00e9\\ud83d\\ude00\\/\\b\"]}", 1},
      {"\"\xc3\xa9\xf0\x9f\x98\x80\"", 1}, {"{\"a\":{\"a\":1}}", 1}, {"\"\\u0000\"", 1},
      {"", 0}, {" ", 0}, {"{", 0}, {"[1,]", 0}, {"{\"a\":1,}", 0}, {"[1 2]", 0}, {"{\"a\" 1}", 0},
      {"{a:1}", 0}, {"{\"a\":1,\"a\":2}", 0}, {"'x'", 0}, {"01", 0}, {"1.", 0}, {".5", 0}, {"+1", 0},
      {"-", 0}, {"1e", 0}, {"0x10", 0}, {"NaN", 0}, {"tru", 0}, {"nul", 0}, {"[1] x", 0}, {"{} {}", 0},
      {"\"a", 0}, {"\"\t\"", 0}, {"\"\x01\"", 0}, {"\"\\q\"", 0}, {"\"\\u12\"", 0}, {"\"\\ud800\"", 0},
      {"\"\\udc00\"", 0}, {"\"\\ud800\\u0041\"", 0}, {"\"\x80\"", 0}, {"\"\xe9\"", 0}, {"\"\xc0\x80\"", 0},
      {"\"\xed\xa0\x80\"", 0}, {"\"\xf4\x90\x80\x80\"", 0}, {"\"\xc3\"", 0},
  };
  char deep[200];
  size_t i;
  for (i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    int root = json_parse(&doc, cases[i].text, strlen(cases[i].text));
    if ((root >= 0) != cases[i].ok) printf("  parser case %u: %s\n", (unsigned)i, root >= 0 ? "taken" : doc.error);
    CHECK((root >= 0) == cases[i].ok);
  }
  memset(deep, '[', 100);
  memset(deep + 100, ']', 100);
  CHECK(json_parse(&doc, deep, sizeof(deep)) < 0);
  /* What it reads back. */
  {
    static const char text[] = "{\"s\": \"\\\"\\\\\\u00e9\\ud83d\\ude00\", \"n\": 4294967295}";
    i = (size_t)json_parse(&doc, text, strlen(text));
  }
  CHECK_STR(json_text(&doc, json_member(&doc, (int)i, "s")), "\"\\\xc3\xa9\xf0\x9f\x98\x80");
  CHECK(json_uint(&doc, json_member(&doc, (int)i, "n")) == 4294967295LL);
}

int main(int argc, char **argv) {
  char program[MAX_PATH], fake[MAX_PATH], fakeNoSerial[MAX_PATH], path[MAX_PATH], sys[MAX_PATH];
  DWORD begin = GetTickCount();
  ZELTADRV_CHILD(argc, argv);
  pkg = argc > 1 ? argv[1] : "C:\\pkg";
  out = (char *)malloc(kOutSize);
  if (out == NULL || !json_init(&doc, 1 << 16, 1 << 20)) return 1;
  _snprintf(program, sizeof(program), "%s\\zeltainfo.exe", pkg);
  _snprintf(fake, sizeof(fake), "%s\\fakezelta.dll", pkg);
  _snprintf(fakeNoSerial, sizeof(fakeNoSerial), "%s\\fakezelta_noserial.dll", pkg);
  _snprintf(sys, sizeof(sys), "%s\\zeltadrv.sys", pkg);

  check_parser();
  check_without_library(program);
  check_stand_in(program, fake, fakeNoSerial);

  CHECK(load_library());
  if (!search || !next || !version || !lockUnlock || !serialNumber) return e2e_finish();

  /* A USB device without a disk: the search finds it and no readable disk. */
  printf("\n== a device without disks\n");
  CHECK(world_add(&world_usb, "USB\\VID_0DEF&PID_0001\\XYZ9", NULL, path, sizeof(path)));
  CHECK_EQ_UL(search(0, 0), ZELTA_E_NODEVICE);
  check_text_listing("", 0, 0, 0);
  check_json_listing("", 0, 0);
  check_text_listing("0abc:1234", 0x0abc, 0x1234, 0);
  check_json_listing("0abc:1234", 0x0abc, 0x1234);

  /* Reader A with disks E: and G:, reader B with disk F:. */
  printf("\n== two readers with their disks, no driver\n");
  CHECK(world_two_readers(path, sizeof(path)));
  CHECK_EQ_UL(search(0, 0), ZELTA_E_OPEN);
  check_text_listing("", 0, 0, 0);
  CHECK(has("ZELTA_E_OPEN (0x80000008)\n  The driver \\\\.\\ZELTA is not there (not installed or not started)."));
  check_text_listing("-v", 0, 0, 1);
  check_json_listing("", 0, 0);
  check_json_listing("0abc:1234", 0x0abc, 0x1234);
  CHECK_EQ_UL(run("--serial 0x11"), 1);
  CHECK(has("zeltaLockUnlock(0x11, 1): ZELTA_E_NODEVICE (0x80000001)\n  The driver \\\\.\\ZELTA cannot be opened"));

  printf("\n== the simulated driver serves both readers\n");
  CHECK(zeltadrv_install(sys));
  CHECK(zeltadrv_configure(kSlots, 2));
  if (!zeltadrv_start(60000, 3)) {
    CHECK(!"the driver starts");
    zeltadrv_remove();
    return e2e_finish();
  }
  CHECK_EQ_UL(search(0x0abc, 0x1234), ZELTA_OK);
  check_text_listing("0abc:1234", 0x0abc, 0x1234, 0);
  CHECK(has("  driver slot:      " SLOT_A "\n  slot value:       0x11 (17)\n"));
  check_text_listing("-v", 0, 0, 1);
  check_json_listing("", 0, 0);
  check_json_listing("0abc:1234", 0x0abc, 0x1234);
  check_text_listing("0def:9999", 0x0def, 0x9999, 0);
  check_json_listing("0def:9999", 0x0def, 0x9999);
  check_serial();

  CHECK(zeltadrv_stop(10000));
  CHECK(zeltadrv_remove());
  CHECK(FreeLibrary(dll));
  printf("total: %lu ms\n", (unsigned long)(GetTickCount() - begin));
  return e2e_finish();
}
