/* travenne under Wine: a disk list with three reader slots and a hard disk,
 * their Enum keys and Windows-format MountedDevices values are written into
 * the prefix; travenne runs; the DefaultIcon values and the marks it left are
 * read back through the registry API. Then one reader goes and it runs again. */
#include "e2e.h"

#include <shellapi.h>

static const char *pkg;
static char windir[MAX_PATH];

#define DISK_ENUM "System\\CurrentControlSet\\Services\\disk\\Enum"
#define ENUM_ROOT "System\\CurrentControlSet\\Enum\\"
#define BOOKKEEPING "Software\\Travenne"

static const char *const sd_reader = "USBSTOR\\DISK&VEN_GENRIC&PROD_CARDREADER_SD&REV_1.00\\000000000001&0";
static const char *const cf_reader = "USBSTOR\\DISK&VEN_GENRIC&PROD_CARDREADER_CF&REV_1.00\\000000000002&0";
static const char *const ms_reader = "USBSTOR\\DISK&VEN_GENRIC&PROD_CARDREADER_MS&REV_1.00\\000000000003&0";
static const char *const hard_disk = "IDE\\DiskHDD80GB0A_____________________3.06____\\5&1a2b3c4d&0&0.0.0";

static long travenne(const char *args) { return e2e_run(pkg, "travenne.exe", args, 30000); }

static void set_string(HKEY root, const char *path, const char *name, const char *text) {
  HKEY key;
  CHECK_EQ_UL(RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL), ERROR_SUCCESS);
  CHECK_EQ_UL(RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1), ERROR_SUCCESS);
  RegCloseKey(key);
}

static void set_disk_list(const char *const *names, DWORD count) {
  HKEY key;
  DWORD i;
  char value[8];
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, DISK_ENUM);
  CHECK_EQ_UL(RegCreateKeyExA(HKEY_LOCAL_MACHINE, DISK_ENUM, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS);
  CHECK_EQ_UL(RegSetValueExA(key, "Count", 0, REG_DWORD, (const BYTE *)&count, 4), ERROR_SUCCESS);
  for (i = 0; i < count; ++i) {
    sprintf(value, i < 10 ? "%lu" : "%02lu", (unsigned long)i);
    CHECK_EQ_UL(RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)names[i], (DWORD)strlen(names[i]) + 1),
                ERROR_SUCCESS);
  }
  RegCloseKey(key);
}

static void set_parent_id_prefix(const char *instance, const char *prefix) {
  char path[512];
  sprintf(path, "%s%s", ENUM_ROOT, instance);
  set_string(HKEY_LOCAL_MACHINE, path, "ParentIdPrefix", prefix);
}

/* A removable volume as Windows 2000/XP records it: REG_BINARY UTF-16LE text. */
static void set_volume(char letter, const char *device_id) {
  HKEY key;
  char text[256], name[16];
  WCHAR wide[256];
  int n;
  sprintf(text, "\\??\\STORAGE#RemovableMedia#%s&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}", device_id);
  sprintf(name, "\\DosDevices\\%c:", letter);
  n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 256) - 1;
  CHECK_EQ_UL(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System\\MountedDevices", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                              NULL),
              ERROR_SUCCESS);
  CHECK_EQ_UL(RegSetValueExA(key, name, 0, REG_BINARY, (const BYTE *)wide, (DWORD)n * 2), ERROR_SUCCESS);
  RegCloseKey(key);
}

static void icon_key(char letter, char *path) {
  sprintf(path, "Applications\\Explorer.exe\\Drives\\%c\\DefaultIcon", letter);
}

/* The DefaultIcon text of a letter, or "" when the key or value is missing;
 * *size gets the data size (or ~0). */
static const char *icon_of(char letter, DWORD *size) {
  static char text[300];
  char path[64];
  HKEY key;
  DWORD type = 0;
  text[0] = 0;
  *size = ~0u;
  icon_key(letter, path);
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return text;
  *size = sizeof(text) - 1;
  if (RegQueryValueExA(key, "", NULL, &type, (BYTE *)text, size) != ERROR_SUCCESS) *size = ~0u;
  else text[*size] = 0;
  if (type != REG_SZ) *size = ~1u;
  RegCloseKey(key);
  return text;
}

/* -1 no mark, else the size of the mark's data. */
static long mark_of(char letter) {
  HKEY key;
  DWORD size = 0, type = 0;
  char name[2] = {letter, 0};
  long result = -1;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, BOOKKEEPING, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return -1;
  if (RegQueryValueExA(key, name, NULL, &type, NULL, &size) == ERROR_SUCCESS) result = type == REG_SZ ? (long)size : -2;
  RegCloseKey(key);
  return result;
}

static void check_own_icon(char letter, const char *file) {
  char expected[MAX_PATH + 32];
  DWORD size;
  const char *text = icon_of(letter, &size);
  sprintf(expected, "%s\\%s", windir, file);
  printf("%c: DefaultIcon \"%s\", mark of %ld bytes\n", letter, text, mark_of(letter));
  CHECK_STR(text, expected);
  /* Written with a byte count equal to the length. Like NT, Wine stores the
   * terminator too when the byte after the counted ones is a NUL, so the
   * value may come back one byte longer, never with anything else. */
  CHECK(size == strlen(expected) || size == strlen(expected) + 1);
  CHECK_EQ_UL(mark_of(letter), 0);     /* a kept mark */
  /* The value names an icon file that Windows can load. */
  CHECK(ExtractIconExA(text, -1, NULL, NULL, 0) == 1);
}

