/* Small harness for the end-to-end test programs that run under Wine: checks
 * that count and report, and starting a deliverable with a time limit. Each
 * program ends with e2e_finish(), which prints "N passed, N failed" and
 * returns the exit code. */
#ifndef E2E_H
#define E2E_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

static int e2e_passed, e2e_failed;

#define CHECK(cond)                                                               \
  do {                                                                            \
    if (cond) {                                                                   \
      ++e2e_passed;                                                               \
    } else {                                                                      \
      ++e2e_failed;                                                               \
      printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);                      \
    }                                                                             \
  } while (0)

#define CHECK_EQ_UL(a, b)                                                         \
  do {                                                                            \
    unsigned long e2e_a = (unsigned long)(a), e2e_b = (unsigned long)(b);         \
    if (e2e_a == e2e_b) {                                                         \
      ++e2e_passed;                                                               \
    } else {                                                                      \
      ++e2e_failed;                                                               \
      printf("FAIL %s:%d: %s == %s (%lu, 0x%lx vs %lu, 0x%lx)\n", __FILE__, __LINE__, #a, #b, \
             e2e_a, e2e_a, e2e_b, e2e_b);                                         \
    }                                                                             \
  } while (0)

#define CHECK_STR(a, b)                                                           \
  do {                                                                            \
    const char *e2e_a = (a), *e2e_b = (b);                                        \
    if (e2e_a && e2e_b && strcmp(e2e_a, e2e_b) == 0) {                            \
      ++e2e_passed;                                                               \
    } else {                                                                      \
      ++e2e_failed;                                                               \
      printf("FAIL %s:%d: %s == %s (\"%s\" vs \"%s\")\n", __FILE__, __LINE__, #a, #b, \
             e2e_a ? e2e_a : "(null)", e2e_b ? e2e_b : "(null)");                 \
    }                                                                             \
  } while (0)

/* Runs the command line `line` (program name first; CreateProcessA may write
 * to it) and waits at most timeoutMs; with an output handle, the child's
 * standard output and error go there. Returns the exit code, or -1000 when
 * it could not start, -1001 when it timed out (it is killed). */
static __inline long e2e_run_line_to(char *line, DWORD timeoutMs, HANDLE output) {
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  DWORD code = 0;
  memset(&si, 0, sizeof(si));
  si.cb = sizeof(si);
  if (output != NULL) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = output;
    si.hStdError = output;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  if (!CreateProcessA(NULL, line, NULL, NULL, output != NULL, 0, NULL, NULL, &si, &pi)) return -1000;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return -1001;
  }
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (long)(int)code;
}

static __inline long e2e_run_line(char *line, DWORD timeoutMs) { return e2e_run_line_to(line, timeoutMs, NULL); }

/* Runs "dir\program" args (a blank between them when there are args); as
 * e2e_run_line_to. */
static __inline long e2e_run_to(const char *dir, const char *program, const char *args, DWORD timeoutMs,
                                HANDLE output) {
  char line[1024];
  _snprintf(line, sizeof(line), "\"%s\\%s\"%s%s", dir, program, args && *args ? " " : "", args ? args : "");
  line[sizeof(line) - 1] = 0;
  return e2e_run_line_to(line, timeoutMs, output);
}

static __inline long e2e_run(const char *dir, const char *program, const char *args, DWORD timeoutMs) {
  return e2e_run_to(dir, program, args, timeoutMs, NULL);
}

/* e2e_run with the child's output caught in out (at most size - 1 bytes,
 * NUL-terminated; the C runtime writes its line feeds to a file as CR LF). */
static __inline long e2e_run_output(const char *dir, const char *program, const char *args, DWORD timeoutMs,
                                    char *out, DWORD size) {
  SECURITY_ATTRIBUTES sa = {sizeof(SECURITY_ATTRIBUTES), NULL, TRUE};
  char file[MAX_PATH];
  DWORD got = 0;
  HANDLE h;
  long code;
  out[0] = 0;
  _snprintf(file, sizeof(file), "%s\\%s.out", dir, program);
  file[sizeof(file) - 1] = 0;
  h = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return -1000;
  code = e2e_run_to(dir, program, args, timeoutMs, h);
  SetFilePointer(h, 0, NULL, FILE_BEGIN);
  ReadFile(h, out, size - 1, &got, NULL);
  out[got] = 0;
  CloseHandle(h);
  return code;
}

/* The top-level window of a class, waiting at most timeoutMs for it to
 * appear; NULL when none does. */
static __inline HWND e2e_find_window(const char *className, DWORD timeoutMs) {
  DWORD waited = 0;
  for (;;) {
    HWND h = FindWindowA(className, NULL);
    if (h || waited >= timeoutMs) return h;
    Sleep(100);
    waited += 100;
  }
}

static int e2e_finish(void) {
  printf("%d passed, %d failed\n", e2e_passed, e2e_failed);
  return e2e_failed == 0 ? 0 : 1;
}

#endif
