/* Shared by the setup program's end-to-end tests: where the package's files
 * go, running the setup program and its uninstaller as an administrator or
 * as a user without administrator rights, and reading back the files and
 * registry entries they leave. A 32-bit test program sees the file system
 * and the registry as the 32-bit setup program does (the system folder
 * through syswow64, HKLM\Software through Wow6432Node). */
#ifndef SETUP_E2E_H
#define SETUP_E2E_H

#include "norva.h"

#include <tlhelp32.h>

#define SETUP_EXE "zeltapkg-setup.exe"
#define ARP_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\zeltapkg"
#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define SHARED_DLLS "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
#define SESSION_MANAGER "System\\CurrentControlSet\\Control\\Session Manager"
#define BOOKKEEPING "Software\\Travenne"
#define DRIVES "Applications\\Explorer.exe\\Drives"
#define DRIVE_ICONS "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons"

/* Exit codes of the setup program. */
#define SETUP_OK 0
#define SETUP_NOT_ADMIN 5
#define SETUP_RESTART 3010

static const char *pkg;
static char windir[MAX_PATH], sysdir[MAX_PATH], instdir[MAX_PATH];

/* The package's files in the folders the setup program puts them in. */
static const char *const nt_windir_files[] = {"travenne.exe", "cfico.ico",   "sdico.ico",
                                              "smico.ico",    "msico.ico",   "comboico.ico"};
static const char *const dev_files[] = {"zeltadll.h", "zeltadll.def", "zeltadll.lib", "libzeltadll.dll.a",
                                        "zeltainfo.exe"};
#define COUNT(a) (sizeof(a) / sizeof((a)[0]))

static void setup_init(int argc, char **argv) {
  char programs[MAX_PATH];
  pkg = argc > 1 ? argv[1] : "C:\\pkg";
  GetWindowsDirectoryA(windir, sizeof(windir));
  GetSystemDirectoryA(sysdir, sizeof(sysdir));
  /* A 32-bit program's Program Files folder: "C:\Program Files (x86)" on a
   * 64-bit system, as the setup program's own. */
  if (!GetEnvironmentVariableA("ProgramFiles", programs, sizeof(programs))) strcpy(programs, "C:\\Program Files");
  _snprintf(instdir, sizeof(instdir), "%s\\Zelta card reader", programs);
  printf("Windows folder %s, system folder %s, install folder %s\n", windir, sysdir, instdir);
}

static const char *path2(const char *dir, const char *name) {
  static char paths[8][MAX_PATH * 2];
  static int next;
  char *p = paths[next++ % 8];
  _snprintf(p, MAX_PATH * 2, "%s\\%s", dir, name);
  p[MAX_PATH * 2 - 1] = 0;
  return p;
}

static int file_exists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

static DWORD file_size(const char *path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeLow;
}

/* The two files hold the same bytes. */
static int same_file(const char *a, const char *b) {
  static char da[1 << 20], db[1 << 20];
  DWORD na = 0, nb = 0;
  HANDLE fa = CreateFileA(a, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  HANDLE fb = CreateFileA(b, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  int same = 0;
  if (fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE && ReadFile(fa, da, sizeof(da), &na, NULL) &&
      ReadFile(fb, db, sizeof(db), &nb, NULL))
    same = na == nb && na > 0 && memcmp(da, db, na) == 0;
  if (fa != INVALID_HANDLE_VALUE) CloseHandle(fa);
  if (fb != INVALID_HANDLE_VALUE) CloseHandle(fb);
  return same;
}

/* The installed file is the package's own copy. */
static void check_installed(const char *dir, const char *name) {
  const char *path = path2(dir, name);
  if (!same_file(path, path2(pkg, name))) printf("  %s is not the package's\n", path);
  CHECK(same_file(path, path2(pkg, name)));
}

static void check_absent(const char *dir, const char *name) {
  const char *path = path2(dir, name);
  if (file_exists(path)) printf("  %s is still there\n", path);
  CHECK(!file_exists(path));
}

/* ---- registry ---- */

static int key_exists(HKEY root, const char *path) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegCloseKey(key);
  return 1;
}

static int value_exists(HKEY root, const char *path, const char *name) {
  HKEY key;
  LONG rc;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  rc = RegQueryValueExA(key, name, NULL, NULL, NULL, NULL);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

/* A string value's text ("" when it is missing or not a string). */
static const char *reg_text(HKEY root, const char *path, const char *name) {
  static char texts[4][1024];
  static int next;
  char *text = texts[next++ % 4];
  HKEY key;
  DWORD type = 0, size = sizeof(texts[0]) - 1;
  text[0] = 0;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return text;
  if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)text, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    size = 0;
  text[size] = 0;
  RegCloseKey(key);
  return text;
}

/* A DWORD value, or ~0 when it is missing. */
static DWORD reg_dword(HKEY root, const char *path, const char *name) {
  HKEY key;
  DWORD type = 0, value = ~0u, size = sizeof(value);
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return ~0u;
  if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size) != ERROR_SUCCESS || type != REG_DWORD)
    value = ~0u;
  RegCloseKey(key);
  return value;
}

