/* Measures what starting a program and waiting for its end costs, for two
 * programs in alternation so that both see the same machine:
 *   runcost ROUNDS A.exe B.exe
 * prints each one's fastest and median wall time and the ratio of the
 * fastest times (A over B). Exit code 1 when a run fails or returns non-zero. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static int compare(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y;
}

static double run_once(const char *program, LARGE_INTEGER frequency, int *failed) {
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  LARGE_INTEGER start, end;
  DWORD code = 1;
  char line[MAX_PATH + 2];
  _snprintf(line, sizeof(line), "\"%s\"", program);
  line[sizeof(line) - 1] = 0;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
    *failed = 1;
    return 0;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (code != 0) *failed = 1;
  return (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

int main(int argc, char **argv) {
  LARGE_INTEGER frequency;
  int rounds, i, failed = 0;
  double *a, *b;
  if (argc != 4 || (rounds = atoi(argv[1])) < 1) {
    fprintf(stderr, "usage: runcost ROUNDS A.exe B.exe\n");
    return 2;
  }
  QueryPerformanceFrequency(&frequency);
  a = calloc((size_t)rounds, sizeof(double));
  b = calloc((size_t)rounds, sizeof(double));
  if (!a || !b) return 2;
  run_once(argv[2], frequency, &failed); /* warm both up: first starts load more */
  run_once(argv[3], frequency, &failed);
  for (i = 0; i < rounds; ++i) {
    a[i] = run_once(argv[2], frequency, &failed);
    b[i] = run_once(argv[3], frequency, &failed);
  }
  qsort(a, (size_t)rounds, sizeof(double), compare);
  qsort(b, (size_t)rounds, sizeof(double), compare);
  printf("%s: fastest %.2f ms, median %.2f ms\n", argv[2], a[0], a[rounds / 2]);
  printf("%s: fastest %.2f ms, median %.2f ms\n", argv[3], b[0], b[rounds / 2]);
  printf("ratio of the fastest runs: %.3f (median %.3f), %d rounds\n", a[0] / b[0], a[rounds / 2] / b[rounds / 2],
         rounds);
  return failed;
}
