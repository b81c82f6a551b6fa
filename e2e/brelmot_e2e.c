/* brelmot under Wine, on a virtual display: one instance, a window that is
 * never shown and answers device changes with 0, a clean exit on WM_CLOSE,
 * nothing registered without the card-reader driver (which an NT-family
 * system cannot open), and the resources of the program file. Also measures
 * the idle cost: CPU time over 10 idle seconds and the wake-ups of its
 * threads (printed, not checked). */
#include "e2e.h"

#include <dbt.h>

#define DRIVE_ICONS "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons"

static const char *pkg;

static HWND find_monitor(DWORD timeoutMs) { return e2e_find_window("BRELMOT", timeoutMs); }

static int drive_icons_entries(void) {
  HKEY key;
  DWORD subkeys = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVE_ICONS, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
  RegCloseKey(key);
  return (int)subkeys;
}

static unsigned long long cpu_100ns(HANDLE process) {
  FILETIME created, exited, kernel, user;
  ULARGE_INTEGER k, u;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  k.LowPart = kernel.dwLowDateTime;
  k.HighPart = kernel.dwHighDateTime;
  u.LowPart = user.dwLowDateTime;
  u.HighPart = user.dwHighDateTime;
  return k.QuadPart + u.QuadPart;
}

/* Voluntary context switches of the Unix process that runs brelmot.exe, read
 * through Wine's Z: drive; -1 when it cannot be found. Each wake-up of a
 * thread that waits is one switch: a pending timer would wake the window's
 * thread every second. */
static long unix_wakeups(void) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
  long total = -1;
  if (search == INVALID_HANDLE_VALUE) return -1;
  do {
    char path[MAX_PATH], text[4096];
    HANDLE f;
    DWORD got = 0, i;
    if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
    _snprintf(path, sizeof(path), "Z:\\proc\\%s\\cmdline", found.cFileName);
    f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) continue;
    ReadFile(f, text, sizeof(text) - 1, &got, NULL);
    CloseHandle(f);
    for (i = 0; i < got; ++i)
      if (text[i] == 0) text[i] = ' ';
    text[got] = 0;
    if (!strstr(text, "brelmot.exe")) continue;
    _snprintf(path, sizeof(path), "Z:\\proc\\%s\\status", found.cFileName);
    f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) continue;
    got = 0;
    ReadFile(f, text, sizeof(text) - 1, &got, NULL);
    CloseHandle(f);
    text[got] = 0;
    {
      const char *v = strstr(text, "voluntary_ctxt_switches:");
      if (v && (v == text || v[-1] == '\n')) total = strtol(v + 24, NULL, 10);
    }
    break;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return total;
}

static void check_resources(void) {
  char path[MAX_PATH], text[128];
  HMODULE file;
  HMENU menu;
  HACCEL accel;
  ACCEL entries[4];
  int n, i;
  static const WORD groups[] = {107, 108, 129, 130, 131, 132, 133};
  _snprintf(path, sizeof(path), "%s\\brelmot.exe", pkg);
  file = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
  CHECK(file != NULL);
  if (!file) return;
  CHECK(LoadStringA(file, 103, text, sizeof(text)) > 0);
  CHECK_STR(text, "brelmot");
  CHECK(LoadStringA(file, 106, text, sizeof(text)) > 0);
  CHECK_STR(text, "Hello World!");
  CHECK(LoadStringA(file, 109, text, sizeof(text)) > 0);
  CHECK_STR(text, "BRELMOT");

  menu = LoadMenuA(file, MAKEINTRESOURCEA(109));
  CHECK(menu != NULL);
  if (menu) {
    CHECK_EQ_UL(GetMenuItemCount(menu), 2);
    GetMenuStringA(menu, 0, text, sizeof(text), MF_BYPOSITION);
    CHECK_STR(text, "&File");
    GetMenuStringA(menu, 1, text, sizeof(text), MF_BYPOSITION);
    CHECK_STR(text, "&Help");
    CHECK_EQ_UL(GetMenuItemID(GetSubMenu(menu, 0), 0), 105);
    GetMenuStringA(GetSubMenu(menu, 0), 0, text, sizeof(text), MF_BYPOSITION);
    CHECK_STR(text, "E&xit");
    CHECK_EQ_UL(GetMenuItemID(GetSubMenu(menu, 1), 0), 104);
    GetMenuStringA(GetSubMenu(menu, 1), 0, text, sizeof(text), MF_BYPOSITION);
    CHECK_STR(text, "&About ...");
    DestroyMenu(menu);
  }

  accel = LoadAcceleratorsA(file, MAKEINTRESOURCEA(109));
  CHECK(accel != NULL);
  if (accel) {
    n = CopyAcceleratorTableA(accel, entries, 4);
    CHECK_EQ_UL(n, 2);
    for (i = 0; i < n && i < 2; ++i) {
      CHECK_EQ_UL(entries[i].fVirt & (FVIRTKEY | FALT), FALT);
      CHECK_EQ_UL(entries[i].key, i == 0 ? '?' : '/');
      CHECK_EQ_UL(entries[i].cmd, 104);
    }
  }
  CHECK(FindResourceA(file, MAKEINTRESOURCEA(103), (LPCSTR)RT_DIALOG) != NULL);

  /* Seven icon groups; the shell counts them as the file's icons. */
  CHECK_EQ_UL(ExtractIconExA(path, -1, NULL, NULL, 0), 7);
  for (i = 0; i < 7; ++i) CHECK(FindResourceA(file, MAKEINTRESOURCEA(groups[i]), (LPCSTR)RT_GROUP_ICON) != NULL);
  FreeLibrary(file);
}

