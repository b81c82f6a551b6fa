// norvainst: registers or removes the automatically started service NORVA.
#pragma once

#include <windows.h>

// Image path buffer, in characters, terminator included.
constexpr UINT kImagePathChars = MAX_PATH;

// Carries out the action chosen by the first character of commandLine ('i'
// installs, 'u' removes, anything else does nothing) and returns the exit
// code: -1 when the service control manager cannot be opened, else 0.
int RunNorvainst(LPCSTR commandLine);
