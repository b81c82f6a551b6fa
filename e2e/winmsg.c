/* Small tool for scripts/demo.sh: talks to a top-level window by class name.
 *   winmsg find CLASS      prints the window, its title and whether it is visible
 *   winmsg arrival CLASS   sends it WM_DEVICECHANGE DBT_DEVICEARRIVAL (a volume) and prints the answer
 *   winmsg close CLASS     posts it WM_CLOSE
 * Exit code 1 when no such window exists. */
#include <windows.h>
#include <dbt.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  HWND window = NULL;
  char title[128] = "";
  int i;
  if (argc < 3) {
    fprintf(stderr, "usage: winmsg find|arrival|close CLASS\n");
    return 2;
  }
  for (i = 0; i < 300 && !window; ++i) { /* up to 30 s: the first window of a prefix starts its desktop */
    window = FindWindowA(argv[2], NULL);
    if (!window) Sleep(100);
  }
  if (!window) {
    printf("no window of class %s\n", argv[2]);
    return 1;
  }
  if (strcmp(argv[1], "find") == 0) {
    GetWindowTextA(window, title, sizeof(title));
    printf("window of class %s found: title \"%s\", %s\n", argv[2], title,
           IsWindowVisible(window) ? "visible" : "not visible");
  } else if (strcmp(argv[1], "arrival") == 0) {
    DEV_BROADCAST_VOLUME volume;
    DWORD_PTR answer = 99;
    memset(&volume, 0, sizeof(volume));
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << 4;
    SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&volume, SMTO_ABORTIFHUNG, 5000, &answer);
    printf("WM_DEVICECHANGE DBT_DEVICEARRIVAL (volume E:) answered %lu\n", (unsigned long)answer);
  } else if (strcmp(argv[1], "close") == 0) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    printf("WM_CLOSE posted\n");
  }
  return 0;
}
