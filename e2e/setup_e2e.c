/* The setup program under Wine on an NT-family system (the Windows 2000/XP
 * programs): silent install, the files, the Run entry, the service NORVA
 * with norva.exe in the system folder and without it, travenne's first pass
 * (its bookkeeping key and the icon of a card reader), Add/Remove Programs'
 * entry; a reinstall with the development files; the silent uninstall, after
 * which nothing of the package is left and the drive icons of others are as
 * they were. Also: a user without administrator rights changes nothing, and
 * a file in use is replaced, or deleted, when Windows restarts. */
#include "setup_e2e.h"

#define DISK_ENUM "System\\CurrentControlSet\\Services\\disk\\Enum"
#define SD_READER "USBSTOR\\DISK&VEN_GENRIC&PROD_CARDREADER_SD&REV_1.00\\000000000001&0"

/* Drive icons that are not the package's, set before the install: G names
 * another file, K names another file but carries a mark of travenne, L names
 * one of travenne's icon files but has no mark. */
#define FOREIGN_G "C:\\windows\\system32\\shell32.dll,8"
#define FOREIGN_K "C:\\windows\\system32\\shell32.dll,7"

static char foreign_l[MAX_PATH];

static const char *drive_icon_key(char letter) {
  static char path[64];
  sprintf(path, DRIVES "\\%c\\DefaultIcon", letter);
  return path;
}

/* A name of that list as a path: without "\??\" and without the '!'. */
static const char *pending_path(const char *name) {
  if (name[0] == '!') ++name;
  if (strncmp(name, "\\??\\", 4) == 0) name += 4;
  return name;
}

/* The file that replaces `target` at the restart ("" for none). */
static const char *pending_source(const char *target) {
  static char list[8192];
  DWORD got = pending_renames(list, sizeof(list));
  const char *p = list;
  while (got && *p) {
    const char *to = p + strlen(p) + 1;
    if (to[0] == '!' && _stricmp(pending_path(to), target) == 0) return pending_path(p);
    p = to + strlen(to) + 1;
  }
  return "";
}

/* `path` is deleted at the restart after every replacement listed before. */
static int pending_deletion(const char *path) {
  static char list[8192];
  DWORD got = pending_renames(list, sizeof(list));
  const char *p = list;
  int deleted = 0;
  while (got && *p) {
    const char *to = p + strlen(p) + 1;
    if (_stricmp(pending_path(p), path) == 0 || _stricmp(pending_path(to), path) == 0) deleted = !*to;
    p = to + strlen(to) + 1;
  }
  return deleted;
}

static void print_pending(void) {
  static char list[8192];
  DWORD got = pending_renames(list, sizeof(list));
  const char *p = list;
  while (got && *p) {
    const char *to = p + strlen(p) + 1;
    printf("  at restart: %s -> %s\n", p, *to ? to : "(deleted)");
    p = to + strlen(to) + 1;
  }
}

/* Does what Windows does with that list when it restarts, then clears it. */
static void restart_windows(void) {
  static char list[8192];
  DWORD got = pending_renames(list, sizeof(list));
  const char *p = list;
  HKEY key;
  while (got && *p) {
    const char *to = p + strlen(p) + 1;
    /* A deletion that fails (a name listed twice, a folder not empty yet)
     * is passed over, as at a restart; check_uninstalled() tells what is left. */
    if (*to) CHECK(MoveFileExA(pending_path(p), pending_path(to), MOVEFILE_REPLACE_EXISTING));
    else if (!DeleteFileA(pending_path(p))) RemoveDirectoryA(pending_path(p));
    p = to + strlen(to) + 1;
  }
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
  }
}

static void check_version_resource(void) {
  static char data[8192];
  const char *setup = path2(pkg, SETUP_EXE);
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT size = 0;
  DWORD handle = 0, n = GetFileVersionInfoSizeA(setup, &handle);
  CHECK(n > 0 && n <= sizeof(data));
  if (n == 0 || n > sizeof(data)) return;
  CHECK(GetFileVersionInfoA(setup, 0, n, data));
  CHECK(VerQueryValueA(data, "\\", (void **)&fixed, &size));
  if (!fixed) return;
  CHECK_EQ_UL(fixed->dwFileVersionMS, 0x00010000);
  CHECK_EQ_UL(fixed->dwFileVersionLS, 0x00000001);
  CHECK_EQ_UL(fixed->dwProductVersionMS, 0x00010000);
  CHECK_EQ_UL(fixed->dwProductVersionLS, 0x00000001);
}

