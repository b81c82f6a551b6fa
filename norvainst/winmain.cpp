// Entry point of the Windows build. The C runtime's start-up hands WinMain
// the command line after the program name, but it ends a quoted program name
// only at a blank outside quotes, so `"C:\dir\norvainst.exe"i` would leave
// nothing. The whole command line is read here and split by Windows' rule.
#include "norvainst.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunNorvainst(GetCommandLineA()); }
