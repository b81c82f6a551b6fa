// What the conformance programs share. Each program prints, one line per
// case, what the calls of its area answer; it is built against hostwin on
// the host and as an x86 and an x64 program run under Wine, and all three
// outputs must equal the area's .expected file. So a program prints only
// what is equal on both architectures (never a record size), and only
// answers that Windows gives too: where Wine is known to answer otherwise,
// a comment says so and the case keeps to the part both share.
//
// Setting the world up (devices to list, a driver to talk to) is the one
// thing that differs between the sides: under Wine with the real calls,
// on the host through hostwin's test-control API. Those blocks sit under
// #ifdef _WIN32; everything printed comes from the same code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>

namespace conformance {

// The last error as the call left it, read before anything else can change it.
inline unsigned long LastError() { return static_cast<unsigned long>(GetLastError()); }

struct Text {
  char s[32];
};

// "ok", or "fails <error>" with the last error; use .s within the same
// statement.
inline Text Outcome(bool ok) {
  Text text = {"ok"};
  if (!ok) std::snprintf(text.s, sizeof(text.s), "fails %lu", LastError());
  return text;
}

// n bytes as hex, without separators.
inline void PrintHex(const void* p, std::size_t n) {
  const unsigned char* bytes = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) std::printf("%02x", bytes[i]);
}

constexpr unsigned char kFiller = 0xBD;
// A count or out-parameter that the call left as the caller set it.
constexpr DWORD kUntouched = 0xBDBDBDBDu;

// A DWORD out-parameter: its value, or "untouched" when it still holds kUntouched.
inline void PrintCount(const char* name, DWORD value) {
  if (value == kUntouched)
    std::printf(" %s=untouched", name);
  else
    std::printf(" %s=%lu", name, static_cast<unsigned long>(value));
}

}  // namespace conformance
