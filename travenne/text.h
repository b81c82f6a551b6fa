// Small text helpers over fixed buffers, for travenne's own sources.
#pragma once

#include <windows.h>

namespace travenne_text {

inline DWORD Length(LPCSTR s) {
  DWORD n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whole strings, ASCII letters taken equal to their other case; no locale.
inline bool EqualCaseBlind(LPCSTR a, LPCSTR b) {
  for (;; ++a, ++b) {
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
    if (*a == '\0') return true;
  }
}

inline bool Equal(LPCSTR a, LPCSTR b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == '\0') return true;
  }
}

// first followed by second into out; false, with out left an empty string,
// when the two and the terminator do not fit capacity bytes.
inline bool Join(char* out, DWORD capacity, LPCSTR first, LPCSTR second) {
  const DWORD a = Length(first), b = Length(second);
  if (capacity == 0) return false;
  if (a >= capacity || b >= capacity - a) {
    out[0] = '\0';
    return false;
  }
  for (DWORD i = 0; i < a; ++i) out[i] = first[i];
  for (DWORD i = 0; i < b; ++i) out[a + i] = second[i];
  out[a + b] = '\0';
  return true;
}

}  // namespace travenne_text
