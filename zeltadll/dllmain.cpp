// Load and unload of the Windows DLL. The device table starts empty without
// any work here; the driver link is left as it is at unload.
#include "device_table.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // When the process ends (reserved non-null) the heap goes with it; only a
  // FreeLibrary releases the table.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) Devices().Release();
  return TRUE;
}
