// Entry point of the Windows build. The runtime hands WinMain the command line
// after the program name and the blanks that follow it.
#include "norvainst.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return RunNorvainst(commandLine); }
