/* A stand-in for zeltadll.dll, for zeltainfo's end-to-end test: records,
 * statuses and faults that the real library does not give on a test machine,
 * and a log of the calls it gets. It exports what zeltainfo calls, built once
 * with every one of them (fakezelta.def) and once without
 * zeltaGetSerialNumber (fakezelta_noserial.def).
 *
 * The environment chooses, read at each call:
 *   FAKEZELTA      "escapes": two records whose text holds every kind of
 *                  byte, and null strings, and a status the library does not
 *                  define; "loop": a walk that never ends (each record leads
 *                  to itself); anything else: one plain record, ZELTA_OK.
 *   FAKEZELTA_LOG  a file that each call appends one line to. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "zeltadll.h"

#define UNUSED_ENTRY {ZELTA_DRIVEMAP_UNUSED, ZELTA_DRIVEMAP_UNUSED}

static const DeviceRecord kPlain = {{{0, 'D'}, UNUSED_ENTRY, UNUSED_ENTRY, UNUSED_ENTRY}, 0x0abc, 0x1234, "plain1",
                                    "plain1", "", "\\\\?\\usb#vid_0abc&pid_1234#plain1#x", "", 0};

static const DeviceRecord kEscapes[2] = {
    {{{0, 'E'}, {1, '"'}, UNUSED_ENTRY, UNUSED_ENTRY}, 0x0abc, 0x1234, "q\"b\\s/", "\b\f\n\r\t\x01\x1f\x7f",
     "\x80\xe9\xff", "\\\\?\\usb#vid_0abc", "USB#x#q\"b#{}", 0xFFFFFFFFUL},
    {{UNUSED_ENTRY, UNUSED_ENTRY, UNUSED_ENTRY, UNUSED_ENTRY}, 0xffff, 0, NULL, NULL, NULL, NULL, NULL, 0},
};

static int is_mode(const char *mode) {
  char value[32];
  DWORD n = GetEnvironmentVariableA("FAKEZELTA", value, sizeof(value));
  return n > 0 && n < sizeof(value) && strcmp(value, mode) == 0;
}

static void log_call(const char *line) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("FAKEZELTA_LOG", path, sizeof(path)), written;
  HANDLE h;
  if (n == 0 || n >= sizeof(path)) return;
  h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return;
  SetFilePointer(h, 0, NULL, FILE_END);
  WriteFile(h, line, (DWORD)strlen(line), &written, NULL);
  WriteFile(h, "\n", 1, &written, NULL);
  CloseHandle(h);
}

int WINAPIV zeltaGetVersion(void) {
  log_call("version");
  return 999;
}

DWORD WINAPIV zeltaSearchUsbDevice(DWORD vendorId, DWORD productId) {
  char line[64];
  sprintf(line, "search %lx %lx", (unsigned long)vendorId, (unsigned long)productId);
  log_call(line);
  return is_mode("escapes") ? 0x8000000FUL : ZELTA_OK;
}

const DeviceRecord *WINAPIV zeltaGetDriveMap(const DeviceRecord *record) {
  if (is_mode("loop")) return &kPlain;
  if (is_mode("escapes")) {
    if (record == NULL) return &kEscapes[0];
    return record == &kEscapes[0] ? &kEscapes[1] : NULL;
  }
  return record == NULL ? &kPlain : NULL;
}

DWORD WINAPIV zeltaLockUnlock(DWORD deviceNumber, DWORD lock) {
  char line[64];
  sprintf(line, "lock %lx %lx", (unsigned long)deviceNumber, (unsigned long)lock);
  log_call(line);
  if (deviceNumber == 0x99) return ZELTA_E_SELECT;
  /* The unlock fails: zeltainfo reports it and exits with 1. */
  return lock ? ZELTA_OK : ZELTA_E_LOCK;
}

#ifndef FAKEZELTA_NO_SERIAL
/* The serial number: 'A', U+00E9, a surrogate pair, a lone low half, a
 * quote, a backslash, U+0001. */
static const unsigned char kSerial[18] = {18, 3, 'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE,
                                          0x00, 0xDC, '"', 0, '\\', 0, 1, 0};

DWORD WINAPIV zeltaGetSerialNumber(DWORD deviceNumber, void *buffer, DWORD bufferSize) {
  char line[64];
  sprintf(line, "serial %lx %lu", (unsigned long)deviceNumber, (unsigned long)bufferSize);
  log_call(line);
  if (buffer == NULL || bufferSize < sizeof(kSerial)) return ZELTA_E_INVALIDARG;
  memcpy(buffer, kSerial, sizeof(kSerial));
  return ZELTA_OK;
}
#endif
