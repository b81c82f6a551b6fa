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

}  // namespace detail
}  // namespace hostwin
