#include "driver_link.h"

namespace {

// Process lifetime: outlives every call, and the unload.
HANDLE g_driverLink = INVALID_HANDLE_VALUE;

}  // namespace

// This build carries no request channel to \\.\ZELTA: the link never opens,
// and everything that needs it fails the way it does without the driver.
HANDLE OpenDriverLink() { return g_driverLink; }

bool CloseDriverLink() {
  if (g_driverLink == INVALID_HANDLE_VALUE) return false;
  CloseHandle(g_driverLink);
  g_driverLink = INVALID_HANDLE_VALUE;
  return true;
}