/* One card reader slot (SD) in the disk list, whose ParentIdPrefix no
 * volume carries: travenne gives it the first letter neither in use nor
 * claimed, D on a new prefix. */
static void seed_world(void) {
  HKEY key;
  DWORD count = 1;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, DISK_ENUM);
  CHECK_EQ_UL(RegCreateKeyExA(HKEY_LOCAL_MACHINE, DISK_ENUM, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS);
  CHECK_EQ_UL(RegSetValueExA(key, "Count", 0, REG_DWORD, (const BYTE *)&count, 4), ERROR_SUCCESS);
  CHECK_EQ_UL(RegSetValueExA(key, "0", 0, REG_SZ, (const BYTE *)SD_READER, sizeof(SD_READER)), ERROR_SUCCESS);
  RegCloseKey(key);
  set_text(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Enum\\" SD_READER, "ParentIdPrefix", "7&2c3d4e5f&0", 0);

  _snprintf(foreign_l, sizeof(foreign_l), "%s\\sdico.ico", windir);
  set_text(HKEY_CLASSES_ROOT, drive_icon_key('G'), "", FOREIGN_G, 0);
  set_text(HKEY_CLASSES_ROOT, drive_icon_key('K'), "", FOREIGN_K, 0);
  set_text(HKEY_CLASSES_ROOT, drive_icon_key('L'), "", foreign_l, 0);
  set_text(HKEY_LOCAL_MACHINE, BOOKKEEPING, "K", "", 0);
}

static void check_foreign_icons(void) {
  CHECK_STR(reg_text(HKEY_CLASSES_ROOT, drive_icon_key('G'), ""), FOREIGN_G);
  CHECK_STR(reg_text(HKEY_CLASSES_ROOT, drive_icon_key('K'), ""), FOREIGN_K);
  CHECK_STR(reg_text(HKEY_CLASSES_ROOT, drive_icon_key('L'), ""), foreign_l);
}

/* A stand-in for the service program, which is not part of the package. */
static void put_norva(int present) {
  const char *norva = path2(sysdir, "norva.exe");
  if (present) CHECK(CopyFileA(path2(pkg, "norvainst.exe"), norva, FALSE));
  else DeleteFileA(norva);
}

/* NORVA registered by someone else, with a display name of its own. */
static void register_foreign_norva(void) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE svc = CreateServiceA(scm, "NORVA", "NORVA of another package", SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                 path2(sysdir, "norva.exe"), NULL, NULL, NULL, NULL, NULL);
  CHECK(svc != NULL);
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
}

static void delete_norva(void) {
  SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE svc = OpenServiceA(scm, "NORVA", SERVICE_ALL_ACCESS);
  CHECK(svc && DeleteService(svc));
  if (svc) CloseServiceHandle(svc);
  CloseServiceHandle(scm);
  CHECK(norva_gone());
}

/* Everything the NT-family install leaves; dev: the development files too. */
static void check_installed_nt(int dev) {
  DWORD kilobytes = 0;
  size_t i;
  char mark_path[64];
  check_installed(sysdir, "zeltadll.dll");
  kilobytes += (file_size(path2(sysdir, "zeltadll.dll")) + 1023) / 1024;
  for (i = 0; i < COUNT(nt_windir_files); ++i) {
    check_installed(windir, nt_windir_files[i]);
    kilobytes += (file_size(path2(windir, nt_windir_files[i])) + 1023) / 1024;
  }
  check_installed(instdir, "norvainst.exe");
  kilobytes += (file_size(path2(instdir, "norvainst.exe")) + 1023) / 1024;
  check_absent(windir, "brelmot.exe");
  for (i = 0; i < COUNT(dev_files); ++i) {
    /* The console tool is in packages that have it. */
    if (!dev || !file_exists(path2(pkg, dev_files[i]))) {
      check_absent(path2(instdir, "dev"), dev_files[i]);
    } else {
      check_installed(path2(instdir, "dev"), dev_files[i]);
      kilobytes += (file_size(path2(pkg, dev_files[i])) + 1023) / 1024;
    }
  }
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, RUN_KEY, "travenne"), run_command("travenne.exe"));
  CHECK(!value_exists(HKEY_LOCAL_MACHINE, RUN_KEY, "brelmot"));
  CHECK_EQ_UL(shared_dll_count(), 1);
  check_registration("NT", kilobytes);
  /* travenne ran once: the reader's letter has the SD icon and a kept mark. */
  sprintf(mark_path, "%s", "D");
  CHECK(key_exists(HKEY_LOCAL_MACHINE, BOOKKEEPING));
  CHECK(value_exists(HKEY_LOCAL_MACHINE, BOOKKEEPING, mark_path));
  CHECK_STR(reg_text(HKEY_CLASSES_ROOT, drive_icon_key('D'), ""), path2(windir, "sdico.ico"));
  check_foreign_icons();
  CHECK(nothing_pending());
}

