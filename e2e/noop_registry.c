/* The do-nothing baseline again, but linked against advapi32 as any program
 * that uses the registry must be: it shows what loading that DLL alone costs
 * under Wine (scripts/measure-travenne.sh). */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  /* Never true; keeps the import without doing anything. */
  if (GetTickCount() == 0xFFFFFFFFu) RegCloseKey(NULL);
  return 0;
}
