/* The setup program's Windows 98/Me branch, forced with /WIN9X on Wine's
 * NT-family system, on Wine's null graphics driver: installed over the
 * NT-family programs, it takes those back; brelmot.exe is in the Windows
 * folder, in the Run key and running; a reinstall closes it, replaces it
 * without a restart and starts it again; the silent uninstall closes its
 * window (brelmot ends as a closed window makes it end) and removes it, a
 * registration that a brelmot ended otherwise left behind included, and
 * leaves the drive icons of others alone. */
#include "setup_e2e.h"

#define WAIT_MS 20000

static HWND find_monitor(DWORD timeoutMs) { return e2e_find_window("BRELMOT", timeoutMs); }

/* The process of brelmot's window, checked to run the installed program.
 * wait_process() ends it when it does not end in time, so that a brelmot
 * left running cannot keep the test's output open. */
static HANDLE monitor_process(HWND window) {
  DWORD pid = 0, size;
  char image[MAX_PATH];
  HANDLE process;
  GetWindowThreadProcessId(window, &pid);
  process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
  CHECK(process != NULL);
  if (!process) return NULL;
  size = sizeof(image);
  CHECK(QueryFullProcessImageNameA(process, 0, image, &size));
  printf("  brelmot runs from %s\n", image);
  CHECK(_stricmp(image, path2(windir, "brelmot.exe")) == 0);
  return process;
}

static void check_installed_9x(void) {
  size_t i;
  check_installed(sysdir, "zeltadll.dll");
  check_installed(windir, "brelmot.exe");
  for (i = 0; i < COUNT(nt_windir_files); ++i) check_absent(windir, nt_windir_files[i]);
  check_absent(instdir, "norvainst.exe");
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, RUN_KEY, "brelmot"), run_command("brelmot.exe"));
  CHECK(!value_exists(HKEY_LOCAL_MACHINE, RUN_KEY, "travenne"));
  CHECK_EQ_UL(shared_dll_count(), 1);
  /* No service and no travenne on Windows 98/Me, even with norva.exe there. */
  CHECK(norva_gone());
  CHECK(!key_exists(HKEY_LOCAL_MACHINE, BOOKKEEPING));
  check_registration("9x", (file_size(path2(sysdir, "zeltadll.dll")) + 1023) / 1024 +
                               (file_size(path2(windir, "brelmot.exe")) + 1023) / 1024);
  CHECK(nothing_pending());
}

static const char *brelmot_icon_key(char letter) {
  static char path[128];
  sprintf(path, DRIVE_ICONS "\\%c\\DefaultIcon", letter);
  return path;
}

int main(int argc, char **argv) {
  HWND first, second;
  HANDLE process;
  char stale[MAX_PATH + 16];
  setup_init(argc, argv);
  CHECK(CopyFileA(path2(pkg, "norvainst.exe"), path2(sysdir, "norva.exe"), FALSE));

  printf("the NT-family programs first, then the 9x branch over them\n");
  CHECK_EQ_UL(setup(""), SETUP_OK);
  CHECK(file_exists(path2(windir, "travenne.exe")));
  CHECK_EQ_UL(norva_state(), 1);
  CHECK(find_monitor(0) == NULL);
  CHECK_EQ_UL(setup("/WIN9X"), SETUP_OK);
  check_installed_9x();
  first = find_monitor(WAIT_MS);
  CHECK(first != NULL);
  process = first ? monitor_process(first) : NULL;

  printf("reinstall while brelmot runs: closed, replaced, started again\n");
  CHECK_EQ_UL(setup("/WIN9X"), SETUP_OK);
  if (process) {
    CHECK_EQ_UL(wait_process(process, WAIT_MS), 0);
    CloseHandle(process);
  }
  check_installed_9x();
  second = find_monitor(WAIT_MS);
  CHECK(second != NULL && second != first);
  process = second ? monitor_process(second) : NULL;

  /* A registration of a brelmot that did not get to take it back, and one
   * of another program. */
  _snprintf(stale, sizeof(stale), "%s\\brelmot.exe,3", windir);
  set_text(HKEY_LOCAL_MACHINE, brelmot_icon_key('E'), "", stale, REG_OPTION_VOLATILE);
  set_text(HKEY_LOCAL_MACHINE, brelmot_icon_key('F'), "", "C:\\windows\\system32\\shell32.dll,8",
           REG_OPTION_VOLATILE);

  printf("silent uninstall: brelmot's window closed, the program gone\n");
  CHECK_EQ_UL(uninstall(), 0);
  if (process) {
    /* 0: it ended through its window's destruction, not killed. */
    CHECK_EQ_UL(wait_process(process, WAIT_MS), 0);
    CloseHandle(process);
  }
  CHECK(find_monitor(0) == NULL);
  check_nothing_left();
  CHECK(!key_exists(HKEY_LOCAL_MACHINE, brelmot_icon_key('E')));
  CHECK_STR(reg_text(HKEY_LOCAL_MACHINE, brelmot_icon_key('F'), ""), "C:\\windows\\system32\\shell32.dll,8");
  CHECK(nothing_pending());
  return e2e_finish();
}