/* The silent uninstall took everything back; the icons of others stay. */
static void check_uninstalled(void) {
  check_nothing_left();
  CHECK(!key_exists(HKEY_CLASSES_ROOT, DRIVES "\\D"));
  check_foreign_icons();
  CHECK(nothing_pending());
}

int main(int argc, char **argv) {
  HANDLE held;
  setup_init(argc, argv);
  check_version_resource();
  put_norva(1);

  printf("a user without administrator rights: refused, nothing changed\n");
  CHECK_EQ_UL(setup_as("", 0), SETUP_NOT_ADMIN);
  check_nothing_left();
  seed_world();

  printf("silent install, norva.exe in the system folder\n");
  CHECK_EQ_UL(setup(""), SETUP_OK);
  check_installed_nt(0);
  check_norva("NORVA");
  CHECK_EQ_UL(reg_dword(HKEY_LOCAL_MACHINE, ARP_KEY, "ServiceRegistered"), 1);

  printf("reinstall over it, with the development files\n");
  CHECK_EQ_UL(setup("/DEV"), SETUP_OK);
  check_installed_nt(1);
  check_norva("NORVA");

  printf("a user without administrator rights cannot uninstall\n");
  CHECK_EQ_UL(uninstall_as(0), SETUP_NOT_ADMIN);
  check_installed_nt(1);
  check_norva("NORVA");

  printf("silent uninstall\n");
  CHECK_EQ_UL(uninstall(), 0);
  check_uninstalled();

  printf("without norva.exe: no service; a file of the user's in the install folder stays\n");
  put_norva(0);
  CHECK_EQ_UL(setup(""), SETUP_OK);
  check_installed_nt(0);
  CHECK_EQ_UL(norva_state(), 0);
  CHECK_EQ_UL(reg_dword(HKEY_LOCAL_MACHINE, ARP_KEY, "ServiceRegistered"), 0);
  {
    HANDLE f = CreateFileA(path2(instdir, "notes.txt"), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    CHECK(f != INVALID_HANDLE_VALUE);
    CloseHandle(f);
  }
  CHECK_EQ_UL(uninstall(), 0);
  CHECK(file_exists(path2(instdir, "notes.txt")));
  CHECK(DeleteFileA(path2(instdir, "notes.txt")) && RemoveDirectoryA(instdir));
  check_uninstalled();

  printf("NORVA registered by another package: left as it is by install and uninstall\n");
  put_norva(1);
  register_foreign_norva();
  CHECK_EQ_UL(setup(""), SETUP_OK);
  check_norva("NORVA of another package");
  CHECK_EQ_UL(reg_dword(HKEY_LOCAL_MACHINE, ARP_KEY, "ServiceRegistered"), 0);
  CHECK_EQ_UL(uninstall(), 0);
  check_norva("NORVA of another package");
  delete_norva();
  check_uninstalled();

  printf("a file in use: replaced, then deleted, when Windows restarts\n");
  put_norva(0);
  CHECK_EQ_UL(setup(""), SETUP_OK);
  /* An older travenne.exe, held open as a running program holds its file. */
  CHECK(CopyFileA(path2(pkg, "norvainst.exe"), path2(windir, "travenne.exe"), FALSE));
  held = CreateFileA(path2(windir, "travenne.exe"), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  CHECK(held != INVALID_HANDLE_VALUE);
  CHECK_EQ_UL(setup(""), SETUP_RESTART);
  print_pending();
  CHECK(same_file(path2(windir, "travenne.exe"), path2(pkg, "norvainst.exe")));
  /* A new copy beside it, marked to replace it. */
  CHECK(same_file(pending_source(path2(windir, "travenne.exe")), path2(pkg, "travenne.exe")));
  CHECK_EQ_UL(uninstall(), SETUP_RESTART);
  print_pending();
  CHECK(pending_deletion(path2(windir, "travenne.exe")));
  CloseHandle(held);
  CHECK(file_exists(path2(windir, "travenne.exe")));
  restart_windows();
  check_uninstalled();
  {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path2(windir, "ns*.tmp"), &found);
    CHECK(search == INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
  return e2e_finish();
}
