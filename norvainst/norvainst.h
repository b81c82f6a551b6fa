// norvainst: registers or removes the automatically started service NORVA.
#pragma once

#include <windows.h>

// Image path buffer, in characters, terminator included.
constexpr UINT kImagePathChars = MAX_PATH;

// commandLine is the process's whole command line, program name first, as
// GetCommandLineA gives it. Carries out the action chosen by the first
// character after the program name and the blanks that follow it ('i'
// installs, 'u' removes, anything else does nothing) and returns the exit
// code: -1 when the service control manager cannot be opened, else 0.
int RunNorvainst(LPCSTR commandLine);
