// Prints what the registry answers to the calls whose rules hostwin imitates:
// the terminator a string value gains or not from the byte after its count,
// ERROR_MORE_DATA, names compared without regard to case, keys that cannot be
// deleted while they have subkeys, and volatile keys.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char kKey[] = "Software\\HostwinRegRules";

void Query(HKEY key, const char* name, bool withData, DWORD bufferSize) {
  BYTE data[64];
  std::memset(data, 0xBD, sizeof(data));
  DWORD size = bufferSize;
  DWORD type = 99;
  LONG r = RegQueryValueExA(key, name, nullptr, &type, withData ? data : nullptr, &size);
  // The type is only pinned where the call succeeds.
  std::printf("query %-8s data=%d in=%lu -> %ld type=%lu size=%lu bytes=", name, withData ? 1 : 0,
              static_cast<unsigned long>(bufferSize), static_cast<long>(r),
              static_cast<unsigned long>(r == ERROR_SUCCESS || r == ERROR_MORE_DATA ? type : 0),
              static_cast<unsigned long>(size));
  for (int i = 0; i < 6; ++i) std::printf("%02x", data[i]);
  std::printf("\n");
}

}  // namespace

int main() {
  HKEY key = nullptr;
  DWORD disposition = 0;
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\HostwinRegRules\\Sub");
  RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  LONG r = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                           &disposition);
  std::printf("create -> %ld disposition=%lu\n", static_cast<long>(r), static_cast<unsigned long>(disposition));

  // The byte after a string's count decides whether Windows stores a
  // terminator with it: 'x' here, a NUL in the literal below.
  const BYTE abc[] = {'a', 'b', 'c', 'x'};
  const BYTE bin[] = {1, 2, 3, 4, 5};
  std::printf("set abc -> %ld\n", static_cast<long>(RegSetValueExA(key, "Abc", 0, REG_SZ, abc, 3)));
  std::printf("set term -> %ld\n",
              static_cast<long>(RegSetValueExA(key, "Term", 0, REG_SZ, reinterpret_cast<const BYTE*>("xy"), 3)));
  std::printf("set literal -> %ld\n",
              static_cast<long>(RegSetValueExA(key, "Lit", 0, REG_SZ, reinterpret_cast<const BYTE*>("xy"), 2)));
  std::printf("set empty -> %ld\n", static_cast<long>(RegSetValueExA(key, "Empty", 0, REG_SZ, abc, 0)));
  std::printf("set empty literal -> %ld\n",
              static_cast<long>(RegSetValueExA(key, "EmptyLit", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0)));
  std::printf("set bin -> %ld\n", static_cast<long>(RegSetValueExA(key, "Bin", 0, REG_BINARY, bin, 5)));

  Query(key, "abc", false, 0);
  Query(key, "ABC", true, 3);
  Query(key, "abc", true, 4);
  Query(key, "term", true, 8);
  Query(key, "lit", true, 8);
  Query(key, "emptylit", false, 0);
  Query(key, "empty", false, 0);
  Query(key, "empty", true, 8);
  Query(key, "bin", true, 4);
  Query(key, "bin", true, 5);
  Query(key, "missing", true, 8);
  Query(key, "missing", false, 0);

  std::printf("delete missing value -> %ld\n", static_cast<long>(RegDeleteValueA(key, "missing")));
  std::printf("delete value -> %ld\n", static_cast<long>(RegDeleteValueA(key, "BIN")));
  Query(key, "bin", false, 0);

  HKEY sub = nullptr;
  r = RegCreateKeyExA(key, "Sub", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &sub, &disposition);
  std::printf("create sub -> %ld disposition=%lu\n", static_cast<long>(r), static_cast<unsigned long>(disposition));
  RegCloseKey(sub);
  r = RegCreateKeyExA(HKEY_CURRENT_USER, "software\\hostwinregrules\\SUB", 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &sub, &disposition);
  std::printf("create sub again -> %ld disposition=%lu\n", static_cast<long>(r),
              static_cast<unsigned long>(disposition));
  RegCloseKey(sub);
  std::printf("open missing -> %ld\n",
              static_cast<long>(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\HostwinRegRules\\None", 0, KEY_READ, &sub)));
  std::printf("delete parent -> %ld\n", static_cast<long>(RegDeleteKeyA(HKEY_CURRENT_USER, kKey)) != 0 ? 1L : 0L);
  std::printf("delete sub -> %ld\n", static_cast<long>(RegDeleteKeyA(key, "sub")));
  std::printf("delete sub again -> %ld\n", static_cast<long>(RegDeleteKeyA(key, "sub")));

  // The default value: brelmot writes it with a null name, travenne with ""
  // and reads it back with "".
  std::printf("set default -> %ld\n",
              static_cast<long>(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 4)));
  Query(key, "", true, 8);
  std::printf("set default by \"\" -> %ld\n",
              static_cast<long>(RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("df"), 2)));
  Query(key, "", true, 8);

  // RegOpenKeyA, as travenne opens its keys.
  HKEY opened = nullptr;
  r = RegOpenKeyA(HKEY_CURRENT_USER, "SOFTWARE\\HOSTWINREGRULES", &opened);
  std::printf("RegOpenKeyA -> %ld\n", static_cast<long>(r));
  Query(opened, "ABC", true, 8);
  RegCloseKey(opened);
  opened = nullptr;
  std::printf("RegOpenKeyA missing -> %ld\n",
              static_cast<long>(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\HostwinRegRules\\None", &opened)));

  HKEY vol = nullptr, child = nullptr;
  r = RegCreateKeyExA(key, "Vol", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &vol, nullptr);
  std::printf("create volatile -> %ld\n", static_cast<long>(r));
  r = RegCreateKeyExA(vol, "Lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child, nullptr);
  std::printf("create lasting under volatile -> %ld\n", static_cast<long>(r));
  RegCloseKey(vol);
  RegDeleteKeyA(key, "Vol");

  RegCloseKey(key);
  std::printf("delete key -> %ld\n", static_cast<long>(RegDeleteKeyA(HKEY_CURRENT_USER, kKey)));
  return 0;
}