int main(int argc, char **argv) {
  char line[MAX_PATH + 32], text[64];
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  HWND window;
  DWORD code = 12345;
  DWORD_PTR answer;
  DEV_BROADCAST_VOLUME volume;
  DEV_BROADCAST_HDR port;
  static const WPARAM events[] = {DBT_DEVICEARRIVAL, DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVEPENDING,
                                  DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED, 0x1234};
  unsigned long long cpu0, cpu1;
  long wake0, wake1;
  int i;
  pkg = argc > 1 ? argv[1] : "C:\\pkg";

  check_resources();
  CHECK_EQ_UL(drive_icons_entries(), 0);

  /* Started with SW_SHOWMAXIMIZED: the window stays hidden all the same. */
  _snprintf(line, sizeof(line), "\"%s\\brelmot.exe\"", pkg);
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWMAXIMIZED;
  CHECK(CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
  window = find_monitor(30000);
  CHECK(window != NULL);
  if (!window) {
    TerminateProcess(pi.hProcess, 1);
    return e2e_finish();
  }
  CHECK(GetClassNameA(window, text, sizeof(text)) > 0);
  CHECK_STR(text, "BRELMOT");
  CHECK(GetWindowTextA(window, text, sizeof(text)) > 0);
  CHECK_STR(text, "brelmot");
  CHECK(!IsWindowVisible(window));
  CHECK_EQ_UL(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE, 0);

  /* A second start ends at once with -1; the first keeps running. */
  CHECK_EQ_UL(e2e_run(pkg, "brelmot.exe", "", 30000), (DWORD)-1);
  CHECK(IsWindow(window));

  /* Device changes are answered with 0, whatever they are. */
  memset(&volume, 0, sizeof(volume));
  volume.dbcv_size = sizeof(volume);
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << 4;
  memset(&port, 0, sizeof(port));
  port.dbch_size = sizeof(port);
  port.dbch_devicetype = DBT_DEVTYP_PORT;
  for (i = 0; i < (int)(sizeof(events) / sizeof(events[0])); ++i) {
    answer = 99;
    CHECK(SendMessageTimeoutA(window, WM_DEVICECHANGE, events[i], (LPARAM)&volume, SMTO_ABORTIFHUNG, 5000, &answer));
    CHECK_EQ_UL(answer, 0);
  }
  answer = 99;
  CHECK(SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&port, SMTO_ABORTIFHUNG, 5000,
                            &answer));
  CHECK_EQ_UL(answer, 0);
  answer = 99;
  CHECK(SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  CHECK_EQ_UL(answer, 0);
  /* And through a broadcast, as the system sends them. */
  CHECK(SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&volume, SMTO_ABORTIFHUNG,
                            5000, &answer));

  /* Let the burst settle (1 s) and its rescan run; then nothing should happen. */
  Sleep(3000);
  CHECK(!IsWindowVisible(window));
  CHECK_EQ_UL(drive_icons_entries(), 0);

  cpu0 = cpu_100ns(pi.hProcess);
  wake0 = unix_wakeups();
  Sleep(10000);
  cpu1 = cpu_100ns(pi.hProcess);
  wake1 = unix_wakeups();
  printf("idle cost over 10 s: CPU time %llu x 100 ns (%llu ms)\n", cpu1 - cpu0, (cpu1 - cpu0) / 10000);
  if (wake0 >= 0 && wake1 >= 0)
    printf("idle wake-ups of the main Unix thread over 10 s: %ld (a pending 1000 ms timer would give at least 10)\n",
           wake1 - wake0);
  else
    printf("idle wake-ups: the Unix process could not be found\n");

  /* WM_CLOSE ends it with exit code 0, and nothing is left registered. */
  CHECK(PostMessageA(window, WM_CLOSE, 0, 0));
  CHECK_EQ_UL(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  GetExitCodeProcess(pi.hProcess, &code);
  CHECK_EQ_UL(code, 0);
  CHECK(!IsWindow(window));
  CHECK_EQ_UL(drive_icons_entries(), 0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return e2e_finish();
}
