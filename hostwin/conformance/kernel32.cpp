// The kernel32 calls whose rules the programs build on: the Windows and
// system directories (norvainst's image path, brelmot's and travenne's icon
// paths), which answer the size needed when the buffer is too small; the
// lstr string functions brelmot uses; and MultiByteToWideChar, which the
// monitor uses to pass a path to the shell.
//
// The directories are printed in lower case: Wine names them C:\windows,
// hostwin's default world C:\WINDOWS, and Windows compares paths without
// regard to case. MultiByteToWideChar is printed for ASCII text only, the
// same in every ANSI code page; what a failed conversion leaves in the
// buffer is not printed (brelmot empties it either way).
#include "conformance.h"

#include <cctype>
#include <cstring>

using conformance::Outcome;

namespace {

void Directory(const char* what, UINT (*get)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 4];
  std::memset(buffer, conformance::kFiller, sizeof(buffer));
  const UINT length = get(buffer, MAX_PATH);
  char lower[MAX_PATH];
  std::size_t i = 0;
  for (; i < length && i + 1 < sizeof(lower); ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(buffer[i])));
  lower[i] = 0;
  std::printf("%s, %d bytes -> %u \"%s\", terminated %d\n", what, MAX_PATH, length, lower,
              length < MAX_PATH && buffer[length] == 0 ? 1 : 0);
  // No room for the terminator: the size needed, and the buffer left alone.
  std::memset(buffer, conformance::kFiller, sizeof(buffer));
  UINT answer = get(buffer, length);
  std::printf("%s, length bytes -> length%+d, first byte ", what, static_cast<int>(answer - length));
  conformance::PrintHex(buffer, 1);
  std::printf("\n");
  answer = get(buffer, length + 1);
  std::printf("%s, length + 1 bytes -> length%+d\n", what, static_cast<int>(answer - length));
  answer = get(nullptr, 0);
  std::printf("%s, no buffer -> length%+d\n", what, static_cast<int>(answer - length));
}

UINT WindowsDirectory(LPSTR buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); }
UINT SystemDirectory(LPSTR buffer, UINT size) { return GetSystemDirectoryA(buffer, size); }

}  // namespace

int main() {
  Directory("windows directory", WindowsDirectory);
  Directory("system directory", SystemDirectory);

  std::printf("lstrlenA abc -> %d, null -> %d\n", lstrlenA("abc"), lstrlenA(nullptr));
  const WCHAR wide[] = {'a', 'b', 0};
  std::printf("lstrlenW ab -> %d, null -> %d\n", lstrlenW(wide), lstrlenW(nullptr));
  // The single-instance check only asks whether two class names are equal.
  std::printf("lstrcmpA equal -> %d, other case -> %s, longer -> %s\n", lstrcmpA("BRELMOT", "BRELMOT"),
              lstrcmpA("BRELMOT", "brelmot") != 0 ? "unequal" : "equal",
              lstrcmpA("BRELMOT", "BRELMOT2") != 0 ? "unequal" : "equal");
  char copy[8];
  std::memset(copy, conformance::kFiller, sizeof(copy));
  lstrcpynA(copy, "abcdef", 4);
  std::printf("lstrcpynA of 6 into 4 -> ");
  conformance::PrintHex(copy, 6);
  std::printf("\n");

  WCHAR out[8];
  std::memset(out, conformance::kFiller, sizeof(out));
  int n = MultiByteToWideChar(CP_ACP, 0, "abc", -1, out, 4);
  std::printf("MultiByteToWideChar abc into 4 -> %d: ", n);
  conformance::PrintHex(out, 10);
  std::printf("\n");
  n = MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, out, 4);
  std::printf("MultiByteToWideChar abcdef into 4 -> %d, %s\n", n, Outcome(n != 0).s);
  n = MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, nullptr, 0);
  std::printf("MultiByteToWideChar abcdef, size asked -> %d\n", n);
  std::memset(out, conformance::kFiller, sizeof(out));
  n = MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, out, 8);
  std::printf("MultiByteToWideChar 3 of abcdef into 8 -> %d: ", n);
  conformance::PrintHex(out, 8);
  std::printf("\n");
  return 0;
}