static void set_text(HKEY root, const char *path, const char *name, const char *text, DWORD options) {
  HKEY key;
  CHECK_EQ_UL(RegCreateKeyExA(root, path, 0, NULL, options, KEY_ALL_ACCESS, NULL, &key, NULL), ERROR_SUCCESS);
  CHECK_EQ_UL(RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text)), ERROR_SUCCESS);
  RegCloseKey(key);
}

/* The Run value that starts a program of the Windows folder at each logon. */
static const char *run_command(const char *program) {
  static char text[MAX_PATH + 8];
  _snprintf(text, sizeof(text), "\"%s\\%s\"", windir, program);
  return text;
}

/* ---- running the setup program and its uninstaller ---- */

/* A copy of this process's token without the Administrators group: what a
 * user without administrator rights runs with. */
static HANDLE user_token(void) {
  SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
  SID_AND_ATTRIBUTES disabled;
  PSID admins = NULL;
  HANDLE token = NULL, restricted = NULL;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &admins))
    return NULL;
  disabled.Sid = admins;
  disabled.Attributes = 0;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token))
    CreateRestrictedToken(token, 0, 1, &disabled, 0, NULL, 0, NULL, &restricted);
  if (token) CloseHandle(token);
  FreeSid(admins);
  return restricted;
}

/* Waits for a process; its exit code, or -1001 after timeoutMs (it is
 * ended). */
static long wait_process(HANDLE process, DWORD timeoutMs) {
  DWORD code = 0;
  if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
    return -1001;
  }
  GetExitCodeProcess(process, &code);
  return (long)(int)code;
}

/* Runs a command line, as the test's administrator or (admin 0) as a user
 * without administrator rights, and waits at most timeoutMs. With
 * children, the processes it started are waited for too: the uninstaller
 * works from a copy of itself in the temporary folder that it starts and
 * does not wait for. Returns the exit code of the last process waited for;
 * -1000 when it could not start, -1001 when it timed out. */
static long run_as(const char *command, int admin, int children, DWORD timeoutMs) {
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  char line[1024];
  HANDLE token = admin ? NULL : user_token();
  BOOL started;
  long code;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  _snprintf(line, sizeof(line), "%s", command);
  line[sizeof(line) - 1] = 0;
  if (!admin && !token) {
    printf("no restricted token (error %lu)\n", GetLastError());
    return -1000;
  }
  started = admin ? CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)
                  : CreateProcessAsUserA(token, NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi);
  if (token) CloseHandle(token);
  if (!started) return -1000;
  CloseHandle(pi.hThread);
  code = wait_process(pi.hProcess, timeoutMs);
  if (children && code != -1001) {
    /* The parent's handle is still open, so its id names no other process. */
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    if (snapshot != INVALID_HANDLE_VALUE && Process32First(snapshot, &entry)) {
      do {
        if (entry.th32ParentProcessID == pi.dwProcessId && entry.th32ProcessID != pi.dwProcessId) {
          HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
          if (child) {
            code = wait_process(child, timeoutMs);
            CloseHandle(child);
          }
        }
      } while (Process32Next(snapshot, &entry));
    }
    if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
  }
  CloseHandle(pi.hProcess);
  return code;
}

/* The setup program from the package folder, silent, with further switches. */
static long setup_as(const char *args, int admin) {
  char line[MAX_PATH + 128];
  _snprintf(line, sizeof(line), "\"%s\\" SETUP_EXE "\" /S %s", pkg, args);
  line[sizeof(line) - 1] = 0;
  return run_as(line, admin, 0, 120000);
}

static long setup(const char *args) { return setup_as(args, 1); }

