/* A windowless program that does nothing: the baseline that
 * scripts/measure-travenne.sh compares a travenne run with. Built like the
 * package's programs (GUI subsystem, static runtime, stripped). */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  return 0;
}
