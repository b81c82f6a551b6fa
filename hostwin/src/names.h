// Windows compares the names of keys, values, services, devices, window
// classes and modules without regard to case; the world keeps them by their
// lower-case form.
#pragma once

#include <cctype>
#include <string>

namespace hostwin {
namespace detail {

inline std::string Lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// Windows' registry orders subkeys by their names folded to upper case;
// what it lists in key order (device interfaces) follows that order.
inline bool LessFoldedUpper(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int x = std::toupper(static_cast<unsigned char>(a[i]));
    const int y = std::toupper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

}  // namespace detail
}  // namespace hostwin
