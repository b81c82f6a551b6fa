// kernel32's lstr functions and MultiByteToWideChar.
#include <windows.h>
#include <hostwin/control.h>

#include <cstring>

int lstrlenA(LPCSTR lpString) {
  DWORD error = 0;
  hostwin::detail::Enter("lstrlenA", "", &error);
  // Windows answers 0 for a null pointer instead of faulting.
  return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

int lstrlenW(LPCWSTR lpString) {
  DWORD error = 0;
  hostwin::detail::Enter("lstrlenW", "", &error);
  if (lpString == nullptr) return 0;
  int n = 0;
  while (lpString[n] != 0) ++n;
  return n;
}

int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  DWORD error = 0;
  hostwin::detail::Enter("lstrcmpA", std::string(lpString1 ? lpString1 : "") + "|" + (lpString2 ? lpString2 : ""),
                         &error);
  const int r = std::strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : "");
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  DWORD error = 0;
  hostwin::detail::Enter("lstrcpynA", std::to_string(iMaxLength), &error);
  if (lpString1 == nullptr || iMaxLength <= 0) return lpString1;
  int i = 0;
  if (lpString2 != nullptr)
    for (; i < iMaxLength - 1 && lpString2[i] != 0; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
  DWORD error = 0;
  if (hostwin::detail::Enter("MultiByteToWideChar",
                             std::to_string(CodePage) + "|" + std::to_string(dwFlags) + "|" +
                                 std::to_string(cbMultiByte) + "|" + std::to_string(cchWideChar),
                             &error)) {
    SetLastError(error);
    return 0;
  }
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int n = cbMultiByte < 0 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
  if (cchWideChar == 0) return n;
  const int fits = n < cchWideChar ? n : cchWideChar;
  for (int i = 0; i < fits; ++i) lpWideCharStr[i] = static_cast<WCHAR>(static_cast<unsigned char>(lpMultiByteStr[i]));
  if (n > cchWideChar) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return n;
}
