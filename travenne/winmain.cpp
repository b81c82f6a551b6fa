// Entry point of the Windows build: no window, no console, and the command
// line is not looked at.
#include "travenne.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunTravenne(); }