static void check_no_icon(char letter) {
  char path[64];
  HKEY key;
  icon_key(letter, path);
  CHECK(RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &key) == ERROR_FILE_NOT_FOUND);
  CHECK_EQ_UL(mark_of(letter), (unsigned long)-1);
}

static void check_foreign(char letter, const char *text, long mark) {
  DWORD size;
  CHECK_STR(icon_of(letter, &size), text);
  CHECK_EQ_UL(mark_of(letter), mark);
}

/* The marks live in the registry view of travenne's own architecture, the
 * one this test program sees: a 32-bit program's HKLM\Software is
 * Wow6432Node on 64-bit Windows. The other view has no such key. */
static void check_bookkeeping_view(void) {
#if defined(__i386__)
  const REGSAM other = KEY_WOW64_64KEY;
#else
  const REGSAM other = KEY_WOW64_32KEY;
#endif
  HKEY key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, BOOKKEEPING, 0, KEY_QUERY_VALUE | other, &key);
  CHECK_EQ_UL(rc, ERROR_FILE_NOT_FOUND);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
}

/* The installer puts the five icons into the Windows directory. */
static void install_icons(void) {
  const char *files[] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico", "comboico.ico"};
  char from[MAX_PATH], to[MAX_PATH];
  int i;
  for (i = 0; i < 5; ++i) {
    sprintf(from, "%s\\%s", pkg, files[i]);
    sprintf(to, "%s\\%s", windir, files[i]);
    CHECK(CopyFileA(from, to, FALSE));
  }
}

int main(int argc, char **argv) {
  const char *first[] = {hard_disk, sd_reader, cf_reader, ms_reader};
  const char *second[] = {hard_disk, sd_reader, ms_reader};
  char path[64];
  pkg = argc > 1 ? argv[1] : "C:\\pkg";
  GetWindowsDirectoryA(windir, sizeof(windir));
  printf("Windows directory %s, drives in use 0x%lx\n", windir, (unsigned long)GetLogicalDrives());
  install_icons();

  set_disk_list(first, 4);
  set_parent_id_prefix(hard_disk, "4&11111111&0");
  set_parent_id_prefix(sd_reader, "7&2c3d4e5f&0");
  set_parent_id_prefix(cf_reader, "7&3d4e5f60&0");
  set_parent_id_prefix(ms_reader, "7&4e5f6071&0");
  set_volume('E', "7&2c3d4e5f&0");
  set_volume('F', "7&3d4e5f60&0");
  /* Icons of others: K's is marked but names another file, L's names one of
   * ours but was never marked. */
  icon_key('K', path);
  set_string(HKEY_CLASSES_ROOT, path, "", "C:\\windows\\system32\\shell32.dll,8");
  icon_key('L', path);
  set_string(HKEY_CLASSES_ROOT, path, "", "C:\\windows\\sdico.ico");
  {
    HKEY key;
    CHECK_EQ_UL(RegCreateKeyExA(HKEY_LOCAL_MACHINE, BOOKKEEPING, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
                ERROR_SUCCESS);
    CHECK_EQ_UL(RegSetValueExA(key, "K", 0, REG_SZ, (const BYTE *)"", 0), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  printf("first run\n");
  CHECK_EQ_UL(travenne(""), 0);
  check_own_icon('E', "sdico.ico");
  check_own_icon('F', "cfico.ico");
  /* The MS slot has no volume: it is given the first letter neither in use
   * nor claimed, D on a fresh prefix. */
  check_own_icon('D', "msico.ico");
  check_foreign('K', "C:\\windows\\system32\\shell32.dll,8", 0);
  check_foreign('L', "C:\\windows\\sdico.ico", -1);
  check_bookkeeping_view();

  printf("second run, the CF reader gone; arguments are ignored\n");
  set_disk_list(second, 3);
  CHECK_EQ_UL(travenne("ignored arguments"), 0);
  check_own_icon('E', "sdico.ico");
  check_own_icon('D', "msico.ico");
  check_no_icon('F');
  /* Only the DefaultIcon key went. */
  {
    HKEY key;
    CHECK_EQ_UL(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\F", 0, KEY_QUERY_VALUE, &key),
                ERROR_SUCCESS);
    RegCloseKey(key);
  }
  check_foreign('K', "C:\\windows\\system32\\shell32.dll,8", 0);
  check_foreign('L', "C:\\windows\\sdico.ico", -1);

  printf("third run, no MountedDevices: nothing changes\n");
  set_disk_list(second, 0);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\MountedDevices");
  CHECK_EQ_UL(travenne(""), 0);
  check_own_icon('E', "sdico.ico");
  check_own_icon('D', "msico.ico");
  return e2e_finish();
}
