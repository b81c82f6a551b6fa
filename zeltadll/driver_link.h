// The channel to the maker's driver \\.\ZELTA: one process-global handle,
// DriverLink, closed when the library is loaded and not closed when it is
// unloaded. No lock and no reference count: whoever closes it closes it for
// every caller.
#pragma once

#include <windows.h>

// The link, opened first if it is closed; INVALID_HANDLE_VALUE when it
// cannot be opened.
HANDLE OpenDriverLink();

// Closes the link if it is open. True when it was open.
bool CloseDriverLink();
