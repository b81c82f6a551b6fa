// The loader calls of brelmot's shell refresh: shell32.dll loaded by name,
// SHUpdateImageA looked up by name and, failing that, by its ordinal 191,
// and the library freed again; with the failures hostwin's tests imitate (a
// module that is not there, an export that is not there by name or by
// ordinal).
#include "conformance.h"

using conformance::Outcome;

namespace {

const char* Same(FARPROC a, FARPROC b) { return a != nullptr && a == b ? "the same" : "another"; }

}  // namespace

int main() {
  HMODULE shell32 = LoadLibraryA("shell32.dll");
  std::printf("load shell32.dll -> %s\n", Outcome(shell32 != nullptr).s);
  // The same module, whatever the case and with or without its extension.
  HMODULE again = LoadLibraryA("SHELL32");
  std::printf("load SHELL32 -> %s, %s module\n", Outcome(again != nullptr).s,
              again == shell32 ? "the same" : "another");

  const FARPROC byName = GetProcAddress(shell32, "SHUpdateImageA");
  std::printf("SHUpdateImageA by name -> %s\n", Outcome(byName != nullptr).s);
  const FARPROC byOrdinal = GetProcAddress(shell32, MAKEINTRESOURCEA(191));
  std::printf("ordinal 191 -> %s, %s function\n", Outcome(byOrdinal != nullptr).s, Same(byOrdinal, byName));
  const FARPROC missing = GetProcAddress(shell32, "SHUpdateImageX");
  std::printf("a name it does not export -> %s\n", Outcome(missing != nullptr).s);
  // Beyond the last ordinal that shell32 exports. Only the failure is
  // printed: Wine reports ERROR_PROC_NOT_FOUND, and which error Windows gives
  // for an ordinal past the table is not settled here (brelmot reads none).
  const FARPROC missingOrdinal = GetProcAddress(shell32, MAKEINTRESOURCEA(65000));
  std::printf("an ordinal it does not export -> %s\n", missingOrdinal != nullptr ? "ok" : "fails");

  std::printf("free -> %s\n", Outcome(FreeLibrary(again) != FALSE).s);
  // Still loaded once: the export is still there.
  std::printf("by name after one free -> %s, %s function\n",
              Outcome(GetProcAddress(shell32, "SHUpdateImageA") != nullptr).s,
              Same(GetProcAddress(shell32, "SHUpdateImageA"), byName));
  std::printf("free -> %s\n", Outcome(FreeLibrary(shell32) != FALSE).s);

  HMODULE none = LoadLibraryA("hostwinconfnone.dll");
  std::printf("load a module that is not there -> %s\n", Outcome(none != nullptr).s);
  return 0;
}