/* The silent uninstall as Add/Remove Programs' entry gives it. */
static long uninstall_as(int admin) {
  const char *line = reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "QuietUninstallString");
  CHECK(line[0] != 0);
  if (!line[0]) return -1000;
  return run_as(line, admin, 1, 120000);
}

static long uninstall(void) { return uninstall_as(1); }

/* ---- what the setup program leaves ---- */

/* Add/Remove Programs' entry. EstimatedSize is in kilobytes: the installed
 * files of the given lists and the uninstaller. */
static void check_registration(const char *family, DWORD kilobytes) {
  char expected[MAX_PATH * 2];
  DWORD estimated = reg_dword(HKEY_LOCAL_MACHINE, ARP_KEY, "EstimatedSize");
  kilobytes += (file_size(path2(instdir, "uninstall.exe")) + 1023) / 1024;
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "DisplayName"), "Zelta card reader package");
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "DisplayVersion"), "1.0.0.1");
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "Publisher"), "Zelta");
  _snprintf(expected, sizeof(expected), "\"%s\\uninstall.exe\"", instdir);
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "UninstallString"), expected);
  strcat(expected, " /S");
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "QuietUninstallString"), expected);
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "InstallLocation"), instdir);
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, ARP_KEY, "Family"), family);
  /* Rounded per file: within a few kilobytes of the sum. */
  printf("  EstimatedSize %lu KB, files %lu KB\n", (unsigned long)estimated, (unsigned long)kilobytes);
  CHECK(estimated + 8 >= kilobytes && estimated <= kilobytes + 8);
  CHECK(file_exists(path2(instdir, "uninstall.exe")));
}

/* The package's one reference to zeltadll.dll in Windows' SharedDLLs count. */
static DWORD shared_dll_count(void) { return reg_dword(HKEY_LOCAL_MACHINE, SHARED_DLLS, path2(sysdir, "zeltadll.dll")); }

/* Windows' list of moves and deletions left for the next restart: pairs of
 * NUL-terminated names, the target empty for a deletion and marked '!' for
 * a replacement. */
static DWORD pending_renames(char *list, DWORD size) {
  HKEY key;
  DWORD got = size - 2, type = 0;
  memset(list, 0, size);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  if (RegQueryValueExA(key, "PendingFileRenameOperations", NULL, &type, (BYTE *)list, &got) != ERROR_SUCCESS)
    got = 0;
  RegCloseKey(key);
  return got;
}



/* Nothing of the package waits for a restart. The uninstaller's own copy in
 * the temporary folder (NSIS's "~nsu*.tmp\Un.exe") is always deleted at the
 * next restart, since a running program cannot delete its own file. */
static int nothing_pending(void) {
  static char list[8192];
  DWORD got = pending_renames(list, sizeof(list));
  const char *p = list;
  int others = 0;
  while (got && *p) {
    const char *to = p + strlen(p) + 1;
    if (!strstr(p, "\\~nsu") || *to) {
      printf("  waits for a restart: %s -> %s\n", p, *to ? to : "(deleted)");
      ++others;
    }
    p = to + strlen(to) + 1;
  }
  return others == 0;
}

/* Nothing of the package is left: its files, folders, Run values, service,
 * travenne's bookkeeping key, its SharedDLLs reference and its Add/Remove
 * Programs entry. */
static void check_nothing_left(void) {
  size_t i;
  for (i = 0; i < COUNT(nt_windir_files); ++i) check_absent(windir, nt_windir_files[i]);
  check_absent(windir, "brelmot.exe");
  check_absent(sysdir, "zeltadll.dll");
  for (i = 0; i < COUNT(dev_files); ++i) check_absent(path2(instdir, "dev"), dev_files[i]);
  check_absent(instdir, "norvainst.exe");
  check_absent(instdir, "uninstall.exe");
  CHECK(!file_exists(instdir));
  CHECK(!value_exists(HKEY_LOCAL_MACHINE, RUN_KEY, "travenne"));
  CHECK(!value_exists(HKEY_LOCAL_MACHINE, RUN_KEY, "brelmot"));
  CHECK(!key_exists(HKEY_LOCAL_MACHINE, ARP_KEY));
  CHECK(!key_exists(HKEY_LOCAL_MACHINE, BOOKKEEPING));
  CHECK_EQ_UL(shared_dll_count(), ~0u);
  CHECK(norva_gone());
}

#endif
